#include "Json.h"

#include <cstdio>
#include <vector>

namespace dravolin::wineprobe {

namespace {

std::string Utf8FromAnsi(const std::string& text) {
    if (text.empty()) return text;
    const int wide =
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::vector<wchar_t> buffer(wide);
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), buffer.data(),
                          wide);
    const int bytes =
        ::WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, utf8.data(), bytes, nullptr, nullptr);
    return utf8;
}

}  // namespace

std::string Json::Quote(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : Utf8FromAnsi(text)) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void Json::Name(const char* name) {
    if (!body_.empty()) body_ += ',';
    body_ += Quote(name) + ':';
}

Json& Json::Field(const char* name, const std::string& text) {
    Name(name);
    body_ += Quote(text);
    return *this;
}

Json& Json::Field(const char* name, long long number) {
    Name(name);
    body_ += std::to_string(number);
    return *this;
}

Json& Json::Field(const char* name, bool flag) {
    Name(name);
    body_ += flag ? "true" : "false";
    return *this;
}

Json& Json::Raw(const char* name, const std::string& json) {
    Name(name);
    body_ += json;
    return *this;
}

Json& Json::Point(const char* name, POINT point) {
    return Raw(name, "[" + std::to_string(point.x) + "," + std::to_string(point.y) + "]");
}

Json& Json::Rect(const char* name, const RECT& rect) {
    return Raw(name, "[" + std::to_string(rect.left) + "," + std::to_string(rect.top) + "," +
                         std::to_string(rect.right - rect.left) + "," +
                         std::to_string(rect.bottom - rect.top) + "]");
}

POINT Centre(const RECT& rect) {
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

}  // namespace dravolin::wineprobe
