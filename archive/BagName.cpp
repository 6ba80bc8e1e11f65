#include "archive/BagName.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include "archive/ArchivePage.h"
#include "archive/Utf8Names.h"

namespace dravolin::archive {
namespace {

constexpr std::string_view kFallback = "Disc";
constexpr unsigned kMaxNumber = 99999;

// The text a field stands for; nullopt when `name` is no field.
std::optional<std::string> FieldValue(std::string_view name, const BagFields& fields) {
    if (name == "label") {
        // Blanks around a label are padding (ISO 9660 pads with spaces), not part of it.
        std::string_view label = fields.label;
        while (!label.empty() && static_cast<unsigned char>(label.front()) <= 0x20) {
            label.remove_prefix(1);
        }
        while (!label.empty() && static_cast<unsigned char>(label.back()) <= 0x20) {
            label.remove_suffix(1);
        }
        return std::string(label.empty() ? kFallback : label);
    }
    if (name == "date") return DateText(fields.time);
    if (name == "time") return TimeText(fields.time);
    if (name == "drive") return fields.drive;
    if (name == "serial") return SerialText(fields.serial);
    return std::nullopt;
}

bool IsForbidden(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F ||
           std::string_view("/\\:*?\"<>|").find(static_cast<char>(byte)) != std::string_view::npos;
}

// Every character neither desktop can hold in a name, and every byte that is not UTF-8, as "_".
std::string ReplaceForbidden(std::string_view text) {
    std::string name;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, pos);
        if (length == 0 || (length == 1 && IsForbidden(static_cast<unsigned char>(text[pos])))) {
            name += '_';
            pos += length == 0 ? 1 : length;
        } else {
            name.append(text.substr(pos, length));
            pos += length;
        }
    }
    return name;
}

// Windows drops trailing spaces and dots from a name, so a bag keeps none.
void TrimEnd(std::string& name) {
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
}

// A device name, whatever its letter case, as the part before the first dot (spaces ignored).
bool IsDeviceName(std::string_view base) {
    std::string upper(base);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    static constexpr std::array<std::string_view, 6> kNames{"CON", "PRN",    "AUX",
                                                            "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view name : kNames) {
        if (upper == name) return true;
    }
    if (upper.size() < 4 || (upper.substr(0, 3) != "COM" && upper.substr(0, 3) != "LPT")) {
        return false;
    }
    const std::string_view digit = std::string_view(upper).substr(3);
    return (digit.size() == 1 && digit[0] >= '0' && digit[0] <= '9') || digit == "\xC2\xB9" ||
           digit == "\xC2\xB2" || digit == "\xC2\xB3";
}

void AvoidDeviceName(std::string& name) {
    std::size_t end = name.find('.');
    if (end == std::string::npos) end = name.size();
    while (end > 0 && name[end - 1] == ' ') --end;
    if (IsDeviceName(std::string_view(name).substr(0, end))) name.insert(end, 1, '_');
}

// Cuts to the cap between two characters: never before a UTF-8 continuation byte.
void Cap(std::string& name) {
    if (name.size() <= kMaxBagNameBytes) return;
    std::size_t end = kMaxBagNameBytes;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
    name.resize(end);
    TrimEnd(name);
}

std::string Sanitize(std::string_view text) {
    std::string name = ReplaceForbidden(text);
    const std::size_t first = name.find_first_not_of(' ');
    name.erase(0, first == std::string::npos ? name.size() : first);
    TrimEnd(name);
    if (!name.empty() && name.front() == '.') name.front() = '_';
    AvoidDeviceName(name);
    Cap(name);
    return name.empty() ? std::string(kFallback) : name;
}

std::optional<std::string> FirstFree(const std::string& base, std::string_view suffix,
                                     const NameTaken& taken) {
    for (unsigned number = 1; number <= kMaxNumber; ++number) {
        std::string name = base;
        if (number > 1) name += " (" + std::to_string(number) + ")";
        name += suffix;
        if (!IsArchiveOwnName(name) && !taken(name)) return name;
    }
    return std::nullopt;
}

}  // namespace

PatternCheck CheckPattern(std::string_view pattern) {
    const BagFields none;
    for (std::size_t pos = 0; pos < pattern.size(); ++pos) {
        if (pattern[pos] == '}') return {PatternProblem::StrayClosingBrace, pos, "}"};
        if (pattern[pos] != '{') continue;
        const std::size_t end = pattern.find_first_of("{}", pos + 1);
        if (end == std::string_view::npos || pattern[end] == '{') {
            return {PatternProblem::UnclosedBrace, pos, "{"};
        }
        if (!FieldValue(pattern.substr(pos + 1, end - pos - 1), none)) {
            return {PatternProblem::UnknownField, pos,
                    std::string(pattern.substr(pos, end - pos + 1))};
        }
        pos = end;
    }
    return {};
}

std::string BagName(std::string_view pattern, const BagFields& fields) {
    if (!CheckPattern(pattern).ok()) pattern = kDefaultPattern;
    std::string name;
    for (std::size_t pos = 0; pos < pattern.size(); ++pos) {
        if (pattern[pos] != '{') {
            name += pattern[pos];
            continue;
        }
        const std::size_t end = pattern.find('}', pos);
        name += *FieldValue(pattern.substr(pos + 1, end - pos - 1), fields);
        pos = end;
    }
    return Sanitize(name);
}

bool IsArchiveOwnName(std::string_view name) {
    const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    const auto startsWith = [&](std::string_view prefix) {
        return name.size() >= prefix.size() &&
               std::equal(prefix.begin(), prefix.end(), name.begin(),
                          [&](char a, char b) { return fold(a) == fold(b); });
    };
    const auto is = [&](std::string_view own) {
        return name.size() == own.size() && startsWith(own);
    };
    return is(kLogFileName) || is(kPageFileName) || startsWith(kTemporaryPrefix);
}

std::optional<std::string> UniqueBagName(const std::string& base, const NameTaken& taken) {
    return FirstFree(base, "", taken);
}

std::optional<std::string> FinalBagName(const std::string& base, DiscResult result,
                                        const NameTaken& taken) {
    return FirstFree(base, result == DiscResult::Complete ? "" : " (incomplete)", taken);
}

Publishing PublishBag(const std::string& chosen, DiscResult result, const NameTaken& taken,
                      const std::function<Published(const std::string& name)>& publish) {
    Publishing last{Published::NameTaken, chosen};
    std::optional<std::string> name =
        result == DiscResult::Complete ? chosen : FinalBagName(chosen, result, taken);
    for (int tries = 0; name && tries < 100; ++tries) {
        last = {publish(*name), *name};
        if (last.answer != Published::NameTaken) return last;
        name = FinalBagName(chosen, result, taken);
    }
    last.answer = Published::NameTaken;
    return last;
}

std::string SerialText(std::uint32_t serial) {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(serial));
    return std::string(hex, 8);
}

}  // namespace dravolin::archive
