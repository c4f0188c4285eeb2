#pragma once
// Enabled and visible flags of every menu entry. The engine decides them (a check disables the
// four top-level menus, the scheduler follows the selection and suspension); the main window
// mirrors them onto its QActions whenever it is told they changed.

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
