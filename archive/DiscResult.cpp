#include "archive/DiscResult.h"

#include <array>
#include <utility>

namespace dravolin::archive {
namespace {

constexpr std::array<std::pair<DiscResult, std::string_view>, 6> kWords{{
    {DiscResult::Complete, "complete"},
    {DiscResult::Incomplete, "incomplete"},
    {DiscResult::NoFileSystem, "unreadable"},
    {DiscResult::AlreadyArchived, "already archived"},
    {DiscResult::TargetFull, "target full"},
    {DiscResult::Failed, "failed"},
}};

}  // namespace

DiscResult BuiltResult(bool built, bool complete, bool targetFull) {
    if (targetFull) return DiscResult::TargetFull;
    if (!built) return DiscResult::Failed;
    return complete ? DiscResult::Complete : DiscResult::Incomplete;
}

std::string_view ResultWord(DiscResult result) {
    for (const auto& [value, word] : kWords) {
        if (value == result) return word;
    }
    return "failed";
}

std::optional<DiscResult> ParseResult(std::string_view word) {
    for (const auto& [value, text] : kWords) {
        if (text == word) return value;
    }
    return std::nullopt;
}

}  // namespace dravolin::archive
