#include "platform/linux/io/DescriptorLimit.h"

#include <fstream>

namespace dravolin::lnx {

rlim_t RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) != 0 && limit.rlim_max == RLIM_INFINITY) {
            // "Unlimited" still stops at the kernel's own ceiling.
            std::ifstream ceiling("/proc/sys/fs/nr_open");
            if (ceiling >> raised.rlim_cur) ::setrlimit(RLIMIT_NOFILE, &raised);
        }
        if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    }
    return limit.rlim_cur;
}

}  // namespace dravolin::lnx
