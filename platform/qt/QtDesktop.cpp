#include "platform/qt/QtDesktop.h"

#include <QApplication>
#include <QCursor>
#include <QStyle>
#include "platform/qt/QtIcon.h"

namespace dravolin::qt {

namespace {
// Registered messages take the range Windows gives them, above every fixed message.
constexpr std::uint32_t kFirstRegisteredMessage = 0xC000;
}  // namespace

Point QtDesktop::GetCursorPos() const {
    const QPoint at = QCursor::pos();
    return {at.x(), at.y()};
}

int QtDesktop::GetSystemMetrics(int index) const {
    QStyle* style = QApplication::style();
    switch (index) {
        case win::kSmCxVScroll:
            return style->pixelMetric(QStyle::PM_ScrollBarExtent);
        case win::kSmCxIcon:
        case win::kSmCyIcon:
            return style->pixelMetric(QStyle::PM_LargeIconSize);
        default:
            return 0;
    }
}

std::uint32_t QtDesktop::RegisterWindowMessage(const std::string& name) {
    if (name.empty()) return 0;
    auto [it, added] = messages_.try_emplace(
        name, kFirstRegisteredMessage + static_cast<std::uint32_t>(messages_.size()));
    return it->second;
}

std::unique_ptr<ImageList> QtDesktop::CreateImageList(int cx, int cy, std::uint32_t, int, int) {
    return std::make_unique<QtImageList>(cx, cy);
}

}  // namespace dravolin::qt
