#include "platform/qt/PrepareTexts.h"

#include "platform/qt/Translation.h"

namespace dravolin::qt {

namespace {

PrepareTexts LoadPrepareTexts(const Translation& texts) {
    return {texts.Text("prepare.title"), texts.Text("prepare.cannotPrepare"),
            texts.Text("prepare.drivePath"), texts.Text("prepare.networkName"),
            texts.Text("prepare.unknownUser")};
}

}  // namespace

const PrepareTexts& PrepareTextsOf(Language language) {
    return LoadedTexts<PrepareTexts, LoadPrepareTexts>(language);
}

}  // namespace dravolin::qt
