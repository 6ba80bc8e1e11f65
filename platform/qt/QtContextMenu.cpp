#include "platform/qt/QtContextMenu.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QObject>
#include <QUrl>
#include "platform/qt/QtShellInfo.h"
#include "platform/qt/texts/Translation.h"
#include "platform/qt/WidgetHandles.h"

namespace dravolin::qt {

namespace {

struct MenuTexts {
    QString open;
    QString eject;
    QString closeTray;
    QString mount;
    QString unmount;
};

MenuTexts LoadMenuTexts(const Translation& texts) {
    return {texts.Text("menu.open"), texts.Text("menu.eject"), texts.Text("menu.closeTray"),
            texts.Text("menu.mount"), texts.Text("menu.unmount")};
}

// UI thread only.
void OpenFolder(const std::string& folder) {
    if (!folder.empty()) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
    }
}

}  // namespace

QtContextMenu::QtContextMenu(DriveActions& actions, Threads& threads, Language language)
    : actions_(actions),
      threads_(threads),
      language_(language),
      context_(std::make_unique<QObject>()) {}

QtContextMenu::~QtContextMenu() {
    // Commands whose end never reached the UI thread (the program is ending) still hold the
    // cursor.
    for (; running_ > 0; --running_) QApplication::restoreOverrideCursor();
}

// UI thread only.
bool QtContextMenu::Start(Command command) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++running_;
    auto job = [this, command = std::move(command)]() -> std::uint32_t {
        std::function<void()> then = command();
        QMetaObject::invokeMethod(
            context_.get(),
            [this, then = std::move(then)] {
                --running_;
                QApplication::restoreOverrideCursor();
                if (then) then();
            },
            Qt::QueuedConnection);
        return 0;
    };
    if (threads_.Create(std::move(job))) return true;
    --running_;
    QApplication::restoreOverrideCursor();
    return false;
}

// UI thread only.
bool QtContextMenu::Show(WindowHandle owner, const std::string& path, Point client) {
    QWidget* window = WidgetOf(owner);
    if (!window || !QtShellInfo::IsDriveRoot(path)) return false;
    const char letter = path[0];
    const MenuTexts& texts = LoadedTexts<MenuTexts, LoadMenuTexts>(language_);

    QMenu menu(window);
    QAction* open = menu.addAction(texts.open);
    menu.setDefaultAction(open);
    menu.addSeparator();
    QAction* tray = menu.addAction(QString());
    QAction* mount = menu.addAction(QString());
    // The state the labels show; the chosen command acts on what its label said.
    DriveActions::State state;
    auto label = [&] {
        state = actions_.Known(letter);
        const bool mounted = !state.mountFolder.empty();
        open->setEnabled(mounted || state.hasDisc);
        tray->setText(state.trayOpen ? texts.closeTray : texts.eject);
        mount->setText(mounted ? texts.unmount : texts.mount);
        mount->setEnabled(mounted || state.hasDisc);
    };
    label();
    // What the drive says now follows while the menu is open.
    const std::uint64_t shown = ++menus_;
    relabel_ = label;
    actions_.Refresh(letter, [this, shown] {
        QMetaObject::invokeMethod(
            context_.get(),
            [this, shown] {
                if (shown == menus_ && relabel_) relabel_();
            },
            Qt::QueuedConnection);
    });
    QAction* chosen = menu.exec(window->mapToGlobal(QPoint(client.x, client.y)));
    relabel_ = nullptr;

    const bool mounted = !state.mountFolder.empty();
    if (chosen == open) {
        if (mounted) {
            OpenFolder(state.mountFolder);
            return true;
        }
        return Start([this, letter] {
            const std::string folder = actions_.Mount(letter);
            return std::function<void()>([folder] { OpenFolder(folder); });
        });
    }
    if (chosen == tray) {
        return Start([this, letter, close = state.trayOpen] {
            if (close) {
                actions_.CloseTray(letter);
            } else {
                actions_.Eject(letter);
            }
            return std::function<void()>();
        });
    }
    if (chosen == mount) {
        return Start([this, letter, mounted] {
            if (mounted) {
                actions_.Unmount(letter);
            } else {
                actions_.Mount(letter);
            }
            return std::function<void()>();
        });
    }
    return false;
}

}  // namespace dravolin::qt
