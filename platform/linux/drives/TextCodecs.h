#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace dravolin::lnx {

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, std::uint32_t codePoint);

// Bytes that are valid UTF-8 stay as they are; other text is read as Latin-1.
std::string Latin1OrUtf8(std::span<const std::uint8_t> bytes);

}  // namespace dravolin::lnx
