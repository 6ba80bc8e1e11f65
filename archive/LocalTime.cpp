#include "archive/LocalTime.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <algorithm>

namespace dravolin::archive {
namespace {

// Fields are printed as they stand, zero-padded; a value out of its range is the platform's
// error and shows as such instead of being bent into a plausible date.
template <typename... Values>
std::string Format(const char* format, Values... values) {
    char text[96];
    const int length = std::snprintf(text, sizeof text, format, values...);
    if (length <= 0) return {};
    return std::string(text, std::min(static_cast<std::size_t>(length), sizeof text - 1));
}

}  // namespace

std::string DateText(const LocalTime& time) {
    return Format("%04d-%02d-%02d", time.year, time.month, time.day);
}

std::string TimeText(const LocalTime& time) {
    return Format("%02d-%02d-%02d", time.hour, time.minute, time.second);
}

std::string IsoText(const LocalTime& time) {
    const long offset = std::labs(static_cast<long>(time.offsetMinutes));
    return DateText(time) + Format("T%02d:%02d:%02d%c%02ld:%02ld", time.hour, time.minute,
                                   time.second, time.offsetMinutes < 0 ? '-' : '+', offset / 60,
                                   offset % 60);
}

}  // namespace dravolin::archive
