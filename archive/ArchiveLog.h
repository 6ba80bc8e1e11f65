#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>
#include "archive/DiscResult.h"

namespace dravolin::archive {

// The run's log, archive-log.csv in the target folder: one row per disc, failures included,
// appended one row at a time and flushed, read back to tell which discs are archived.
//
// The file is CSV as RFC 4180 has it, lines ending in CR LF, in UTF-8 with a byte order mark
// first so that a spreadsheet opened by double-click reads Cyrillic labels; labels that are not
// UTF-8 are written as their bytes and read back exactly. Text fields are always quoted (a quote
// inside is doubled; commas and line breaks stay inside the quotes), numbers never.
//
// A spreadsheet runs a cell that starts with "=", "+", "-" or "@" as a formula, and some do
// after a leading TAB or CR, so a disc labelled "=HYPERLINK(...)" could act when the log is
// opened. A text field starting with one of these, or with an apostrophe, gets an apostrophe in
// front: the spreadsheet shows it as text, and the reader takes exactly one leading apostrophe
// off, so every label comes back as it was.
//
// A power cut can leave the last line torn; a person can edit the file. Reading keeps every row
// that is whole and valid and skips, line by line, whatever is not: a torn line, the header, a
// foreign line. A skipped row can only make a disc be copied again, never count as archived.
struct LogRow {
    std::string start;  // ISO 8601 local time with offset (IsoText): "2026-12-08T14:03:11+01:00"
    std::string end;
    std::string drive;              // the drive's letter, "E"
    std::string label;              // the volume label, bytes as read
    std::uint32_t fingerprint = 0;  // the volume fingerprint; 0 (unknown) is an empty field
    std::string bagFolder;          // the bag's final folder name; empty when none was made
    std::uint64_t files = 0;
    std::uint64_t bytes = 0;
    std::uint64_t damagedFiles = 0;
    DiscResult result = DiscResult::Failed;
    // The disc's identity (see SameDisc.h): 64 lowercase hex digits, empty when unknown. The
    // file's sixth column, after the fingerprint; rows written before it was kept have ten
    // columns and read back with it empty.
    std::string identity;
    // What else a person should know of the row: that the disc was read again on from an earlier
    // bag, and what that read gained. The twelfth column; older rows lack it and read back empty.
    std::string note;

    bool operator==(const LogRow&) const = default;
};

inline constexpr std::string_view kLogFileName = "archive-log.csv";

// The first line of a new log: the byte order mark and the column names.
std::string HeaderLine();

// One row as a line ending in CR LF.
std::string FormatRow(const LogRow& row);

// What to append to the log for one row. `logSoFar` is the log's current content, or at least
// its last byte: empty for a new log, which gets the header first. A log that does not end in a
// line break was torn: the torn line is ended first, so the new row stands on a line of its own,
// and a torn row that lacked nothing but its line break is read back whole.
std::string AppendText(std::string_view logSoFar, const LogRow& row);

// Every whole, valid row of a log, in file order. Never throws on any input.
std::vector<LogRow> ParseLog(std::string_view text);

}  // namespace dravolin::archive
