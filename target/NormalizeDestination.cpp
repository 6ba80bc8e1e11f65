#include "target/NormalizeDestination.h"

#include <cstddef>
#include <string_view>
#include "app/CopyDlg.h"

namespace dravolin {
namespace {

// Bytes that never occur in a Windows path, in the order the rule lists them.
constexpr std::string_view kForbidden = "?*<>|\"";

// Whitespace as the C library classifies it in its default locale. Bytes from 0x80 upward are
// ordinary text, so a non-breaking space survives trimming.
bool IsWhitespace(unsigned char byte) {
    return (byte >= 0x09 && byte <= 0x0D) || byte == 0x20;
}

bool IsSeparator(unsigned char byte) {
    return byte == '\\' || byte == '/';
}

bool IsForbidden(unsigned char byte) {
    return kForbidden.find(static_cast<char>(byte)) != std::string_view::npos;
}

// Walks a path one character at a time in the ANSI code page: a lead byte and the byte after it
// are one character that matches no class. A lead byte standing last is a character on its own.
class CharWalker {
  public:
    CharWalker(const std::string& text, const CodePage& codePage)
        : text_(text), codePage_(codePage) {}

    bool AtEnd() const { return pos_ >= text_.size(); }
    std::size_t Position() const { return pos_; }

    // The current character's byte when it is a single-byte character, -1 for a double-byte one.
    int SingleByte() const { return Width() == 2 ? -1 : static_cast<unsigned char>(text_[pos_]); }

    void Next() { pos_ += Width(); }

  private:
    std::size_t Width() const {
        const auto byte = static_cast<unsigned char>(text_[pos_]);
        return codePage_.IsLeadByte(byte) && pos_ + 1 < text_.size() ? 2 : 1;
    }

    const std::string& text_;
    const CodePage& codePage_;
    std::size_t pos_ = 0;
};

// Cuts the trailing run of characters of the class.
template <typename Predicate>
void TrimTrailing(std::string& text, const CodePage& codePage, Predicate inClass) {
    std::size_t runStart = std::string::npos;
    for (CharWalker walk(text, codePage); !walk.AtEnd(); walk.Next()) {
        const int byte = walk.SingleByte();
        if (byte >= 0 && inClass(static_cast<unsigned char>(byte))) {
            if (runStart == std::string::npos) runStart = walk.Position();
        } else {
            runStart = std::string::npos;
        }
    }
    if (runStart != std::string::npos) text.erase(runStart);
}

void TrimLeadingWhitespace(std::string& text, const CodePage& codePage) {
    CharWalker walk(text, codePage);
    while (!walk.AtEnd() && walk.SingleByte() >= 0 &&
           IsWhitespace(static_cast<unsigned char>(walk.SingleByte()))) {
        walk.Next();
    }
    text.erase(0, walk.Position());
}

bool ContainsForbidden(const std::string& text, const CodePage& codePage) {
    for (CharWalker walk(text, codePage); !walk.AtEnd(); walk.Next()) {
        const int byte = walk.SingleByte();
        if (byte >= 0 && IsForbidden(static_cast<unsigned char>(byte))) return true;
    }
    return false;
}

}  // namespace

// UI thread only: with `prepare` the shell may prompt in a nested message loop.
bool NormalizeDestination(std::string& path, const CodePage& codePage, PathPreparer& preparer,
                          WindowHandle owner, bool prepare) {
    // Whitespace goes before the separators, so a blank in front of the trailing run survives.
    TrimTrailing(path, codePage, IsWhitespace);
    TrimLeadingWhitespace(path, codePage);
    TrimTrailing(path, codePage, IsSeparator);
    if (path.empty()) return false;
    if (ContainsForbidden(path, codePage)) return false;
    // The last byte, not the last character: a double-byte character ending in 0x5C already
    // reads as a final backslash to the shell.
    if (path.back() != '\\') path.push_back('\\');
    if (!prepare) return true;
    // Only S_OK means the folder is there and writable; other success codes do not.
    return preparer.PrepareForWrite(owner, path, win::kShppfwDirCreate) == win::kSOk;
}

bool NormalizeDestination(std::string& path, CCopyDlg& dialog, bool prepare) {
    Platform& services = dialog.Services();
    return NormalizeDestination(path, services.codePage, services.preparer,
                                dialog.Window().GetHandle(), prepare);
}

}  // namespace dravolin
