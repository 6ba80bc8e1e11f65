// The process entry: the command line, the services, then the application object, whose
// InitInstance runs the dialog and returns false, so the process ends when the dialog closes.
#include "app/CopyApp.h"
#include "platform/win32/Win32CommandLine.h"
#include "platform/win32/Win32Platform.h"
#include "platform/win32/archive/RealBagWriting.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using dravolin::win32::Win32CommandLine;
    const std::vector<std::string> arguments = dravolin::win32::ProcessArguments();
    const Win32CommandLine line = dravolin::win32::ReadCommandLine(arguments, instance);
    if (line.action != Win32CommandLine::Action::Run) {
        return dravolin::win32::ShowCommandLineText(line);
    }
    dravolin::win32::Win32Platform platform(instance,
                                            {line.archive.on, dravolin::win32::RealBagWriters()});
    dravolin::CCopyApp app(platform.Get(), line.archive);
    app.InitInstance();
    return 0;
}
