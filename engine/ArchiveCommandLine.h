#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include "engine/ArchiveSettings.h"

namespace dravolin {

// A disc's time budget on the command line, in whole minutes: a day at most, since a disc that
// reads for longer is better left to a person.
inline constexpr std::uint32_t kMaxDiscMinutes = 24 * 60;

// The exit status of a command line a program refuses, as the shells' own tools use it.
inline constexpr int kUsageExitStatus = 2;

// The two programs that take archive mode's options. The dialog turns the mode on with
// --archive and takes no operand; the archiver is always in the mode and takes SOURCE TARGET.
enum class ArchiveProgram { Dialog, Archiver };

// What a command line asks for. The rules are the same for both programs, so that an option
// means and refuses the same in either; each program turns a refusal into its own words.
struct ArchiveArguments {
    enum class Action {
        Run,      // go on with `archive` (and, for the archiver, `operands`)
        Help,     // print the help and end with success
        Version,  // print the version and end with success
        Refuse,   // print why, one line, and end with kUsageExitStatus
    };
    enum class Problem {
        None,
        NeedsValue,          // subject: the option
        TakesNoValue,        // subject: the option
        UnknownOption,       // subject: the option as given, without "=value"
        UnexpectedArgument,  // subject: the argument
        NeedsArchive,        // subject: --name, --disc-time, --keep or --bag-info, the first
        DiscTime,            // subject: the minutes as given
        Keep,                // subject: what --keep was given
        UnknownField,        // subject: the field with its braces
        UnclosedBrace,       // subject: the pattern
        StrayClosingBrace,   // subject: the pattern
        MissingOperand,      // the archiver was not given both SOURCE and TARGET
        BagInfoUnreadable,   // subject: --bag-info's FILE as given; detail: why, as the system says
        BagInfoTooLarge,     // subject: the FILE; larger than archive::kMaxUserFieldsBytes
        BagInfoNotText,      // subject: the FILE; line: not UTF-8 text
        BagInfoNotAField,    // subject: the FILE; line: not a "Label: value" field
        BagInfoOwnLabel,     // subject: the FILE; line; detail: a label the program writes itself
    };
    Action action = Action::Run;
    ArchiveOptions archive;
    std::vector<std::string> operands;  // the archiver's SOURCE and TARGET
    Problem problem = Problem::None;
    std::string subject;
    std::size_t line = 0;  // the file's line at fault, from 1
    std::string detail;
    std::string bagInfoFile;  // --bag-info's FILE; empty without it
};

// Reads a program's arguments, its own name first. The first fault found is the refusal; a
// pattern or a time that cannot be used is refused before any disc is read. --name and
// --disc-time without --archive are refused by the dialog rather than ignored: whoever typed
// them meant archive mode, and a weekend of discs copied into one folder would be found out
// too late. "--option=value" and "--option value" are the same; after "--" the archiver takes
// every argument as an operand. --keep is an option only where the program reads a disc into an
// image (`readsImages`); elsewhere it is unknown, not quietly ignored. --bag-info's file is only
// named here (`bagInfoFile`); the program reads it (TakeBagInfo, RefuseBagInfo).
ArchiveArguments ReadArchiveArguments(std::span<const std::string> arguments,
                                      ArchiveProgram program, bool readsImages);

// --bag-info's FILE as the program read it, at most archive::kMaxUserFieldsBytes + 1 bytes (one
// more tells a larger file): its fields go into every bag (ArchiveOptions::bagInfo), or a fault
// in it refuses the whole command line, so that no bag is written with only some of them.
ArchiveArguments TakeBagInfo(ArchiveArguments line, std::string_view text);
// --bag-info's FILE could not be read: the command line is refused with `why`.
ArchiveArguments RefuseBagInfo(const ArchiveArguments& line, std::string why);

}  // namespace dravolin
