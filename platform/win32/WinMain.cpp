// The process entry: the services, then the application object, whose InitInstance runs the
// dialog and returns false, so the process ends when the dialog closes.
#include "app/CopyApp.h"
#include "platform/win32/Win32Platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    dravolin::win32::Win32Platform platform(instance);
    dravolin::CCopyApp app(platform.Get());
    app.InitInstance();
    return 0;
}
