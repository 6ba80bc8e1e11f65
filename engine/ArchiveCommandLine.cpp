#include "engine/ArchiveCommandLine.h"

#include <optional>
#include <string_view>
#include "archive/BagName.h"
#include "archive/UserFields.h"

namespace dravolin {

namespace {

using Problem = ArchiveArguments::Problem;
using Action = ArchiveArguments::Action;

constexpr std::string_view kArchive = "--archive";
constexpr std::string_view kName = "--name";
constexpr std::string_view kDiscTime = "--disc-time";
constexpr std::string_view kKeep = "--keep";
constexpr std::string_view kBagInfo = "--bag-info";
constexpr std::string_view kHelp = "--help";
constexpr std::string_view kVersion = "--version";

ArchiveArguments Refusal(Problem problem, std::string subject) {
    ArchiveArguments refused;
    refused.action = Action::Refuse;
    refused.problem = problem;
    refused.subject = std::move(subject);
    return refused;
}

ArchiveArguments Only(Action action) {
    ArchiveArguments only;
    only.action = action;
    return only;
}

// Digits only: no sign, blank or unit that a number reader would quietly accept or drop.
std::optional<std::uint32_t> MinutesOf(std::string_view text) {
    if (text.empty() || text.size() > 4) return std::nullopt;
    std::uint32_t minutes = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        minutes = minutes * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (minutes == 0 || minutes > kMaxDiscMinutes) return std::nullopt;
    return minutes;
}

std::optional<archive::BagKeeps> KeepOf(std::string_view text) {
    if (text == "both") return archive::BagKeeps::Both;
    if (text == "files") return archive::BagKeeps::Files;
    if (text == "image") return archive::BagKeeps::Image;
    return std::nullopt;
}

Problem ProblemOf(archive::UserFieldsProblem problem) {
    switch (problem) {
        case archive::UserFieldsProblem::None:
            return Problem::None;
        case archive::UserFieldsProblem::TooLarge:
            return Problem::BagInfoTooLarge;
        case archive::UserFieldsProblem::NotText:
            return Problem::BagInfoNotText;
        case archive::UserFieldsProblem::NotAField:
            return Problem::BagInfoNotAField;
        case archive::UserFieldsProblem::OwnLabel:
            return Problem::BagInfoOwnLabel;
    }
    return Problem::None;
}

Problem ProblemOf(archive::PatternProblem problem) {
    switch (problem) {
        case archive::PatternProblem::None:
            return Problem::None;
        case archive::PatternProblem::UnknownField:
            return Problem::UnknownField;
        case archive::PatternProblem::UnclosedBrace:
            return Problem::UnclosedBrace;
        case archive::PatternProblem::StrayClosingBrace:
            return Problem::StrayClosingBrace;
    }
    return Problem::None;
}

}  // namespace

ArchiveArguments ReadArchiveArguments(std::span<const std::string> arguments,
                                      ArchiveProgram program, bool readsImages) {
    const bool dialog = program == ArchiveProgram::Dialog;
    ArchiveArguments line;
    line.archive.on = !dialog;
    std::optional<std::string> pattern;
    std::optional<std::string> minutes;
    std::optional<std::string> keep;
    std::string firstArchiveOption;  // --name, --disc-time, --keep or --bag-info, whichever first
    bool operandsOnly = false;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (operandsOnly) {
            line.operands.push_back(argument);
            continue;
        }
        if (argument == "-h" || argument == kHelp) return Only(Action::Help);
        if (argument == "-v" || argument == kVersion) return Only(Action::Version);
        if (dialog && argument == kArchive) {
            line.archive.on = true;
            continue;
        }
        if (argument == "--") {
            if (dialog) {
                if (i + 1 < arguments.size()) {
                    return Refusal(Problem::UnexpectedArgument, arguments[i + 1]);
                }
                break;
            }
            operandsOnly = true;
            continue;
        }
        // "--option=value" or "--option value".
        const std::size_t equals =
            argument.starts_with("--") ? argument.find('=') : std::string::npos;
        const std::string option =
            equals != std::string::npos ? argument.substr(0, equals) : argument;
        if (option == kName || option == kDiscTime || option == kBagInfo ||
            (readsImages && option == kKeep)) {
            std::string value;
            if (equals != std::string::npos) {
                value = argument.substr(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            }
            if (value.empty()) return Refusal(Problem::NeedsValue, option);
            if (option == kBagInfo) {
                line.bagInfoFile = value;
            } else {
                (option == kName ? pattern : option == kDiscTime ? minutes : keep) = value;
            }
            if (firstArchiveOption.empty()) firstArchiveOption = option;
            continue;
        }
        if ((dialog && option == kArchive) || option == kHelp || option == kVersion) {
            return Refusal(Problem::TakesNoValue, option);
        }
        if (argument.starts_with('-') && argument != "-") {
            return Refusal(Problem::UnknownOption, option);
        }
        if (dialog) return Refusal(Problem::UnexpectedArgument, argument);
        line.operands.push_back(argument);
    }

    if (!line.archive.on && !firstArchiveOption.empty()) {
        return Refusal(Problem::NeedsArchive, firstArchiveOption);
    }
    if (pattern) {
        const archive::PatternCheck check = archive::CheckPattern(*pattern);
        if (!check.ok()) {
            return Refusal(
                ProblemOf(check.problem),
                check.problem == archive::PatternProblem::UnknownField ? check.text : *pattern);
        }
        line.archive.pattern = *pattern;
    }
    if (minutes) {
        const std::optional<std::uint32_t> value = MinutesOf(*minutes);
        if (!value) return Refusal(Problem::DiscTime, *minutes);
        line.archive.discSeconds = *value * 60;
    }
    if (keep) {
        const std::optional<archive::BagKeeps> value = KeepOf(*keep);
        if (!value) return Refusal(Problem::Keep, *keep);
        line.archive.keep = *value;
    }
    if (!dialog) {
        if (line.operands.size() > 2) return Refusal(Problem::UnexpectedArgument, line.operands[2]);
        if (line.operands.size() < 2) return Refusal(Problem::MissingOperand, {});
    }
    return line;
}

ArchiveArguments TakeBagInfo(ArchiveArguments line, std::string_view text) {
    archive::UserFields read = archive::ReadUserFields(text);
    if (!read.ok()) {
        ArchiveArguments refused = Refusal(ProblemOf(read.problem), line.bagInfoFile);
        refused.line = read.line;
        refused.detail = std::move(read.label);
        return refused;
    }
    line.archive.bagInfo = std::move(read.fields);
    return line;
}

ArchiveArguments RefuseBagInfo(const ArchiveArguments& line, std::string why) {
    ArchiveArguments refused = Refusal(Problem::BagInfoUnreadable, line.bagInfoFile);
    refused.detail = std::move(why);
    return refused;
}

}  // namespace dravolin
