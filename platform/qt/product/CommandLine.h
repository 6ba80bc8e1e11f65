#pragma once
#include <QString>
#include <QStringList>
#include "engine/ArchiveCommandLine.h"
#include "engine/ArchiveSettings.h"
#include "platform/qt/QtResources.h"

namespace dravolin::qt {

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
// by the application object) by the rules of ReadArchiveArguments. Texts in `language`.
CommandLine ReadCommandLine(const QStringList& arguments, Language language);

}  // namespace dravolin::qt
