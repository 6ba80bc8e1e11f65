#pragma once
#include <cstdint>
#include <string>

namespace dravolin::lnx {

// The C library's text for an errno value (thread-safe, unlike strerror).
std::string ErrorText(int errorNumber);

// The Win32 error code closest to an errno value, for results the core reads as Win32 codes.
std::int32_t Win32ErrorFromErrno(int errorNumber);

// HRESULT_FROM_WIN32 of the errno's Win32 code; never S_OK.
std::int32_t HresultFromErrno(int errorNumber);

}  // namespace dravolin::lnx
