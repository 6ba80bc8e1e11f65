#include "platform/qt/CopyTexts.h"

#include "platform/qt/Translation.h"

namespace dravolin::qt {

namespace {

CopyTexts LoadCopyTexts(const Translation& texts) {
    return {
        texts.Text("copy.progressTitle"),
        texts.Text("copy.fromTo"),
        texts.Text("copy.bytes"),
        texts.Text("copy.files"),
        texts.Text("copy.rate"),
        texts.Text("copy.cancel"),
        texts.Text("copy.replaceTitle"),
        texts.Text("copy.replaceText"),
        texts.Text("copy.yes"),
        texts.Text("copy.yesToAll"),
        texts.Text("copy.no"),
        texts.Text("copy.noToAll"),
        texts.Text("copy.errorTitle"),
        texts.Text("copy.retry"),
        texts.Text("copy.skip"),
        texts.Text("copy.finishedTitle"),
        {texts.Text("copy.unit.bytes"), texts.Text("copy.unit.kb"), texts.Text("copy.unit.mb"),
         texts.Text("copy.unit.gb"), texts.Text("copy.unit.tb")},
        {texts.Text("copy.mount.noFileSystem"), texts.Text("copy.mount.unreadable"),
         texts.Text("copy.mount.notAllowed"), texts.Text("copy.mount.noDiscService"),
         texts.Text("copy.mount.other")},
    };
}

}  // namespace

const CopyTexts& CopyTextsOf(Language language) {
    return LoadedTexts<CopyTexts, LoadCopyTexts>(language);
}

}  // namespace dravolin::qt
