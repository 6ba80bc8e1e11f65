#include "archive/PageHtml.h"
#include <cstdio>
#include "archive/Utf8Names.h"

namespace dravolin::archive {

std::string HtmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : ValidUtf8(text)) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string LinkPath(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
            c == '/') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

std::string JsonString(std::string_view text) {
    const std::string valid = ValidUtf8(text);
    std::string out = "\"";
    for (std::size_t at = 0; at < valid.size(); ++at) {
        const char c = valid[at];
        const auto byte = static_cast<unsigned char>(c);
        // U+2028 and U+2029 (E2 80 A8/A9) end a line in a script.
        if (byte == 0xE2 && valid.compare(at + 1, 1, "\x80") == 0 && at + 2 < valid.size() &&
            (valid[at + 2] == '\xA8' || valid[at + 2] == '\xA9')) {
            out += valid[at + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            at += 2;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || c == '<' || c == '>' || c == '&') {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Filled(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string out;
    for (std::size_t at = 0; at < pattern.size(); ++at) {
        const std::size_t index =
            at + 1 < pattern.size() && pattern[at] == '%' ? std::size_t(pattern[at + 1] - '1') : 9;
        if (index < values.size()) {
            out += *(values.begin() + index);
            ++at;
        } else {
            out += pattern[at];
        }
    }
    return out;
}

}  // namespace dravolin::archive
