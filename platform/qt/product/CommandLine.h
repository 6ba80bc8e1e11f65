#pragma once
#include <QString>
#include <QStringList>
#include <cstdint>
#include "engine/ArchiveSettings.h"
#include "platform/qt/QtResources.h"

namespace dravolin::qt {

// A disc's time budget on the command line, in whole minutes: a day at most, since a disc that
// reads for longer is better left to a person.
inline constexpr std::uint32_t kMaxDiscMinutes = 24 * 60;

// The exit status of a command line the program refuses, as the shells' own tools use it.
inline constexpr int kUsageExitStatus = 2;

// What the command line asks for, read before any window exists.
struct CommandLine {
    enum class Action {
        Run,      // open the dialog with `archive`
        Help,     // print `text` to standard output and end with success
        Version,  // the same
        Refuse,   // print `text`, one line, to standard error and end with kUsageExitStatus
    };
    Action action = Action::Run;
    ArchiveOptions archive;
    QString text;
};

// Reads the program's arguments (the program's name first, Qt's own options already taken out
// by the application object). --name and --disc-time without --archive are refused rather than
// ignored: whoever typed them meant archive mode, and a weekend of discs copied into one folder
// would be found out too late. Texts in `language`.
CommandLine ReadCommandLine(const QStringList& arguments, Language language);

}  // namespace dravolin::qt
