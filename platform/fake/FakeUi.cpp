#include "platform/fake/FakeUi.h"

#include <stdexcept>
#include "platform/fake/Ascii.h"

namespace dravolin::fake {

namespace {

// Control identifiers of the dialog template.
constexpr int kDrivesControl = 1000;
constexpr int kTargetControl = 1002;

std::string NameOf(const Icon& icon) {
    const auto* named = dynamic_cast<const FakeIcon*>(&icon);
    return named != nullptr ? named->Name() : "?";
}

}  // namespace

// --- FakeDesktop ---

FakeDesktop::FakeDesktop(CallLog* log)
    : metrics{{win::kSmCxVScroll, 17}, {win::kSmCxIcon, 32}, {win::kSmCyIcon, 32}}, log_(log) {}

void FakeDesktop::InitCommonControls() {
    log_->Add("InitCommonControls");
}

int FakeDesktop::GetSystemMetrics(int index) const {
    auto it = metrics.find(index);
    return it == metrics.end() ? 0 : it->second;
}

std::uint32_t FakeDesktop::RegisterWindowMessage(const std::string& name) {
    log_->Add("RegisterWindowMessageA " + name);
    const auto next = static_cast<std::uint32_t>(0xC000 + messages_.size());
    return messages_.try_emplace(UpperAscii(name), next).first->second;
}

std::unique_ptr<ImageList> FakeDesktop::CreateImageList(int cx, int cy, std::uint32_t flags,
                                                        int initial, int grow) {
    log_->Add("ImageList_Create " + std::to_string(cx) + " " + std::to_string(cy) + " " +
              Hex(flags) + " " + std::to_string(initial) + " " + std::to_string(grow));
    auto list = std::make_unique<FakeImageList>("images" + std::to_string(imageLists.size()), cx,
                                                cy, flags, initial, grow, log_);
    imageLists.push_back(list.get());
    return list;
}

// --- FakeDialogWindow ---

FakeDialogWindow::FakeDialogWindow(CallLog* log) : list(log), combo(log), log_(log) {}

ListView& FakeDialogWindow::DriveList(int controlId) {
    if (controlId != kDrivesControl) {
        throw std::logic_error("no list view with id " + std::to_string(controlId));
    }
    return list;
}

ComboBoxEx& FakeDialogWindow::TargetCombo(int controlId) {
    if (controlId != kTargetControl) {
        throw std::logic_error("no combo box with id " + std::to_string(controlId));
    }
    return combo;
}

void FakeDialogWindow::SetIcon(const Icon& icon, bool big) {
    log_->Add(std::string("SetIcon ") + (big ? "big " : "small ") + NameOf(icon));
}

void FakeDialogWindow::UpdateWindow() {
    ++updates;
    log_->Add("UpdateWindow");
}

Point FakeDialogWindow::ScreenToClient(Point screen) const {
    return Point{screen.x - origin.x, screen.y - origin.y};
}

std::uint32_t FakeDialogWindow::SetTimer(std::uint32_t id, std::uint32_t milliseconds) {
    log_->Add("SetTimer " + std::to_string(id) + " " + std::to_string(milliseconds));
    if (failTimer) return 0;
    timers[id] = milliseconds;
    return id;
}

void FakeDialogWindow::KillTimer(std::uint32_t id) {
    log_->Add("KillTimer " + std::to_string(id));
    timers.erase(id);
}

void FakeDialogWindow::SetMsgResult(std::intptr_t result) {
    log_->Add("SetMsgResult " + std::to_string(result));
    msgResult = result;
}

std::intptr_t FakeDialogWindow::Default(std::uint32_t message, std::uintptr_t wParam,
                                        std::intptr_t lParam) {
    (void)wParam;
    (void)lParam;
    log_->Add("Default " + Hex(message));
    return 0;
}

void FakeDialogWindow::EraseIconBackground() {
    log_->Add("EraseIconBackground");
}

void FakeDialogWindow::DrawIcon(Point at, const Icon& icon) {
    log_->Add("DrawIcon " + std::to_string(at.x) + " " + std::to_string(at.y) + " " + NameOf(icon));
}

// --- Shell services ---

void FakeAutoComplete::Enable(WindowHandle edit, std::uint32_t flags) {
    log_->Add("SHAutoComplete " + Hex(edit) + " " + Hex(flags));
}

std::optional<std::string> FakeFolderPicker::Browse(const Request& request) {
    log_->Add("SHBrowseForFolderA " + Hex(request.owner) + " " + std::to_string(request.rootCsidl) +
              " " + Hex(request.flags) + " " + request.title);
    requests.push_back(request);
    if (during) during();
    return choice;
}

void FakeShellOpen::Open(WindowHandle owner, const std::string& file, int showCommand) {
    log_->Add("ShellExecuteA " + Hex(owner) + " " + file + " " + std::to_string(showCommand));
}

bool FakeShellContextMenu::Show(WindowHandle owner, const std::string& path, Point client) {
    log_->Add("ContextMenu " + Hex(owner) + " " + path + " " + std::to_string(client.x) + " " +
              std::to_string(client.y));
    if (during) during();
    return result;
}

}  // namespace dravolin::fake
