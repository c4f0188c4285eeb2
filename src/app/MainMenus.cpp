#include "app/MainMenus.h"

#include "store/MenuState.h"
#include "tree/Selection.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace ormisk {

namespace {

QAction* entry(QMenu* menu, const char* name, const QString& caption, const QKeySequence& shortcut = {})
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    if (!shortcut.isEmpty()) {
        action->setShortcut(shortcut);
        // Shortcuts keep working while the menu bar is hidden behind a dialog-free window.
        action->setShortcutContext(Qt::WindowShortcut);
    }
    return action;
}

QMenu* topMenu(QMenuBar* bar, const char* name, const QString& caption)
{
    QMenu* menu = bar->addMenu(caption);
    menu->setObjectName(QLatin1String(name));
    return menu;
}

void set(QAction* action, const MenuEntry& e)
{
    action->setEnabled(e.enabled);
    action->setVisible(e.visible);
}

void set(QMenu* menu, const MenuEntry& e)
{
    menu->setEnabled(e.enabled);
    menu->menuAction()->setEnabled(e.enabled);
    menu->menuAction()->setVisible(e.visible);
}

} // namespace

MenuState ShownMenus(const MonitoringState& monitoring, const Selection& selection)
{
    MenuState shown = MonitoringMenus(monitoring);
    shown.mnuModifyAccount.enabled = selection.account != 0;
    shown.mnuDeleteAccount.enabled = selection.account != 0;
    shown.mnuProperties.enabled = selection.message != 0;
    shown.mnuDeleteMessage.enabled = selection.message != 0 && !monitoring.suspended;
    return shown;
}

void MainMenus::build(QMenuBar* bar)
{
    mnuMonitoring = topMenu(bar, "mnuMonitoring", QStringLiteral("M&onitoring"));
    mnuUpdateNow
        = entry(mnuMonitoring, "mnuUpdateNow", QStringLiteral("&Update Now"), QKeySequence(QStringLiteral("Ctrl+U")));
    mnuSuspend = entry(mnuMonitoring, "mnuSuspend", QStringLiteral("&Suspend"), QKeySequence(QStringLiteral("Ctrl+S")));
    mnuResume = entry(mnuMonitoring, "mnuResume", QStringLiteral("&Resume"), QKeySequence(QStringLiteral("Ctrl+R")));
    mnuMonitoring->addSeparator()->setObjectName(QStringLiteral("mnusep1"));
    mnuOptions
        = entry(mnuMonitoring, "mnuOptions", QStringLiteral("&Options..."), QKeySequence(QStringLiteral("Ctrl+O")));
    mnuExit = entry(mnuMonitoring, "mnuExit", QStringLiteral("E&xit"), QKeySequence(QStringLiteral("Ctrl+X")));

    mnuAccounts = topMenu(bar, "mnuAccounts", QStringLiteral("&Accounts"));
    mnuNewAccount
        = entry(mnuAccounts, "mnuNewAccount", QStringLiteral("&Add Account"), QKeySequence(QStringLiteral("Ctrl+A")));
    mnuModifyAccount = entry(
        mnuAccounts, "mnuModifyAccount", QStringLiteral("&Modify Account"), QKeySequence(QStringLiteral("Ctrl+M")));
    mnuDeleteAccount = entry(mnuAccounts, "mnuDeleteAccount", QStringLiteral("&Delete Account"));

    mnuMessages = topMenu(bar, "mnuMessages", QStringLiteral("&Messages"));
    mnuDeleteMessage = entry(
        mnuMessages, "mnuDeleteMessage", QStringLiteral("&Delete Message"), QKeySequence(QStringLiteral("Ctrl+D")));
    mnuProperties
        = entry(mnuMessages, "mnuProperties", QStringLiteral("&Properties"), QKeySequence(QStringLiteral("Ctrl+P")));
    mnuMessages->addSeparator()->setObjectName(QStringLiteral("mnusep2"));
    mnuFilter = entry(
        mnuMessages, "mnuFilter", QStringLiteral("Message &Filtering..."), QKeySequence(QStringLiteral("Ctrl+F")));
    mnuLogFile
        = entry(mnuMessages, "mnuLogFile", QStringLiteral("&Log File..."), QKeySequence(QStringLiteral("Ctrl+L")));

    mnuHelp = topMenu(bar, "mnuHelp", QStringLiteral("&Help"));
    mnuHelpContents = entry(mnuHelp, "mnuHelpContents", QStringLiteral("&Contents"));
    mnuAbout = entry(mnuHelp, "mnuAbout", QStringLiteral("&About Ormisk"));
}

void MainMenus::apply(const MenuState& s) const
{
    set(mnuMonitoring, s.mnuMonitoring);
    set(mnuUpdateNow, s.mnuUpdateNow);
    set(mnuSuspend, s.mnuSuspend);
    set(mnuResume, s.mnuResume);
    set(mnuOptions, s.mnuOptions);
    set(mnuExit, s.mnuExit);
    set(mnuAccounts, s.mnuAccounts);
    set(mnuNewAccount, s.mnuNewAccount);
    set(mnuModifyAccount, s.mnuModifyAccount);
    set(mnuDeleteAccount, s.mnuDeleteAccount);
    set(mnuMessages, s.mnuMessages);
    set(mnuDeleteMessage, s.mnuDeleteMessage);
    set(mnuProperties, s.mnuProperties);
    set(mnuFilter, s.mnuFilter);
    set(mnuLogFile, s.mnuLogFile);
    set(mnuHelp, s.mnuHelp);
    set(mnuHelpContents, s.mnuHelpContents);
    set(mnuAbout, s.mnuAbout);
}

} // namespace ormisk
