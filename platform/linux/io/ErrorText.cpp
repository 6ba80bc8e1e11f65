#include "platform/linux/io/ErrorText.h"

#include <cerrno>
#include <cstring>

namespace dravolin::lnx {

namespace {

// Picks the right result whichever strerror_r the C library declares.
[[maybe_unused]] const char* Pick(int result, const char* buffer) {
    return result == 0 ? buffer : "Unknown error";
}
[[maybe_unused]] const char* Pick(const char* result, const char*) {
    return result;
}

}  // namespace

std::string ErrorText(int errorNumber) {
    char buffer[256] = {};
    return Pick(strerror_r(errorNumber, buffer, sizeof buffer), buffer);
}

std::int32_t Win32ErrorFromErrno(int errorNumber) {
    switch (errorNumber) {
        case 0:
            return 0;
        case ENOENT:
            return 3;  // ERROR_PATH_NOT_FOUND
        case EACCES:
        case EPERM:
            return 5;  // ERROR_ACCESS_DENIED
        case ENOMEM:
            return 8;  // ERROR_NOT_ENOUGH_MEMORY
        case EROFS:
            return 19;  // ERROR_WRITE_PROTECT
        case EIO:
            return 1117;  // ERROR_IO_DEVICE
        case ENOSPC:
        case EDQUOT:
            return 112;  // ERROR_DISK_FULL
        case EEXIST:
            return 183;  // ERROR_ALREADY_EXISTS
        case ENAMETOOLONG:
            return 206;  // ERROR_FILENAME_EXCED_RANGE
        case ENOTDIR:
            return 267;  // ERROR_DIRECTORY
        case ELOOP:
            return 1921;  // ERROR_CANT_RESOLVE_FILENAME
        case ENOMEDIUM:
            return 21;  // ERROR_NOT_READY
        default:
            return 31;  // ERROR_GEN_FAILURE
    }
}

std::int32_t HresultFromErrno(int errorNumber) {
    const auto code =
        static_cast<std::uint32_t>(Win32ErrorFromErrno(errorNumber == 0 ? EIO : errorNumber));
    return static_cast<std::int32_t>(0x80070000u | (code & 0xFFFFu));
}

}  // namespace dravolin::lnx
