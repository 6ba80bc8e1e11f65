#pragma once
#include <cstdint>
#include <memory>
#include <vector>
#include "engine/ArchiveSettings.h"
#include "engine/DriveEntry.h"
#include "platform/Platform.h"

namespace dravolin {

// Layout of the notification header that comes with WM_NOTIFY (NMHDR).
struct NotifyHeader {
    WindowHandle hwndFrom = 0;
    std::uintptr_t idFrom = 0;
    std::uint32_t code = 0;
};

// The main dialog: owns the controls' wrappers, the image lists, the poll timer and the drive
// records, routes every event and runs the ordered set-up and teardown.
// Everything here runs on the UI thread.
class CCopyDlg {
  public:
    // Archive mode stays off on a platform without an archiver.
    explicit CCopyDlg(Platform& platform, ArchiveOptions archive = {});
    ~CCopyDlg();
    CCopyDlg(const CCopyDlg&) = delete;
    CCopyDlg& operator=(const CCopyDlg&) = delete;

    // Runs the dialog modally through the platform's host; returns the host's result.
    std::intptr_t DoModal();
    // Called by the host once the window exists, before OnInitDialog.
    void Attach(DialogWindow& window) { m_window = &window; }
    DialogWindow& Window() const { return *m_window; }
    Platform& Services() const { return m_platform; }

    bool OnInitDialog();
    // Every message passes here first: the AutoPlay query, then the message map. Returns true
    // when handled, with the window procedure's result in `result`.
    bool OnWndMsg(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                  std::intptr_t* result);

    // Message-map handlers.
    void OnPaint();
    std::intptr_t OnQueryDragIcon();
    void OnDblClkDrives(const NotifyHeader* header, std::intptr_t* result);
    void OnTimer(std::uintptr_t id);
    void OnDestroy();
    void OnOK();
    void ShowDriveContextMenu(const NotifyHeader* header, std::intptr_t* result);
    void OnBrowse();
    void OnDevModeChange(std::uintptr_t wParam, std::intptr_t lParam);
    void OnOpenTarget();

    // Fields, in the framework's naming.
    IconPtr m_hIcon;
    ListView* m_wndDrives = nullptr;    // control IDC_DRIVES, attached by data exchange
    ComboBoxEx* m_wndTarget = nullptr;  // control IDC_TARGET, attached by data exchange
    std::unique_ptr<ImageList> m_imgDrives;
    std::unique_ptr<ImageList> m_imgFolders;
    std::uint32_t m_nQueryCancelAutoPlay = 0;
    std::uint32_t m_nTimer = 0;

    // The records behind the rows, by row index; the rows hold raw pointers to them.
    std::vector<std::shared_ptr<DriveEntry>> m_entries;
    // Rows being handled by a poll pass that may be suspended in a nested message loop.
    std::vector<bool> m_rowsInPass;
    // Archive mode, shared with every row's record; null when the mode is off.
    std::shared_ptr<const ArchiveSettings> m_archive;
    // A full target has been told of since the last disc started.
    bool m_targetFullTold = false;

  private:
    void DoDataExchange();

    void SetUpArchiveMode();

    Platform& m_platform;
    ArchiveOptions m_archiveOptions;
    DialogWindow* m_window = nullptr;
};

}  // namespace dravolin
