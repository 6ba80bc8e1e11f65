#include "archive/ArchiveLog.h"
#include "archive/BagName.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <optional>
#include <utility>

namespace dravolin::archive {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kColumns = 12;
// Rows written before the note was kept end after the result.
constexpr std::size_t kColumnsWithoutNote = 11;
// Rows written before the disc's identity was kept lack its column, the sixth. It stands there
// rather than last so that a row torn before its end never reads as such an older row.
constexpr std::size_t kColumnsWithoutIdentity = 10;
constexpr std::size_t kIdentityColumn = 5;
// Far above any real row (labels and folder names are at most a few hundred bytes); it bounds
// the work a line that never closes its quote can cause.
constexpr std::size_t kMaxRecordBytes = 16 * 1024;

// Starts of a cell that a spreadsheet may run as a formula, and the apostrophe that marks one.
bool NeedsApostrophe(std::string_view text) {
    return !text.empty() &&
           std::string_view("=+-@\t\r'").find(text.front()) != std::string_view::npos;
}

void AppendQuoted(std::string& line, std::string_view text) {
    line += '"';
    if (NeedsApostrophe(text)) line += '\'';
    for (char c : text) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

std::string FingerprintText(std::uint32_t fingerprint) {
    return fingerprint == 0 ? std::string() : SerialText(fingerprint);
}

std::optional<std::uint64_t> ParseNumber(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::optional<std::uint32_t> ParseFingerprint(std::string_view text) {
    if (text.empty()) return 0u;
    if (text.size() != 8) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = value << 4 | digit;
    }
    return value;
}

// The fields of the record that starts at `pos`, and where the next one starts; nullopt when the
// bytes there are no whole record of at most kColumns fields ending in a line break.
struct Record {
    std::array<std::string, kColumns> fields;
    std::size_t count = 0;  // of fields
    std::size_t next = 0;
};

std::optional<Record> ReadRecord(std::string_view text, std::size_t pos) {
    Record record;
    const std::size_t limit = std::min(text.size(), pos + kMaxRecordBytes);
    for (std::size_t column = 0;; ++column) {
        if (column == kColumns) return std::nullopt;
        std::string& field = record.fields[column];
        if (pos < limit && text[pos] == '"') {
            for (++pos;; ++pos) {
                if (pos >= limit) return std::nullopt;
                if (text[pos] == '"') {
                    if (pos + 1 >= limit || text[pos + 1] != '"') break;
                    ++pos;
                }
                field += text[pos];
            }
            ++pos;
        } else {
            while (pos < limit && text[pos] != ',' && text[pos] != '\r' && text[pos] != '\n') {
                if (text[pos] == '"') return std::nullopt;
                field += text[pos++];
            }
        }
        if (pos >= limit) return std::nullopt;  // no line break: torn
        if (text[pos] == ',') {
            ++pos;
            continue;
        }
        if (text[pos] == '\r') ++pos;
        if (pos >= limit || text[pos] != '\n') return std::nullopt;
        if (column + 1 != kColumns && column + 1 != kColumnsWithoutNote &&
            column + 1 != kColumnsWithoutIdentity) {
            return std::nullopt;
        }
        record.count = column + 1;
        record.next = pos + 1;
        return record;
    }
}

// Empty, or a SHA-256 as IdentityText writes it; anything else was edited or torn.
bool IdentityValid(std::string_view text) {
    if (text.empty()) return true;
    return text.size() == 64 &&
           text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::string TakeText(std::string& field) {
    if (!field.empty() && field.front() == '\'') field.erase(0, 1);
    return std::move(field);
}

std::optional<LogRow> ToRow(Record& record) {
    auto& f = record.fields;
    std::string identity;
    std::string note;
    if (record.count >= kColumnsWithoutNote) {
        identity = TakeText(f[kIdentityColumn]);
        std::move(f.begin() + kIdentityColumn + 1, f.end(), f.begin() + kIdentityColumn);
    }
    if (record.count == kColumns) note = TakeText(f[kColumnsWithoutIdentity]);
    const auto fingerprint = ParseFingerprint(TakeText(f[4]));
    const auto files = ParseNumber(f[6]);
    const auto bytes = ParseNumber(f[7]);
    const auto damaged = ParseNumber(f[8]);
    const auto result = ParseResult(TakeText(f[9]));
    if (!fingerprint || !files || !bytes || !damaged || !result || !IdentityValid(identity)) {
        return std::nullopt;
    }
    return LogRow{TakeText(f[0]),      TakeText(f[1]), TakeText(f[2]), TakeText(f[3]), *fingerprint,
                  TakeText(f[5]),      *files,         *bytes,         *damaged,       *result,
                  std::move(identity), std::move(note)};
}

}  // namespace

std::string HeaderLine() {
    return std::string(kByteOrderMark) +
           "start,end,drive,label,fingerprint,disc identity,bag folder,files,bytes,"
           "damaged files,result,note\r\n";
}

std::string FormatRow(const LogRow& row) {
    std::string line;
    for (std::string_view text : {std::string_view(row.start), std::string_view(row.end),
                                  std::string_view(row.drive), std::string_view(row.label)}) {
        AppendQuoted(line, text);
        line += ',';
    }
    AppendQuoted(line, FingerprintText(row.fingerprint));
    line += ',';
    AppendQuoted(line, row.identity);
    line += ',';
    AppendQuoted(line, row.bagFolder);
    for (std::uint64_t number : {row.files, row.bytes, row.damagedFiles}) {
        line += ',' + std::to_string(number);
    }
    line += ',';
    AppendQuoted(line, ResultWord(row.result));
    line += ',';
    AppendQuoted(line, row.note);
    line += "\r\n";
    return line;
}

std::string AppendText(std::string_view logSoFar, const LogRow& row) {
    // Characters one by one: GCC 12 at -O3 takes a short literal assigned here for an
    // overlapping copy (-Wrestrict).
    std::string text = logSoFar.empty() ? HeaderLine() : std::string();
    if (!logSoFar.empty() && logSoFar.back() != '\n') {
        if (logSoFar.back() != '\r') text.push_back('\r');
        text.push_back('\n');
    }
    text += FormatRow(row);
    return text;
}

std::vector<LogRow> ParseLog(std::string_view text) {
    std::vector<LogRow> rows;
    std::size_t pos = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (pos < text.size()) {
        std::optional<Record> record = ReadRecord(text, pos);
        std::optional<LogRow> row = record ? ToRow(*record) : std::nullopt;
        if (row) {
            rows.push_back(std::move(*row));
            pos = record->next;
            continue;
        }
        // A lone CR is no line break of this file, but a torn line may end in one.
        const std::size_t lineEnd = text.find_first_of("\r\n", pos);
        if (lineEnd == std::string_view::npos) break;
        pos = lineEnd + 1;
    }
    return rows;
}

}  // namespace dravolin::archive
