#pragma once
// The probe's answers: one JSON object per line, built up field by field.
#include <string>
#include "platform/win32/Win32Api.h"

namespace dravolin::wineprobe {

class Json {
  public:
    Json& Field(const char* name, const std::string& text);
    Json& Field(const char* name, const char* text) { return Field(name, std::string(text)); }
    Json& Field(const char* name, long long number);
    Json& Field(const char* name, bool flag);
    // A value already written as JSON (an array or object).
    Json& Raw(const char* name, const std::string& json);
    Json& Point(const char* name, POINT point);
    Json& Rect(const char* name, const RECT& rect);
    std::string Text() const { return "{" + body_ + "}"; }

    // A JSON string literal, from the program's 8-bit text taken as UTF-8 after conversion
    // from the ANSI code page.
    static std::string Quote(const std::string& text);

  private:
    void Name(const char* name);
    std::string body_;
};

// The centre of a rectangle.
POINT Centre(const RECT& rect);

}  // namespace dravolin::wineprobe
