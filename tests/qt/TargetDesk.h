#pragma once
// The target folder's tests: the Qt front end on the fake machine, with the Linux folder
// preparation (real folders on disk), Qt's folder picker and Qt's open in place of the fakes.
#include <stdlib.h>
#include <sys/stat.h>
#include <QLineEdit>
#include <QtTest>
#include <algorithm>
#include <filesystem>
#include <functional>
#include "engine/DriveList.h"
#include "platform/linux/paths/LinuxPathPreparer.h"
#include "platform/linux/QuietServices.h"
#include "platform/qt/QtPathPreparer.h"
#include "tests/qt/QtTestPlatform.h"

namespace dravolin::qt::test {

inline constexpr const char* kHistoryStore = "Software\\Dravolin";

// Points $HOME elsewhere for the life of the object.
class HomeAt {
  public:
    explicit HomeAt(const QString& home)
        : old_(qgetenv("HOME")), had_(qEnvironmentVariableIsSet("HOME")) {
        qputenv("HOME", QFile::encodeName(home));
    }
    ~HomeAt() {
        if (had_) {
            qputenv("HOME", old_);
        } else {
            qunsetenv("HOME");
        }
    }
    HomeAt(const HomeAt&) = delete;
    HomeAt& operator=(const HomeAt&) = delete;

  private:
    QByteArray old_;
    bool had_;
};

inline bool IsFolder(const QByteArray& path) {
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

inline QByteArray Bytes(const QString& path) {
    return path.toUtf8();
}

// A fresh folder, removed with everything in it. Qt's QTemporaryDir cannot remove a name that
// is not UTF-8, nor can QDir list one.
class TempFolder {
  public:
    TempFolder() {
        QByteArray name = QFile::encodeName(QDir::tempPath()) + "/dravolin-XXXXXX";
        if (::mkdtemp(name.data())) path_ = QFile::decodeName(name);
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.isEmpty()) std::filesystem::remove_all(path_.toStdString(), ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const QString& path() const { return path_; }
    QString filePath(const QString& name) const { return path_ + QLatin1Char('/') + name; }

  private:
    QString path_;
};

// Every name below `root` as raw bytes, relative and sorted.
inline QByteArrayList Tree(const QString& root) {
    QByteArrayList names;
    const std::filesystem::path base = root.toStdString();
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(base, error)) {
        names << QByteArray::fromStdString(entry.path().lexically_relative(base).native());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The Qt front end on the fake machine, with the Linux folder preparation (folders on disk),
// Qt's folder picker and open in place of the fakes. The picker's dialog is given by the test:
// Qt's own dialog cannot show a name that is not UTF-8.
struct Desk {
    explicit Desk(Language language = Language::English, QtFolderPicker::Chooser chooser = {})
        : machine(language),
          preparer(folders, language),
          picker(std::move(chooser)),
          platform{machine.desktop,
                   machine.host,
                   machine.resources,
                   *machine.fakes.machine,
                   machine.shellInfo,
                   machine.registry,
                   preparer,
                   codePage,
                   machine.fakes.autoComplete,
                   picker,
                   shellOpen,
                   machine.fakes.contextMenu,
                   machine.threads,
                   machine.fakes.Get().workers} {}

    // Runs the dialog modally; `whileOpen` acts on it once its loop runs.
    void Run(const std::function<void(QtDialog&, CCopyDlg&)>& whileOpen) {
        CCopyDlg dialog(platform);
        QTimer::singleShot(0, [this, whileOpen, &dialog] {
            QtDialog* window = machine.host.Current();
            if (!window) return;
            whileOpen(*window, dialog);
            if (machine.host.Current() == window && window->isVisible()) window->done(0);
        });
        dialog.DoModal();
    }

    void Store(int index, const QByteArray& text) {
        machine.fakes.registry.SetValue(
            win::RootKey::CurrentUser, kHistoryStore,
            QStringLiteral("Destination%1").arg(index, 2, 10, QLatin1Char('0')).toStdString(),
            win::kRegSz, text.toStdString());
    }
    // The bytes of a stored value, "<missing>" for none.
    QByteArray Stored(int index) {
        const Registry::Value value = machine.fakes.registry.GetValue(
            win::RootKey::CurrentUser, kHistoryStore,
            QStringLiteral("Destination%1").arg(index, 2, 10, QLatin1Char('0')).toStdString(), 260);
        if (value.result != win::kErrorSuccess) return "<missing>";
        return QByteArray::fromStdString(value.data);
    }

    // Puts a disc into drive E and runs its cycle until the disc is taken: the target prepared
    // and the copy started, or the drive unticked.
    void TakeDisc(CCopyDlg& core) {
        DriveEntry& entry = *core.m_entries.at(0);
        const std::uint32_t serial = ++discs;
        machine.fakes.machine->WithDrive('E', [&](fake::FakeDrive& drive) {
            drive.trayOpen = false;
            drive.disc = fake::FakeDisc{"DISC", serial, {{"a.txt", "a"}}, {}};
        });
        for (int pass = 0; pass < 8; ++pass) {
            const DriveState before = entry.state;
            core.OnTimer(core.m_nTimer);
            machine.fakes.threads.FinishAll();
            if (before == Waiting && (entry.state == Copying || !IsChecked(*core.m_wndDrives, 0))) {
                return;
            }
            // The eject opened the tray: the next disc goes in.
            machine.fakes.machine->WithDrive('E', [&](fake::FakeDrive& drive) {
                if (drive.trayOpen) {
                    drive.trayOpen = false;
                    drive.disc = fake::FakeDisc{"DISC", serial, {{"a.txt", "a"}}, {}};
                }
            });
        }
        QFAIL("the disc was never taken");
    }

    QtTestPlatform machine;
    lnx::LinuxPathPreparer folders;
    QtPathPreparer preparer;
    lnx::Utf8CodePage codePage;
    QtFolderPicker picker;
    QtShellOpen shellOpen;
    Platform platform;
    std::uint32_t discs = 0;
};

// Ticks drive E; the dialog's own timer is stopped, the test runs the poll.
inline void TickDriveE(QtDialog& window, CCopyDlg& core) {
    window.KillTimer(core.m_nTimer);
    window.DriveTree().topLevelItem(0)->setCheckState(0, Qt::Checked);
}

inline void Type(QLineEdit& edit, const QString& text) {
    edit.setFocus();
    edit.end(false);
    QTest::keyClicks(&edit, text);
}

}  // namespace dravolin::qt::test
