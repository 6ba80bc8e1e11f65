#pragma once
#include <sys/resource.h>

namespace dravolin::lnx {

// Raises this process's soft limit of open descriptors to its hard limit, as long-running file
// tools do: a desktop session starts its programs at 1024. The copy engine holds a handful of
// descriptors whatever the disc, so this is headroom for everything else, not a need. Returns
// the soft limit now in force, 0 when it cannot be read.
rlim_t RaiseDescriptorLimit();

}  // namespace dravolin::lnx
