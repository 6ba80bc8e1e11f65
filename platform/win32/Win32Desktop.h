#pragma once
// Process-wide user-interface services and the program's resources. UI thread only.
#include "platform/Desktop.h"
#include "platform/Resources.h"
#include "platform/win32/Win32Api.h"

namespace dravolin::win32 {

class Win32Desktop : public Desktop {
  public:
    void InitCommonControls() override;
    Point GetCursorPos() const override;
    int GetSystemMetrics(int index) const override;
    std::uint32_t RegisterWindowMessage(const std::string& name) override;
    std::unique_ptr<ImageList> CreateImageList(int cx, int cy, std::uint32_t flags, int initial,
                                               int grow) override;
};

// Strings in the user's language (the resource lookup picks English or Russian) in the ANSI
// code page, and the program's shared icons.
class Win32Resources : public Resources {
  public:
    explicit Win32Resources(HINSTANCE instance) : instance_(instance) {}
    std::string LoadString(std::uint32_t id) const override;
    IconPtr LoadIcon(std::uint32_t id) const override;

  private:
    HINSTANCE instance_;
};

}  // namespace dravolin::win32
