#pragma once
#include <ctime>
#include "archive/LocalTime.h"

namespace dravolin::lnx {

// A moment as this machine's clock shows it, with the clock's offset from UTC.
archive::LocalTime LocalTimeAt(std::time_t when);

}  // namespace dravolin::lnx
