// Normalises arbitrary bytes under a code page chosen by the first input byte and checks the
// properties every caller relies on. Any violation traps.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>
#include "platform/CodePage.h"
#include "platform/PathPreparer.h"
#include "target/NormalizeDestination.h"

namespace {

using dravolin::CodePage;
using dravolin::PathPreparer;
using dravolin::WindowHandle;

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

// Byte 0 selects the lead bytes: none for 0 (a single-byte code page), otherwise every high byte
// whose value the selector divides, and with the selector's top bit also one ASCII byte, so that
// separators, blanks and forbidden bytes get to lead or trail a pair.
class FuzzCodePage : public CodePage {
  public:
    explicit FuzzCodePage(std::uint8_t selector) {
        if (selector == 0) return;
        const unsigned step = (selector & 0x0F) + 1;
        for (unsigned byte = 0x81; byte <= 0xFE; ++byte) lead_[byte] = byte % step == 0;
        if (selector & 0x80) lead_[0x20 + (selector >> 4) % 0x60] = true;
    }
    bool IsLeadByte(unsigned char byte) const override { return lead_[byte]; }

  private:
    std::array<bool, 256> lead_{};
};

// Without preparation the file system must never be asked.
class TrappingPreparer : public PathPreparer {
  public:
    std::int32_t PrepareForWrite(WindowHandle, const std::string&, std::uint32_t) override {
        __builtin_trap();
    }
};

// One character of the text at `pos`: its width, and its byte when single.
struct Char {
    std::size_t pos;
    std::size_t width;
    int single;  // -1 for a double-byte character
};

std::vector<Char> Characters(const std::string& text, const CodePage& codePage) {
    std::vector<Char> chars;
    for (std::size_t pos = 0; pos < text.size();) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        const std::size_t width = codePage.IsLeadByte(byte) && pos + 1 < text.size() ? 2 : 1;
        chars.push_back({pos, width, width == 2 ? -1 : byte});
        pos += width;
    }
    return chars;
}

bool IsWhitespace(int byte) {
    return (byte >= 0x09 && byte <= 0x0D) || byte == 0x20;
}
bool IsSeparator(int byte) {
    return byte == '\\' || byte == '/';
}
bool HasForbidden(const std::vector<Char>& chars) {
    for (const Char& c : chars) {
        if (c.single >= 0 &&
            std::string("?*<>|\"").find(static_cast<char>(c.single)) != std::string::npos) {
            return true;
        }
    }
    return false;
}

void CheckAccepted(const std::string& input, const std::string& path, const CodePage& codePage) {
    Check(!path.empty());
    const std::vector<Char> chars = Characters(path, codePage);
    Check(!IsWhitespace(chars.front().single));
    Check(!IsWhitespace(chars.back().single));
    Check(!HasForbidden(chars));
    const Char& last = chars.back();
    if (last.single == '\\') {
        Check(chars.size() == 1 || !IsSeparator(chars[chars.size() - 2].single));
    } else {
        // The one exception: a double-byte character whose second byte is a backslash.
        Check(last.width == 2 && path.back() == '\\');
    }
    // Only trimmed from the input, with at most one backslash appended.
    const bool taken = input.find(path) != std::string::npos;
    const bool appended = input.find(path.substr(0, path.size() - 1)) != std::string::npos;
    Check(taken || appended);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const FuzzCodePage codePage(data[0]);
    TrappingPreparer preparer;
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);

    std::string path = input;
    if (dravolin::NormalizeDestination(path, codePage, preparer, 0, false)) {
        CheckAccepted(input, path, codePage);
        // A normalised path is a fixed point.
        std::string again = path;
        Check(dravolin::NormalizeDestination(again, codePage, preparer, 0, false));
        Check(again == path);
    } else {
        Check(path.empty() || HasForbidden(Characters(path, codePage)));
    }
    return 0;
}
