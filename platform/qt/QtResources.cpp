#include "platform/qt/QtResources.h"

#include <QFile>
#include <array>
#include <utility>
#include "platform/qt/QtIcon.h"
#include "platform/qt/texts/Translation.h"

// The icons are compiled into this static library: the resource's initialiser must be named,
// or the linker drops it.
static void InitIconResources() {
    Q_INIT_RESOURCE(dravolin);
}

namespace dravolin::qt {

namespace {

// The string table's ids, named as the Windows resources name them.
constexpr std::array<std::pair<std::uint32_t, const char*>, 18> kStringIds{{
    {132, "IDS_STATE_IDLE"},
    {133, "IDS_STATE_EJECTING"},
    {134, "IDS_STATE_WAITING"},
    {135, "IDS_STATE_COPYING"},
    {136, "IDS_BROWSE_TITLE"},
    {137, "IDS_COL_DRIVE"},
    {138, "IDS_COL_STATUS"},
    {139, "IDS_ARCHIVE_CAPTION"},
    {140, "IDS_ARCHIVE_COMPLETE"},
    {141, "IDS_ARCHIVE_ALREADY"},
    {142, "IDS_ARCHIVE_INCOMPLETE"},
    {143, "IDS_ARCHIVE_UNREADABLE"},
    {144, "IDS_ARCHIVE_FAILED"},
    {145, "IDS_ARCHIVE_TARGET_FULL"},
    {146, "IDS_ARCHIVE_STOPPED"},
    {147, "IDS_ARCHIVE_LOG_FAILED"},
    {148, "IDS_ARCHIVE_NOTHING_GAINED"},
    {149, "IDS_ARCHIVE_PAGE_LANGUAGE"},
}};

TemplateTexts LoadTemplateTexts(const Translation& texts) {
    return {
        .caption = texts.Text("IDD_MAIN"),
        .browse = texts.Text("IDC_BROWSE"),
        .exit = texts.Text("IDCANCEL"),
        .targetLabel = texts.Text("IDC_TARGET_LABEL"),
        .language = texts.language(),
        .product = texts.Text("IDC_PRODUCT_CAPTION"),
        .openTarget = texts.Text("IDC_OPEN_TARGET"),
    };
}

}  // namespace

const TemplateTexts& TextsOf(Language language) {
    return LoadedTexts<TemplateTexts, LoadTemplateTexts>(language);
}

QtResources::QtResources(Language language)
    : language_(language), texts_(std::make_unique<Translation>(language)) {
    InitIconResources();
}

QtResources::~QtResources() = default;

std::string QtResources::LoadString(std::uint32_t id) const {
    for (const auto& [key, name] : kStringIds) {
        if (key == id) return texts_->Text(name).toStdString();
    }
    return {};
}

IconPtr QtResources::LoadIcon(std::uint32_t id) const {
    const QString path = QStringLiteral(":/dravolin/%1.svg").arg(id);
    if (!QFile::exists(path)) return nullptr;
    return std::make_unique<QtIcon>(QIcon(path));
}

}  // namespace dravolin::qt
