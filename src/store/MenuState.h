#pragma once
// Enabled and visible flags of every menu entry. The engine decides those of the monitoring state
// (a check disables the four top-level menus, the scheduler follows suspension and its cycle);
// the main window adds those that follow its selection and applies them all to its QActions
// whenever it is told they changed.

namespace ormisk {

struct MenuEntry {
    bool enabled = true;
    bool visible = true;
};

struct MenuState {
    MenuEntry mnuMonitoring, mnuUpdateNow, mnuSuspend, mnuResume { false, false }, mnuOptions, mnuExit;
    MenuEntry mnuAccounts, mnuNewAccount, mnuModifyAccount, mnuDeleteAccount;
    MenuEntry mnuMessages, mnuDeleteMessage, mnuProperties, mnuFilter, mnuLogFile;
    MenuEntry mnuHelp, mnuHelpContents, mnuAbout;
};

} // namespace ormisk
