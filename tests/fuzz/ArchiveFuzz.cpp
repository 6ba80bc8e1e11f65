// Reads arbitrary bytes as an archive log, or names a bag from them, and checks what the program
// relies on. Byte 0 chooses: even reads a log, odd names a bag (the rest split at the first NUL
// into pattern and label). Any violation traps.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include "archive/ArchiveLog.h"
#include "archive/BagName.h"

namespace {

using namespace dravolin::archive;

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// Every row read is one the writer gives back unchanged.
void CheckLog(std::string_view text) {
    for (const LogRow& row : ParseLog(text)) {
        const std::vector<LogRow> again = ParseLog(FormatRow(row));
        Check(again.size() == 1 && again.front() == row);
    }
}

bool IsUtf8(std::string_view name) {
    for (std::size_t pos = 0; pos < name.size();) {
        const auto lead = static_cast<unsigned char>(name[pos]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (lead >= 0x80 && lead < 0xC2) return false;
        if (lead > 0xF4 || name.size() - pos < length) return false;
        for (std::size_t i = 1; i < length; ++i) {
            if ((static_cast<unsigned char>(name[pos + i]) & 0xC0) != 0x80) return false;
        }
        pos += length;
    }
    return true;
}

void CheckName(std::string_view pattern, std::string_view label) {
    BagFields fields;
    fields.label = std::string(label);
    fields.drive = "E";
    const std::string name = BagName(pattern, fields);
    Check(!name.empty() && name.size() <= kMaxBagNameBytes && IsUtf8(name));
    Check(name.find_first_of(std::string_view("/\\:*?\"<>|\x7f", 10)) == std::string::npos);
    for (char c : name) Check(static_cast<unsigned char>(c) >= 0x20);
    Check(name.front() != ' ' && name.front() != '.');
    Check(name.back() != ' ' && name.back() != '.');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] % 2 == 0) {
        CheckLog(input);
    } else {
        const std::size_t split = std::min(input.find('\0'), input.size());
        CheckName(input.substr(0, split), input.substr(std::min(split + 1, input.size())));
    }
    return 0;
}
