#pragma once
// Dravolin.exe's command line: archive mode's options in the Windows spelling ("/archive",
// "/name PATTERN", "/disc-time MINUTES", "/bag-info FILE", "/?") or in the one the Linux program
// takes ("--archive", "--name=PATTERN"...), read by the same rules (ReadArchiveArguments).
#include <span>
#include <string>
#include <vector>
#include "engine/ArchiveSettings.h"
#include "platform/win32/Win32Api.h"

namespace dravolin::win32 {

struct Win32CommandLine {
    enum class Action {
        Run,     // open the dialog with `archive`
        Tell,    // show `text` (the help, the version) and end with success
        Refuse,  // show `text`, one line, and end with kUsageExitStatus
    };
    Action action = Action::Run;
    ArchiveOptions archive;
    std::wstring text;
};

// The process's arguments as UTF-8, the program first, split as the C runtime splits them.
std::vector<std::string> ProcessArguments();

// Reads `arguments` (UTF-8, the program first), and the file /bag-info names, before the dialog
// opens; texts from `resources` in the thread's language.
Win32CommandLine ReadCommandLine(std::span<const std::string> arguments, HINSTANCE resources);

// Shows a Tell or Refuse line in a message box; returns the process's exit status.
int ShowCommandLineText(const Win32CommandLine& line);

}  // namespace dravolin::win32
