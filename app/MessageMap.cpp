// The dialog's message routing: the AutoPlay query first, then the message map in its order.
#include <array>

#include "app/CopyDlg.h"
#include "app/Resource.h"
#include "shell/AutoPlay.h"

namespace dravolin {

namespace {

struct MessageMapEntry {
    std::uint32_t message;
    std::uintptr_t id;  // control or command id; ignored for plain messages
    std::int32_t code;  // notification code for WM_NOTIFY
    std::intptr_t (*handler)(CCopyDlg&, std::uintptr_t wParam, std::intptr_t lParam);
};

const NotifyHeader* HeaderOf(std::intptr_t lParam) {
    return reinterpret_cast<const NotifyHeader*>(lParam);
}

std::intptr_t Notify(CCopyDlg& dlg, std::intptr_t lParam,
                     void (CCopyDlg::*handler)(const NotifyHeader*, std::intptr_t*)) {
    std::intptr_t result = 0;
    (dlg.*handler)(HeaderOf(lParam), &result);
    return result;
}

constexpr std::array<MessageMapEntry, 10> kMessageMap{{
    {win::kWmPaint, 0, 0,
     [](CCopyDlg& d, std::uintptr_t, std::intptr_t) -> std::intptr_t {
         d.OnPaint();
         return 0;
     }},
    {win::kWmQueryDragIcon, 0, 0,
     [](CCopyDlg& d, std::uintptr_t, std::intptr_t) { return d.OnQueryDragIcon(); }},
    {win::kWmNotify, IDC_DRIVES, win::kNmDblClk,
     [](CCopyDlg& d, std::uintptr_t, std::intptr_t l) {
         return Notify(d, l, &CCopyDlg::OnDblClkDrives);
     }},
    {win::kWmTimer, 0, 0,
     [](CCopyDlg& d, std::uintptr_t w, std::intptr_t) -> std::intptr_t {
         d.OnTimer(w);
         return 0;
     }},
    {win::kWmDestroy, 0, 0,
     [](CCopyDlg& d, std::uintptr_t, std::intptr_t) -> std::intptr_t {
         d.OnDestroy();
         return 0;
     }},
    {win::kWmCommand, win::kIdOk, 0,
     [](CCopyDlg& d, std::uintptr_t, std::intptr_t) -> std::intptr_t {
         d.OnOK();
         return 0;
     }},
    {win::kWmNotify, IDC_DRIVES, win::kNmRClick,
     [](CCopyDlg& d, std::uintptr_t, std::intptr_t l) {
         return Notify(d, l, &CCopyDlg::ShowDriveContextMenu);
     }},
    {win::kWmCommand, IDC_BROWSE, 0,
     [](CCopyDlg& d, std::uintptr_t, std::intptr_t) -> std::intptr_t {
         d.OnBrowse();
         return 0;
     }},
    {win::kWmDevModeChange, 0, 0,
     [](CCopyDlg& d, std::uintptr_t w, std::intptr_t l) -> std::intptr_t {
         d.OnDevModeChange(w, l);
         return 0;
     }},
    {win::kWmCommand, IDC_OPEN_TARGET, 0,
     [](CCopyDlg& d, std::uintptr_t, std::intptr_t) -> std::intptr_t {
         d.OnOpenTarget();
         return 0;
     }},
}};

bool Matches(const MessageMapEntry& entry, std::uint32_t message, std::uintptr_t wParam,
             std::intptr_t lParam) {
    if (entry.message != message) return false;
    switch (message) {
        case win::kWmCommand:  // command id in the low word, BN_CLICKED (0) in the high word
            return (wParam & 0xFFFF) == entry.id && ((wParam >> 16) & 0xFFFF) == 0;
        case win::kWmNotify: {
            const NotifyHeader* header = HeaderOf(lParam);
            return header && header->idFrom == entry.id &&
                   header->code == static_cast<std::uint32_t>(entry.code);
        }
        default:
            return true;
    }
}

}  // namespace

// UI thread only.
bool CCopyDlg::OnWndMsg(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam,
                        std::intptr_t* result) {
    if (AnswerAutoPlayQuery(*this, message, result)) return true;
    for (const MessageMapEntry& entry : kMessageMap) {
        if (Matches(entry, message, wParam, lParam)) {
            *result = entry.handler(*this, wParam, lParam);
            return true;
        }
    }
    return false;
}

}  // namespace dravolin
