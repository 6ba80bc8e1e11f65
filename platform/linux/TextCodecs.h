#pragma once
#include <cstdint>
#include <span>
#include <string>

namespace dravolin::lnx {

// Appends one code point as UTF-8.
void AppendUtf8(std::string& out, std::uint32_t codePoint);

// UCS-2 / UTF-16 big-endian to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16BeToUtf8(std::span<const std::uint8_t> bytes);

// Bytes that are valid UTF-8 stay as they are; other text is read as Latin-1.
std::string Latin1OrUtf8(std::span<const std::uint8_t> bytes);

// Removes trailing blanks and NULs.
std::string TrimTrailingBlanks(std::string text);

}  // namespace dravolin::lnx
