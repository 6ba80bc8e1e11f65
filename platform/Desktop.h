#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include "platform/ImageList.h"
#include "platform/Types.h"

namespace dravolin {

// Process-wide user-interface services.
class Desktop {
  public:
    virtual ~Desktop() = default;
    virtual void InitCommonControls() = 0;
    virtual Point GetCursorPos() const = 0;
    virtual int GetSystemMetrics(int index) const = 0;
    virtual std::uint32_t RegisterWindowMessage(const std::string& name) = 0;
    virtual std::unique_ptr<ImageList> CreateImageList(int cx, int cy, std::uint32_t flags,
                                                       int initial, int grow) = 0;
};

}  // namespace dravolin
