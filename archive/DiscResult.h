#pragma once
#include <optional>
#include <string_view>

namespace dravolin::archive {

// How one disc of an archive run ended. A bag whose result is anything but Complete is never
// named or described as complete.
enum class DiscResult {
    Complete,         // every file copied and checked
    Incomplete,       // a bag was written, but with damaged files or cut short by the time budget
    NoFileSystem,     // blank, audio or unreadable: no bag, a log row only
    AlreadyArchived,  // a complete bag of the same disc is already in the target: not copied
    TargetFull,       // the target disk filled up; the disc's bag, if any, is incomplete
    Failed,           // anything else that stopped the disc (mount, target folder, drive gone)
};

// How a disc ended whose bag was built (`built`, whole or `complete`) or not: TargetFull
// wherever the target filled up, since the core unticks every drive on that word.
DiscResult BuiltResult(bool built, bool complete, bool targetFull);

// The word the log and bag-info.txt write for a result: "complete", "incomplete", "unreadable",
// "already archived", "target full", "failed". Fixed English words: a file format, not a text
// shown to users.
std::string_view ResultWord(DiscResult result);

// The result a word names; only the exact words above are recognised.
std::optional<DiscResult> ParseResult(std::string_view word);

}  // namespace dravolin::archive
