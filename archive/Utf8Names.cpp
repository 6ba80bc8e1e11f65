#include "archive/Utf8Names.h"

#include <set>

namespace dravolin::archive {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool IsContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// `name` with " (n)" before its extension; a dot at the start does not begin one.
std::string Numbered(const std::string& name, int n) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) dot = name.size();
    return name.substr(0, dot) + " (" + std::to_string(n) + ")" + name.substr(dot);
}

}  // namespace

std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!IsContinuation(byte(i))) return 0;
    }
    return length;
}

bool IsUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string ValidUtf8(std::string_view text) {
    std::string valid;
    valid.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, at);
        if (length == 0) {
            valid += kReplacement;
            ++at;
        } else {
            valid += text.substr(at, length);
            at += length;
        }
    }
    return valid;
}

std::vector<std::string> StoredUtf8Names(const std::vector<std::string>& names) {
    std::vector<std::string> stored(names.size());
    std::set<std::string> taken;
    std::vector<std::size_t> renamed;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (IsUtf8(names[i])) {
            stored[i] = names[i];
            taken.insert(names[i]);
        } else {
            renamed.push_back(i);
        }
    }
    for (const std::size_t i : renamed) {
        const std::string name = ValidUtf8(names[i]);
        std::string candidate = name;
        for (int n = 2; !taken.insert(candidate).second; ++n) candidate = Numbered(name, n);
        stored[i] = std::move(candidate);
    }
    return stored;
}

}  // namespace dravolin::archive
