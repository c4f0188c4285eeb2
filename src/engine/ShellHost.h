#pragma once
// What the engine (a check, the delete command, the poll scheduler) asks of the window it runs
// in. The main window implements it; NullShellHost serves `--once` and the engine's tests.
#include "engine/MailCounts.h"
#include "engine/SoundRequest.h"

#include <QCoro/QCoroTask>
#include <QString>

namespace ormisk {

namespace TrayPicture {
constexpr int Idle = 0;
constexpr int Checking = 1;
constexpr int MailWaiting = 2;
constexpr int Suspended = 3;
} // namespace TrayPicture

class ShellHost {
public:
    virtual ~ShellHost() = default;
    // The monitoring state (conversation, poll cycle, suspension) changed: the menus follow it.
    virtual void applyMenus() = 0;
    virtual void setBusyPointer(bool busy) = 0;
    virtual void setCaption(const QString& caption) = 0;
    virtual void setTrayPicture(int picture) = 0;
    [[nodiscard]] virtual bool isMinimized() const = 0;
    [[nodiscard]] virtual bool isHiddenInTray() const = 0;
    virtual void restoreWindow() = 0; // back to its last normal or maximized state, shown if hidden
    virtual void focusTree() = 0;
    // Clears the tree's highlight, unless a dialog that shows the selection is open.
    virtual void hideSelection() = 0;
    virtual void showTimeLeft(const QString& text) = 0;
    // The new-mail window (or notice) telling of `newMail` new messages; and its refresh.
    virtual void openNewMailWindow(qint32 newMail) = 0;
    virtual void updateNewMailWindow(bool giveFocus, qint32 newMail) = 0;
    // True while the program's own new-mail window is open (a desktop notification is not one).
    [[nodiscard]] virtual bool newMailWindowShown() const = 0;
    // What the messages on display count, for the tray's tip: a poll cycle's counts replace
    // them (see ShowCheckedAsRead for the other checks).
    virtual void showMailCounts(const MailCounts& counts) = 0;
    [[nodiscard]] virtual MailCounts mailCounts() const = 0;
    // The sound routine; ends once the sound has started.
    virtual QCoro::Task<> playMessage(SoundRequest request) = 0;
};

class NullShellHost : public ShellHost {
public:
    void applyMenus() override { }
    void setBusyPointer(bool) override { }
    void setCaption(const QString& caption) override { this->caption = caption; }
    void setTrayPicture(int picture) override { trayPicture = picture; }
    [[nodiscard]] bool isMinimized() const override { return false; }
    [[nodiscard]] bool isHiddenInTray() const override { return false; }
    void restoreWindow() override { }
    void focusTree() override { }
    void hideSelection() override { }
    void showTimeLeft(const QString& text) override { timeLeft = text; }
    void openNewMailWindow(qint32) override { }
    void updateNewMailWindow(bool, qint32) override { }
    [[nodiscard]] bool newMailWindowShown() const override { return newMailShown; }
    void showMailCounts(const MailCounts& counts) override { shownCounts = counts; }
    [[nodiscard]] MailCounts mailCounts() const override { return shownCounts; }
    QCoro::Task<> playMessage(SoundRequest) override { co_return; }

    QString caption;
    QString timeLeft;
    int trayPicture = TrayPicture::Idle;
    bool newMailShown = false;
    MailCounts shownCounts;
};

// A check other than a poll cycle's ("Update Now", an account the user just added or changed):
// its waiting messages add to those shown, and what it showed counts as read, so none is new.
inline void ShowCheckedAsRead(ShellHost& host, const MailCounts& counts)
{
    MailCounts shown = host.mailCounts();
    shown.waiting += counts.waiting;
    shown.newMail = 0;
    host.showMailCounts(shown);
}

} // namespace ormisk
