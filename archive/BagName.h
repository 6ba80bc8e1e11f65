#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include "archive/ArchiveLog.h"
#include "archive/DiscResult.h"
#include "archive/LocalTime.h"

namespace dravolin::archive {

// What a bag's folder name may be made of.
struct BagFields {
    std::string label;         // the volume label, bytes as the platform read them
    LocalTime time;            // when the disc's copy started
    std::uint32_t serial = 0;  // the volume fingerprint
    std::string drive;         // the drive's letter, "E"
};

// Fields: {label} {date} (2026-12-08) {time} (14-03-11) {serial} (8 lowercase hex digits)
// {drive}. Everything else is literal text; there is no escape for a literal brace.
inline constexpr std::string_view kDefaultPattern = "{label} {date} {serial}";

// A name leaves room below the file systems' 255 for " (99999)" and " (incomplete)".
inline constexpr std::size_t kMaxBagNameBytes = 200;

// Why a pattern is refused. A typing error such as "{lable}" is refused before the first disc
// rather than kept literally: kept, it would name every bag of a weekend "{lable}", "{lable}
// (2)"..., which is found out only when it is too late to tell the discs apart.
enum class PatternProblem {
    None,
    UnknownField,       // "{lable}"
    UnclosedBrace,      // "{label" or "{la{bel}"
    StrayClosingBrace,  // "label}"
};

struct PatternCheck {
    PatternProblem problem = PatternProblem::None;
    std::size_t offset = 0;  // where in the pattern the fault starts
    std::string text;        // the field or the brace at fault, for the message the caller shows

    bool ok() const { return problem == PatternProblem::None; }
};

// Checks a pattern the user gave (--name); the caller turns a problem into its translated text.
PatternCheck CheckPattern(std::string_view pattern);

// The bag folder's name for a disc. A pattern that fails CheckPattern is replaced by the default.
// The name is always one valid UTF-8 folder name that both desktops can create:
// - "/ \ : * ? \" < > |", control characters and bytes that are not UTF-8 become "_" (the exact
//   label stays in the log and in bag-info.txt);
// - an empty or blank label is "Disc"; leading spaces and trailing spaces and dots are trimmed,
//   so "." and ".." never result; a leading dot becomes "_", so no bag is a hidden folder;
// - a Windows device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, also with superscript digits and
//   with any extension) gets "_" after the device name: "CON_", "nul_.txt";
// - at most kMaxBagNameBytes bytes, cut between characters; an empty result is "Disc".
std::string BagName(std::string_view pattern, const BagFields& fields);

// A disc's serial (its fingerprint) as bag names, bag-info.txt and the log write it: eight
// lowercase hex digits.
std::string SerialText(std::uint32_t serial);

// The prefix of the temporary names the archive builds under in a target folder.
inline constexpr std::string_view kTemporaryPrefix = ".dravolin-";

// Whether the archive keeps `name` for itself in a target folder, whatever the file system
// says now: the log (also before the first row makes it), the page and the temporary names.
// Letter case is ignored, as Windows and the shares it serves ignore it. No bag is ever given
// such a name; a file the archive comes to keep beside the log (a lock, a claim) belongs here
// too.
bool IsArchiveOwnName(std::string_view name);

// Asks whether a name is already taken in the target folder. It should ask the file system
// itself, which knows whether names differ by letter case only; the caller still creates the
// folder without replacing and asks again if it lost a race.
using NameTaken = std::function<bool(const std::string& name)>;

// `base`, else "base (2)", "base (3)"..., the first one neither taken nor the archive's own;
// none after "base (99999)".
std::optional<std::string> UniqueBagName(const std::string& base, const NameTaken& taken);

// The name a finished bag is renamed to. Any result but Complete ends in " (incomplete)", after
// the number that makes it unique: "base (2) (incomplete)".
std::optional<std::string> FinalBagName(const std::string& base, DiscResult result,
                                        const NameTaken& taken);

// Gives a finished bag its name: `chosen` for a Complete one, else its FinalBagName, and the
// next free one each time `publish` finds the name taken (another program took it since the
// name was chosen). `publish` renames the bag and answers Done, NameTaken or Failed.
enum class Published { Done, NameTaken, Failed };
struct Publishing {
    Published answer = Published::Failed;  // the last answer; NameTaken: no free name was left
    std::string name;                      // the name last tried
};
Publishing PublishBag(const std::string& chosen, DiscResult result, const NameTaken& taken,
                      const std::function<Published(const std::string& name)>& publish);

}  // namespace dravolin::archive
