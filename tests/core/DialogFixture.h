#pragma once
// A main dialog on the fake platform, initialised the way the dialog host does it, with
// shortcuts to the drive rows, the machine and the poll. Tests add drives before Open().
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include "app/CopyDlg.h"
#include "engine/CopyCycle.h"
#include "engine/DriveEntry.h"
#include "platform/fake/FakePlatform.h"

namespace dravolin::test {

inline constexpr const char* kStatusIdle = " ";
inline constexpr const char* kStatusEjecting = "Disc ejecting";
inline constexpr const char* kStatusWaiting = "Waiting for new disc";
inline constexpr const char* kStatusCopying = "Disc copying";

inline fake::FakeDisc Disc(std::string label, std::uint32_t serial,
                           std::map<std::string, std::string> files = {}) {
    fake::FakeDisc disc;
    disc.label = std::move(label);
    disc.serial = serial;
    disc.files = std::move(files);
    return disc;
}

class DialogFixture {
  public:
    // `threads` replaces the fake step-by-step threads (for tests that run real workers).
    explicit DialogFixture(
        fake::FakeResources::Language language = fake::FakeResources::Language::English,
        Threads* threads = nullptr)
        : fake(language), platform(Rewire(fake.Get(), threads)), dialog(platform) {}
    // A dialog started in archive mode (or not, as `archive` says).
    explicit DialogFixture(ArchiveOptions archive)
        : platform(Rewire(fake.Get(), nullptr)), dialog(platform, std::move(archive)) {}
    // An opened dialog is torn down as the host would: workers still recorded are stopped and
    // the records freed.
    ~DialogFixture() {
        if (opened_) dialog.OnDestroy();
    }
    DialogFixture(const DialogFixture&) = delete;
    DialogFixture& operator=(const DialogFixture&) = delete;

    // Attaches the window and runs the dialog's initialisation; the log starts empty after it.
    void Open() {
        dialog.Attach(fake.window);
        dialog.OnInitDialog();
        opened_ = true;
        fake.log.Clear();
    }

    // A dialog with the given CD drives, a writable C: and "C:\\Copies" in the combo box.
    void OpenWithDrives(const std::string& letters) {
        for (char letter : letters) Machine().AddDrive(letter);
        Machine().AddVolume('C');
        Open();
        SetTarget("C:\\Copies");
    }

    // Tears the dialog down now, as the host does when it closes (WM_DESTROY).
    void Close() {
        std::intptr_t result = 0;
        dialog.OnWndMsg(win::kWmDestroy, 0, 0, &result);
        opened_ = false;
    }

    void Poll() { PollDrives(dialog); }
    // One poll interval in which every pending worker ran to its end, then the tick.
    void WorkersThenPoll() {
        fake.threads.FinishAll();
        Poll();
    }

    fake::FakeListView& List() { return fake.window.list; }
    fake::FakeMachine& Machine() { return *fake.machine; }
    DriveEntry& Entry(int row) { return *List().Rows().at(row).param; }
    const std::string& Status(int row) { return List().Rows().at(row).status; }
    const std::string& Label(int row) { return List().Rows().at(row).text; }
    void Tick(int row, bool ticked = true) { List().Tick(row, ticked); }
    void SetTarget(const std::string& text) { fake.window.combo.SetWindowText(text); }
    int ThreadCount() const { return fake.threads.Count(); }

    fake::FakePlatform fake;
    Platform platform;  // the fake's services, possibly with other threads
    CCopyDlg dialog;

  private:
    bool opened_ = false;

    static Platform Rewire(Platform& base, Threads* threads) {
        return Platform{base.desktop,
                        base.host,
                        base.resources,
                        base.volumes,
                        base.shellInfo,
                        base.registry,
                        base.preparer,
                        base.codePage,
                        base.autoComplete,
                        base.folderPicker,
                        base.shellOpen,
                        base.contextMenu,
                        threads ? *threads : base.threads,
                        base.workers};
    }
};

}  // namespace dravolin::test
