#pragma once
#include <string>

namespace dravolin::archive {

// A moment as the machine's clock shows it, with that clock's offset from UTC. The platform fills
// it (on Linux from localtime_r and tm_gmtoff); the core only writes it out.
struct LocalTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int offsetMinutes = 0;  // east of UTC: +60 for UTC+01:00
};

// "2026-12-08"
std::string DateText(const LocalTime& time);
// "14-03-11": dashes, because a colon cannot stand in a Windows file name.
std::string TimeText(const LocalTime& time);
// ISO 8601 with the offset, for the log: "2026-12-08T14:03:11+01:00" (UTC is "+00:00").
std::string IsoText(const LocalTime& time);

}  // namespace dravolin::archive
