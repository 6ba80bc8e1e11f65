#include "platform/qt/StoreTexts.h"

#include "platform/qt/Translation.h"

namespace dravolin::qt {

namespace {

StoreTexts LoadStoreTexts(const Translation& texts) {
    return {texts.Text("store.title"), texts.Text("store.cannotSave"), texts.Text("store.notAFile"),
            texts.Text("store.damaged")};
}

}  // namespace

const StoreTexts& StoreTextsOf(Language language) {
    return LoadedTexts<StoreTexts, LoadStoreTexts>(language);
}

}  // namespace dravolin::qt
