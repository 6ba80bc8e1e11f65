#pragma once
#include <cstdint>
#include <memory>

namespace dravolin {

// A platform icon. Destroying the owner releases the icon (DestroyIcon); an icon loaded from the
// program's resources is shared and its owner releases nothing.
class Icon {
  public:
    virtual ~Icon() = default;
    // The native handle, for the one message that hands an icon back (WM_QUERYDRAGICON).
    virtual std::uintptr_t Handle() const = 0;
};
using IconPtr = std::unique_ptr<Icon>;

}  // namespace dravolin
