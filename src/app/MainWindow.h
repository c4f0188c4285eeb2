#pragma once
// The main window: a coordinator. It owns the long-lived objects, lays out the tree and the
// countdown box, wires every menu entry to its command, and implements what the engine asks of
// a window (ShellHost). The rules themselves live in the engine, the store and the dialogs.
#include "app/MainMenus.h"
#include "engine/ShellHost.h"
#include "pop/Clock.h"
#include "store/Profile.h"

#include "app/NewMailWindow.h"

#include <QCoroTask>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class QLineEdit;

namespace ormisk {

struct AppState;
class AccountController;
class AccountTree;
class DesktopNotifier;
class WakeWatcher;
class SettingsCommands;
class DialogService;
class MailEngine;
class PulseSoundPlayer;
class SoundRoutine;
class TrayIcon;
class PollScheduler;
class PopClient;
class SettingsStore;
class Keyring;

class MainWindow : public QMainWindow, public ShellHost {
    Q_OBJECT
public:
    // The countdown takes its timer from `clock`.
    MainWindow(AppState& state, SettingsStore& store, const Profile& profile, DialogService& dialogs,
        Clock& clock = Clock::system(), QWidget* parent = nullptr);
    ~MainWindow() override;

    // The start-up sequence; call once, after the single-instance check passed.
    void startUp();
    // The keyring passwords move into and are read from; without one (tests) they stay in the
    // settings file. Set before startUp().
    void setKeyring(const Keyring* keyring);
    // Asks the window to close; returns true if it did (a running POP conversation refuses).
    bool requestClose();

    [[nodiscard]] AccountTree* tree() const { return m_tree; }
    [[nodiscard]] QLineEdit* timeLeftBox() const { return m_timeLeft; }
    [[nodiscard]] const MainMenus& menus() const { return m_menus; }
    [[nodiscard]] MailEngine& engine() const { return *m_engine; }
    [[nodiscard]] PollScheduler& scheduler() const { return *m_scheduler; }
    [[nodiscard]] PopClient& pop() const { return *m_pop; }
    [[nodiscard]] TrayIcon& trayIcon() const { return *m_tray; }
    [[nodiscard]] NewMailWindow* newMailWindow() const { return m_newMail; }
    [[nodiscard]] AccountController& accounts() const { return *m_accounts; }
    // The network came back or the machine woke: a poll cycle follows when this fires.
    [[nodiscard]] WakeWatcher& wakeWatcher() const { return *m_wake; }
    [[nodiscard]] QTimer& wakeCheck() { return m_wakeCheck; }
    // Whether the window comes back from minimized or hidden as maximized.
    [[nodiscard]] bool restoresMaximized() const { return m_restoreMaximized; }

    // Twips (1/1440 inch) per screen pixel, horizontally and vertically.
    [[nodiscard]] double twipsPerPixelX() const;
    [[nodiscard]] double twipsPerPixelY() const;
    void SaveWindowGeometry();

    // The user guide: beside the binary (`appDir`) in a build tree, else in
    // <appDir>/../share/ormisk/help where an installation puts it.
    [[nodiscard]] static QString helpFile(const QString& appDir);
    // Opens the guide `file` with the desktop; says what failed, and where the guide is, if not.
    void showHelp(const QString& file);

    // ShellHost
    void applyMenus() override;
    void setBusyPointer(bool busy) override;
    void setCaption(const QString& caption) override;
    void setTrayPicture(int picture) override;
    [[nodiscard]] bool isMinimized() const override;
    [[nodiscard]] bool isHiddenInTray() const override;
    void restoreWindow() override;
    void focusTree() override;
    void hideSelection() override;
    void showTimeLeft(const QString& text) override;
    void openNewMailWindow(qint32 newMail) override;
    void updateNewMailWindow(bool giveFocus, qint32 newMail) override;
    [[nodiscard]] bool newMailWindowShown() const override;
    void showMailCounts(const MailCounts& counts) override { m_mailCounts = counts; }
    [[nodiscard]] MailCounts mailCounts() const override { return m_mailCounts; }
    QCoro::Task<> playMessage(SoundRequest request) override;

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void onResize();
    void placeTimeLeftBox();
    void restoreGeometryFromStore();
    void wireMenus();
    void wireTree();
    // A mouse button (or the context-menu key) on a node: the selection rules, then the pop-up.
    void onNodePressed(const QString& key, bool rightButton, const QPoint& at);
    // Runs a menu command unless its entry is disabled or a check runs: shortcuts of a disabled
    // menu's entries would otherwise still fire.
    void whenEnabled(QAction* action, const std::function<void()>& command);
    // Runs a command that opens a modal dialog with the countdown paused, then hides the selection.
    void runDialogCommand(const std::function<void()>& command);
    void openOptions();
    void openProperties();
    // A left click on the tray icon or "View Mail": back from minimized or hidden, with the focus.
    void bringBack();
    // "Ormisk", then the counts of the last check and the time of the next one.
    void updateTrayTip();
    void checkAfterWake();
    // Tray and new-mail window; no-ops until those pieces are attached.
    void setTrayIconShown(bool shown);
    // Shows the window when it is hidden and no tray icon leads back to it.
    void keepReachable();
    [[nodiscard]] bool trayAvailable() const;
    void closeNewMailWindow();
    void openOwnNewMailWindow(qint32 newMail);
    // Made when first needed: without the option, the program never touches the session bus.
    DesktopNotifier& notifier();
    void showAbout();
    // Start-up's last step: the passwords settled between file and keyring, then the countdown.
    QCoro::Task<> settlePasswordsThenStart();

    AppState& m_state;
    SettingsStore& m_store;
    Profile m_profile;
    DialogService& m_dialogs;
    AccountTree* m_tree = nullptr;
    QLineEdit* m_timeLeft = nullptr;
    MainMenus m_menus;
    std::unique_ptr<PopClient> m_pop;
    std::unique_ptr<MailEngine> m_engine;
    std::unique_ptr<PollScheduler> m_scheduler;
    std::unique_ptr<AccountController> m_accounts;
    std::unique_ptr<SettingsCommands> m_settings;
    std::unique_ptr<PulseSoundPlayer> m_player;
    std::unique_ptr<SoundRoutine> m_sound;
    std::unique_ptr<TrayIcon> m_tray;
    QPointer<NewMailWindow> m_newMail;
    const Keyring* m_keyring = nullptr;
    std::unique_ptr<DesktopNotifier> m_notifier;
    std::unique_ptr<WakeWatcher> m_wake;
    // A few seconds' grace after a wake-up or the network's return: the network needs a moment,
    // and several reports in a row make one check.
    QTimer m_wakeCheck;
    // What the messages on display count (the tray's tip; the own window when a notice fails).
    MailCounts m_mailCounts;
    bool m_startingUp = false;
    bool m_restoreMaximized = false;
};

} // namespace ormisk
