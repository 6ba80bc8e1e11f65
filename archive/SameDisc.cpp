#include "archive/SameDisc.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include "archive/BagText.h"
#include "archive/Utf8Names.h"

namespace dravolin::archive {
namespace {

bool SameDisc(const LogRow& row, std::string_view label, std::string_view identity,
              DiscResult result = DiscResult::Complete) {
    return row.result == result && row.identity == identity && row.label == label;
}

std::optional<std::uint64_t> Number(std::string_view text) {
    if (text.empty() || text.size() > 19) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

std::uint32_t Fingerprint(std::string_view text) {
    if (text.size() != 8) return 0;
    std::uint32_t value = 0;
    for (char c : text) {
        const auto at = std::string_view("0123456789abcdef").find(c);
        if (at == std::string_view::npos) return 0;
        value = value << 4 | static_cast<std::uint32_t>(at);
    }
    return value;
}

// A label as bag-info.txt keeps it: UTF-8, one line.
std::string LabelInBagInfo(std::string_view label) {
    std::string text = ValidUtf8(label);
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

// bag-info.txt's "+hhmm" as the log's "+hh:mm".
std::string LogTime(std::string text) {
    if (text.size() >= 5 && (text[text.size() - 5] == '+' || text[text.size() - 5] == '-')) {
        text.insert(text.size() - 2, 1, ':');
    }
    return text;
}

std::map<std::string, std::string, std::less<>> Fields(std::string_view text) {
    std::map<std::string, std::string, std::less<>> fields;
    // The first of a repeated label counts: the writer's own fields come once each.
    for (auto& [label, value] : ParseBagInfo(text))
        fields.emplace(std::move(label), std::move(value));
    return fields;
}

}  // namespace

DiscDecision Decide(std::span<const LogRow> rows, std::span<const LogRow> bagsInTarget,
                    std::string_view label, std::string_view identity) {
    if (identity.empty()) return {};
    for (const LogRow& row : rows) {
        if (SameDisc(row, label, identity)) return {false, row.bagFolder, std::nullopt, {}};
    }
    const std::string labelInBag = LabelInBagInfo(label);
    for (const LogRow& bag : bagsInTarget) {
        if (!SameDisc(bag, labelInBag, identity)) continue;
        const bool logged = std::any_of(rows.begin(), rows.end(), [&](const LogRow& row) {
            return row.bagFolder == bag.bagFolder;
        });
        return {false, bag.bagFolder, logged ? std::nullopt : std::optional<LogRow>(bag), {}};
    }
    DiscDecision copy;
    for (const LogRow& bag : bagsInTarget) {
        // The times are the machine's local ones with their offset: the later end is the later
        // bag but across a change of the clock's offset, where either is fine to read on from.
        if (SameDisc(bag, labelInBag, identity, DiscResult::Incomplete) &&
            (!copy.earlier || copy.earlier->end < bag.end)) {
            copy.earlier = bag;
        }
    }
    return copy;
}

std::optional<LogRow> RowOfBag(std::string folderName, std::string_view bagInfo) {
    auto fields = Fields(bagInfo);
    const auto field = [&](std::string_view name) -> std::string {
        const auto it = fields.find(name);
        return it == fields.end() ? std::string() : it->second;
    };
    LogRow row;
    row.identity = field(kFieldIdentity);
    const std::optional<DiscResult> result = ParseResult(field(kFieldResult));
    if ((result != DiscResult::Complete && result != DiscResult::Incomplete) ||
        row.identity.size() != 64 ||
        row.identity.find_first_not_of("0123456789abcdef") != std::string::npos ||
        folderName.empty() || folderName.front() == '.') {
        return std::nullopt;
    }
    row.result = *result;
    row.bagFolder = std::move(folderName);
    row.label = field("Dravolin-Volume-Label");
    row.fingerprint = Fingerprint(field("Dravolin-Fingerprint"));
    row.start = field("Dravolin-Started");
    row.end = LogTime(field(kFieldEnded));
    const std::string drive = field("Dravolin-Drive");
    if (drive.size() >= 2 && drive[1] == ':') row.drive = drive.substr(0, 1);
    // Payload-Oxum: "BYTES.FILES".
    const std::string oxum = field("Payload-Oxum");
    const std::size_t dot = oxum.find('.');
    if (dot != std::string::npos) {
        row.bytes = Number(std::string_view(oxum).substr(0, dot)).value_or(0);
        row.files = Number(std::string_view(oxum).substr(dot + 1)).value_or(0);
    }
    row.damagedFiles = Number(field(kFieldDamagedFiles)).value_or(0);
    return row;
}

std::uint64_t ClaimByte(std::string_view identity) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < identity.size() && i < 15; ++i) {
        const char c = identity[i];
        const unsigned digit =
            c >= 'a' ? static_cast<unsigned>(c - 'a' + 10) : static_cast<unsigned>(c - '0') & 0xF;
        value = value << 4 | digit;
    }
    return value;
}

}  // namespace dravolin::archive
