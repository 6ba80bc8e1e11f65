#pragma once
#include <cstdint>
#include <string>
#include "platform/Types.h"

namespace dravolin {

// The shell's file operation (SHFileOperationA): the platform's own progress window, replace
// prompts and error messages, owned by `owner`. Runs on a worker thread.
class ShellCopy {
  public:
    virtual ~ShellCopy() = default;
    struct Operation {
        WindowHandle owner = 0;
        std::uint32_t function = win::kFoCopy;
        std::string from;  // a double-NUL-terminated list of paths
        std::string to;    // likewise
        std::uint16_t flags = 0;
    };
    // The operation's own result; the caller does not examine it.
    virtual int FileOperation(const Operation& op) = 0;
};

}  // namespace dravolin
