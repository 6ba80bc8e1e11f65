#pragma once
#include <cstdint>
#include <string>
#include "platform/Icon.h"

namespace dravolin {

// The program's resources in the user's language.
class Resources {
  public:
    virtual ~Resources() = default;
    virtual std::string LoadString(std::uint32_t id) const = 0;
    // A shared resource icon (its owner releases nothing); null when missing.
    virtual IconPtr LoadIcon(std::uint32_t id) const = 0;
};

}  // namespace dravolin
