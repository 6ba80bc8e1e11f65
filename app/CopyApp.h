#pragma once
#include <utility>
#include "app/CopyDlg.h"
#include "platform/Platform.h"

namespace dravolin {

// The framework's application object, reduced to what the program needs.
class CWinApp {
  public:
    virtual ~CWinApp() = default;
    // The framework's own initialisation; nothing is left for it to do here.
    virtual bool InitInstance() { return true; }
    CCopyDlg* m_pMainWnd = nullptr;
};

// Prepares the process-wide services, runs the dialog modally and ends the program when it
// closes. Runs on the UI thread.
class CCopyApp : public CWinApp {
  public:
    explicit CCopyApp(Platform& platform, ArchiveOptions archive = {})
        : m_platform(platform), m_archive(std::move(archive)) {}
    // Returns false so that the process ends instead of entering a message loop.
    bool InitInstance() override;

  private:
    Platform& m_platform;
    ArchiveOptions m_archive;
};

}  // namespace dravolin
