#include "platform/qt/texts/Texts.h"

#include <QLocale>
#include <iterator>
#include "platform/qt/texts/Translation.h"

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

PrepareTexts LoadPrepareTexts(const Translation& texts) {
    return {texts.Text("prepare.title"), texts.Text("prepare.cannotPrepare"),
            texts.Text("prepare.drivePath"), texts.Text("prepare.networkName"),
            texts.Text("prepare.unknownUser")};
}

StoreTexts LoadStoreTexts(const Translation& texts) {
    return {texts.Text("store.title"), texts.Text("store.cannotSave"), texts.Text("store.notAFile"),
            texts.Text("store.damaged")};
}

}  // namespace

const CopyTexts& CopyTextsOf(Language language) {
    return LoadedTexts<CopyTexts, LoadCopyTexts>(language);
}

QString FormatBytes(std::uint64_t bytes, const CopyTexts& texts) {
    if (bytes < 1024) return QStringLiteral("%1 %2").arg(bytes).arg(texts.byteUnits[0]);
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(texts.byteUnits)) {
        value /= 1024.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(QLocale().toString(value, 'f', 1), texts.byteUnits[unit]);
}

const PrepareTexts& PrepareTextsOf(Language language) {
    return LoadedTexts<PrepareTexts, LoadPrepareTexts>(language);
}

const StoreTexts& StoreTextsOf(Language language) {
    return LoadedTexts<StoreTexts, LoadStoreTexts>(language);
}

}  // namespace dravolin::qt
