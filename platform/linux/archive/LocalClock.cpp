#include "platform/linux/archive/LocalClock.h"

namespace dravolin::lnx {

archive::LocalTime LocalTimeAt(std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    return archive::LocalTime{local.tm_year + 1900,
                              local.tm_mon + 1,
                              local.tm_mday,
                              local.tm_hour,
                              local.tm_min,
                              local.tm_sec,
                              static_cast<int>(local.tm_gmtoff / 60)};
}

}  // namespace dravolin::lnx
