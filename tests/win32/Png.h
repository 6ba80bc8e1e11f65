#pragma once
// A minimal PNG writer for screenshots: 8-bit RGBA, stored (uncompressed) deflate blocks.
#include <cstdint>
#include <string>
#include <vector>

namespace dravolin::win32::test {

// `rgba` holds width * height pixels, rows from the top, 4 bytes each.
bool WritePng(const std::string& path, int width, int height,
              const std::vector<std::uint8_t>& rgba);

}  // namespace dravolin::win32::test
