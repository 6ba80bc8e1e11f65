#include "platform/qt/QtContextMenu.h"

#include <QDesktopServices>
#include <QMenu>
#include <QUrl>
#include <functional>
#include <map>
#include "platform/qt/QtShellInfo.h"
#include "platform/qt/WidgetHandles.h"

namespace dravolin::qt {

namespace {

struct MenuTexts {
    const char* open;
    const char* eject;
    const char* closeTray;
    const char* mount;
    const char* unmount;
};

constexpr MenuTexts kEnglish{"&Open", "&Eject", "&Close Tray", "&Mount", "&Unmount"};
constexpr MenuTexts kRussian{"&Открыть", "&Извлечь", "&Закрыть лоток", "&Подключить", "&Отключить"};

}  // namespace

bool QtContextMenu::Show(WindowHandle owner, const std::string& path, Point client) {
    QWidget* window = WidgetOf(owner);
    if (!window || !QtShellInfo::IsDriveRoot(path)) return false;
    const char letter = path[0];
    const MenuTexts& texts = language_ == Language::Russian ? kRussian : kEnglish;

    const std::string folder = actions_.MountFolder(letter);
    const bool trayOpen = actions_.TrayOpen(letter);
    const bool hasDisc = actions_.HasDisc(letter);

    QMenu menu(window);
    std::map<QAction*, std::function<bool()>> commands;
    QAction* open = menu.addAction(QString::fromUtf8(texts.open));
    open->setEnabled(!folder.empty());
    menu.setDefaultAction(open);
    commands[open] = [folder] {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
    };
    menu.addSeparator();
    QAction* tray = menu.addAction(QString::fromUtf8(trayOpen ? texts.closeTray : texts.eject));
    commands[tray] = [this, letter, trayOpen] {
        return trayOpen ? actions_.CloseTray(letter) : actions_.Eject(letter);
    };
    QAction* mount =
        menu.addAction(QString::fromUtf8(folder.empty() ? texts.mount : texts.unmount));
    mount->setEnabled(!folder.empty() || hasDisc);
    commands[mount] = [this, letter, mounted = !folder.empty()] {
        return mounted ? actions_.Unmount(letter) : actions_.Mount(letter);
    };

    QAction* chosen = menu.exec(window->mapToGlobal(QPoint(client.x, client.y)));
    auto it = commands.find(chosen);
    return it != commands.end() && it->second();
}

}  // namespace dravolin::qt
