#pragma once
#include <cstdint>
#include <string>
#include "platform/Types.h"

namespace dravolin {

// Making a folder ready for writing (SHPathPrepareForWriteA, no enable-modeless object). May run
// a nested message loop on the UI thread while it prompts.
class PathPreparer {
  public:
    virtual ~PathPreparer() = default;
    // Returns an HRESULT: win::kSOk exactly when the folder is available for writing.
    virtual std::int32_t PrepareForWrite(WindowHandle owner, const std::string& path,
                                         std::uint32_t flags) = 0;
};

}  // namespace dravolin
