#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#include "archive/LocalTime.h"

namespace dravolin::archive {

// A fixity check of the bags in a target folder, years after they were made: what each bag's
// manifests say against what its files hold now, and the dated report a later check is
// compared with.

// One line of a manifest: the digest and the path, decoded as RFC 8493 says (%0D, %0A and %25
// are CR, LF and '%'; nothing else is decoded).
struct ManifestLine {
    std::string digest;
    std::string path;
};
// The lines of a manifest; nullopt where a line is not "DIGEST  PATH" (64 hex digits, one or
// more blanks, a path): a manifest that cannot be read in full vouches for nothing.
std::optional<std::vector<ManifestLine>> ParseManifest(std::string_view text);
std::string DecodeManifestPath(std::string_view path);

// What one bag's check found.
struct BagFindings {
    std::string unreadable;            // why the bag could not be checked at all; empty: it was
    std::vector<std::string> changed;  // files whose bytes differ from their manifest's digest
    std::vector<std::string> missing;  // in a manifest, not in the bag (or not a file)
    std::vector<std::string> extra;    // in the payload, in no manifest
    bool oxumDiffers = false;          // Payload-Oxum counts other bytes or files
};

enum class BagVerdict { Valid, Changed, MissingFiles, ExtraFiles, Unreadable };
// The gravest of what was found: unreadable, then changed (a Payload-Oxum that files lost or
// gained do not explain, too), missing files, extra files.
BagVerdict VerdictOf(const BagFindings& findings);
// "valid", "changed", "missing files", "extra files", "unreadable": the report's words, which
// a later report is compared with, whatever the program's language.
std::string_view VerdictWord(BagVerdict verdict);

// The payload's bytes and files as bag-info.txt's Payload-Oxum gives them; nullopt when it has
// none or it is malformed.
struct Oxum {
    std::uint64_t bytes = 0;
    std::uint64_t files = 0;
    bool operator==(const Oxum&) const = default;
};
std::optional<Oxum> ParseOxum(std::string_view value);

// A report of a check: a heading, one line per bag ("WORD<TAB>BAG"), each finding below it
// ("<TAB>changed<TAB>PATH"...), names percent-encoded as manifests write them so that every
// entry stays on its line; and last, the SHA-256 (`sha256`) of every line before it, so that a
// changed report is noticed.
struct CheckedBag {
    std::string name;
    BagFindings findings;
};
std::string ReportText(std::string_view heading, const std::vector<CheckedBag>& bags,
                       const std::function<std::string(std::string_view)>& sha256);

// "verify 2026-12-10 031507.txt": a report's file name, which sorts by the time the check
// began and is no bag's.
std::string ReportName(const LocalTime& begun);
// "2026-12-10 03:15:07" of a report's file name; empty when the name is not one.
std::string ReportTime(std::string_view name);

// Each bag's verdict word as a report gives it, in its order; nullopt when its last line is not
// the SHA-256 of the lines before it: a report changed after it was written vouches for nothing.
struct ReportedBag {
    std::string name;
    std::string word;
};
std::optional<std::vector<ReportedBag>> ParseReport(
    std::string_view text, const std::function<std::string(std::string_view)>& sha256);

}  // namespace dravolin::archive
