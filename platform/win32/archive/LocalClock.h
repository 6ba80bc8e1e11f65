#pragma once
#include "archive/LocalTime.h"

namespace dravolin::win32 {

// One reading of this computer's clock, as local time with its offset from UTC at that moment.
archive::LocalTime LocalNow();

}  // namespace dravolin::win32
