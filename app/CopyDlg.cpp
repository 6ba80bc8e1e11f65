#include "app/CopyDlg.h"

#include <utility>
#include <vector>
#include "app/Resource.h"
#include "engine/CopyCycle.h"
#include "engine/DriveList.h"
#include "shell/AutoPlay.h"
#include "target/DestinationHistory.h"

namespace dravolin {

namespace {
constexpr std::uint32_t kPollTimerId = 1;
constexpr std::uint32_t kPollPeriodMs = 1500;
constexpr int kSmallIcon = 16;
constexpr std::uint32_t kImageListFlags = win::kIlcColor32 | win::kIlcMask;
}  // namespace

CCopyDlg::CCopyDlg(Platform& platform, ArchiveOptions archive)
    : m_hIcon(platform.resources.LoadIcon(IDR_MAINFRAME)),
      m_platform(platform),
      m_archiveOptions(std::move(archive)) {
    if (!m_platform.workers.archiver) m_archiveOptions.on = false;
}

CCopyDlg::~CCopyDlg() = default;

std::intptr_t CCopyDlg::DoModal() {
    return m_platform.host.RunModal(*this);
}

void CCopyDlg::DoDataExchange() {
    m_wndDrives = &m_window->DriveList(IDC_DRIVES);
    m_wndTarget = &m_window->TargetCombo(IDC_TARGET);
}

// UI thread only. The order matters: the timer comes last, so no poll sees a half-built dialog.
bool CCopyDlg::OnInitDialog() {
    DoDataExchange();
    if (m_hIcon) {
        m_window->SetIcon(*m_hIcon, true);
        m_window->SetIcon(*m_hIcon, false);
    }
    m_imgDrives = m_platform.desktop.CreateImageList(kSmallIcon, kSmallIcon, kImageListFlags, 5, 0);
    m_imgFolders =
        m_platform.desktop.CreateImageList(kSmallIcon, kSmallIcon, kImageListFlags, 20, 0);
    SetUpArchiveMode();
    InitDriveList(*this);
    SetUpTargetCombo(*this);
    ArmAutoPlaySuppression(*this);
    m_nTimer = m_window->SetTimer(kPollTimerId, kPollPeriodMs);
    return true;
}

// UI thread only. The timer goes first, so no poll runs while the records are freed.
void CCopyDlg::OnDestroy() {
    m_window->KillTimer(m_nTimer);
    m_nTimer = 0;
    std::vector<WorkerThread*> workers;
    for (const auto& entry : m_entries) {
        if (entry && entry->worker) workers.push_back(entry->worker.get());
    }
    m_platform.threads.TerminateAll(workers, 1);
    for (auto& entry : m_entries) {
        if (entry) entry->worker.reset();
        entry.reset();
    }
    m_entries.clear();
    CloseHistory(*this);
    DisarmAutoPlaySuppression(*this);
    m_window->Default(win::kWmDestroy, 0, 0);
}

// UI thread only. The texts are loaded here once, for workers that cannot use the resources.
void CCopyDlg::SetUpArchiveMode() {
    if (!m_archiveOptions.on) return;
    const Resources& strings = m_platform.resources;
    m_archive = std::make_shared<const ArchiveSettings>(ArchiveSettings{
        m_archiveOptions,
        ArchiveTexts{
            strings.LoadString(IDS_ARCHIVE_COMPLETE), strings.LoadString(IDS_ARCHIVE_ALREADY),
            strings.LoadString(IDS_ARCHIVE_INCOMPLETE), strings.LoadString(IDS_ARCHIVE_STOPPED),
            strings.LoadString(IDS_ARCHIVE_UNREADABLE), strings.LoadString(IDS_ARCHIVE_FAILED),
            strings.LoadString(IDS_ARCHIVE_LOG_FAILED),
            strings.LoadString(IDS_ARCHIVE_NOTHING_GAINED),
            strings.LoadString(IDS_ARCHIVE_PAGE_LANGUAGE)}});
    m_window->SetCaption(strings.LoadString(IDS_ARCHIVE_CAPTION));
}

void CCopyDlg::OnPaint() {
    if (!m_window->IsIconic() || !m_hIcon) {
        m_window->Default(win::kWmPaint, 0, 0);
        return;
    }
    m_window->EraseIconBackground();
    const int cx = m_platform.desktop.GetSystemMetrics(win::kSmCxIcon);
    const int cy = m_platform.desktop.GetSystemMetrics(win::kSmCyIcon);
    const Rect rect = m_window->GetClientRect();
    const Point at{(rect.Width() - cx + 1) / 2, (rect.Height() - cy + 1) / 2};
    m_window->DrawIcon(at, *m_hIcon);
}

std::intptr_t CCopyDlg::OnQueryDragIcon() {
    return m_hIcon ? static_cast<std::intptr_t>(m_hIcon->Handle()) : 0;
}

void CCopyDlg::OnDblClkDrives(const NotifyHeader*, std::intptr_t* result) {
    EjectOrLoadAtCursor(*this);
    *result = 0;
}

void CCopyDlg::OnTimer(std::uintptr_t id) {
    m_window->Default(win::kWmTimer, id, 0);
    PollDrives(*this);
}

// Enter must never close the dialog.
void CCopyDlg::OnOK() {}

void CCopyDlg::OnDevModeChange(std::uintptr_t wParam, std::intptr_t lParam) {
    m_window->Default(win::kWmDevModeChange, wParam, lParam);
}

}  // namespace dravolin
