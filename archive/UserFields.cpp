#include "archive/UserFields.h"

#include <algorithm>
#include <array>
#include <utility>
#include "archive/Utf8Names.h"

namespace dravolin::archive {

namespace {

bool IsFieldBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view WithoutFieldBlanks(std::string_view text) {
    while (!text.empty() && IsFieldBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsFieldBlank(text.back())) text.remove_suffix(1);
    return text;
}

// A tab is how editors indent a continued value; every other control character would reach
// bag-info.txt unseen.
bool IsFieldText(std::string_view line) {
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7F) return false;
    }
    return IsUtf8(line);
}

bool SameLabel(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

UserFields FieldsFault(UserFieldsProblem problem, std::size_t line, std::string label = {}) {
    UserFields fault;
    fault.problem = problem;
    fault.line = line;
    fault.label = std::move(label);
    return fault;
}

}  // namespace

bool IsProgramLabel(std::string_view label) {
    static constexpr std::array<std::string_view, 4> kWritten = {"Bagging-Date", "Payload-Oxum",
                                                                 "External-Identifier", "Bag-Size"};
    for (const std::string_view written : kWritten) {
        if (SameLabel(label, written)) return true;
    }
    constexpr std::string_view kOwnPrefix = "Dravolin-";
    return label.size() >= kOwnPrefix.size() &&
           SameLabel(label.substr(0, kOwnPrefix.size()), kOwnPrefix);
}

UserFields ReadUserFields(std::string_view text) {
    if (text.size() > kMaxUserFieldsBytes) return FieldsFault(UserFieldsProblem::TooLarge, 0);
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    UserFields read;
    for (std::size_t number = 1; !text.empty(); ++number) {
        const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end);
        if (text.starts_with("\r\n")) {
            text.remove_prefix(2);
        } else if (!text.empty()) {
            text.remove_prefix(1);
        }

        if (!IsFieldText(line)) return FieldsFault(UserFieldsProblem::NotText, number);
        if (WithoutFieldBlanks(line).empty() || line.starts_with('#')) continue;
        if (IsFieldBlank(line.front())) {
            if (read.fields.empty()) return FieldsFault(UserFieldsProblem::NotAField, number);
            read.fields.back().second += ' ';
            read.fields.back().second += WithoutFieldBlanks(line);
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0 || IsFieldBlank(line[colon - 1]) ||
            colon + 1 == line.size() || !IsFieldBlank(line[colon + 1])) {
            return FieldsFault(UserFieldsProblem::NotAField, number);
        }
        const std::string_view label = line.substr(0, colon);
        const std::string_view value = WithoutFieldBlanks(line.substr(colon + 1));
        if (value.empty()) return FieldsFault(UserFieldsProblem::NotAField, number);
        if (IsProgramLabel(label)) {
            return FieldsFault(UserFieldsProblem::OwnLabel, number, std::string(label));
        }
        read.fields.emplace_back(label, value);
    }
    return read;
}

}  // namespace dravolin::archive
