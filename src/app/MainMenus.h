#pragma once
// The main window's menu bar: every entry with its caption, shortcut and object name, the menu
// state it shows, and the mirroring of that state onto the actions.
#include <QHash>
#include <QString>

class QAction;
class QMenu;
class QMenuBar;
class QObject;

namespace ormisk {

struct MenuState;
struct MonitoringState;
struct Selection;

// The menus as shown, computed here alone: those of the monitoring state (MonitoringMenus), with
// "&Modify Account" and "&Delete Account" enabled exactly when an account is selected,
// "&Properties" when a live message is, and "&Delete Message" too unless monitoring is suspended.
[[nodiscard]] MenuState ShownMenus(const MonitoringState& monitoring, const Selection& selection);

struct MainMenus {
    QMenu* mnuMonitoring = nullptr;
    QAction* mnuUpdateNow = nullptr;
    QAction* mnuSuspend = nullptr;
    QAction* mnuResume = nullptr;
    QAction* mnuOptions = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuAccounts = nullptr;
    QAction* mnuNewAccount = nullptr;
    QAction* mnuModifyAccount = nullptr;
    QAction* mnuDeleteAccount = nullptr;
    QMenu* mnuMessages = nullptr;
    QAction* mnuDeleteMessage = nullptr;
    QAction* mnuProperties = nullptr;
    QAction* mnuFilter = nullptr;
    QAction* mnuLogFile = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpContents = nullptr;
    QAction* mnuAbout = nullptr;

    // Fills `bar` with the four menus in order.
    void build(QMenuBar* bar);
    // Applies enabled and visible flags to every entry.
    void apply(const MenuState& state) const;
};

} // namespace ormisk
