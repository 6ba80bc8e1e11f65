#include "platform/win32/archive/LocalClock.h"

#include <cstdint>
#include "platform/win32/Win32Api.h"

namespace dravolin::win32 {

namespace {

std::uint64_t Ticks(const FILETIME& time) {
    return (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

}  // namespace

archive::LocalTime LocalNow() {
    FILETIME utcTicks{};
    ::GetSystemTimeAsFileTime(&utcTicks);
    SYSTEMTIME utc{};
    SYSTEMTIME local{};
    FILETIME localTicks{};
    if (!::FileTimeToSystemTime(&utcTicks, &utc) ||
        !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) ||
        !::SystemTimeToFileTime(&local, &localTicks)) {
        ::GetLocalTime(&local);
        return archive::LocalTime{local.wYear,   local.wMonth,  local.wDay, local.wHour,
                                  local.wMinute, local.wSecond, 0};
    }
    constexpr long long kTicksPerMinute = 600000000LL;
    const long long difference =
        static_cast<long long>(Ticks(localTicks)) - static_cast<long long>(Ticks(utcTicks));
    const long long minutes =
        (difference + (difference >= 0 ? 1 : -1) * kTicksPerMinute / 2) / kTicksPerMinute;
    return archive::LocalTime{local.wYear,
                              local.wMonth,
                              local.wDay,
                              local.wHour,
                              local.wMinute,
                              local.wSecond,
                              static_cast<int>(minutes)};
}

}  // namespace dravolin::win32
