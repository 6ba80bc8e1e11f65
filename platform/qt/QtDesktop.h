#pragma once
#include <map>
#include <string>
#include "platform/Desktop.h"

namespace dravolin::qt {

// Cursor, metrics from the style, image lists, and registered message names. Nothing on Linux
// sends a registered message from another process, so the names live in this process only.
// UI thread only.
class QtDesktop : public Desktop {
  public:
    void InitCommonControls() override {}
    Point GetCursorPos() const override;
    int GetSystemMetrics(int index) const override;
    std::uint32_t RegisterWindowMessage(const std::string& name) override;
    std::unique_ptr<ImageList> CreateImageList(int cx, int cy, std::uint32_t flags, int initial,
                                               int grow) override;

  private:
    std::map<std::string, std::uint32_t> messages_;
};

}  // namespace dravolin::qt
