#pragma once
// Enabled and visible flags of every menu entry, and those that follow from the monitoring state:
// a conversation with a server disables the four top-level menus, a poll cycle "Update Now", and
// suspension swaps "Suspend" for "Resume". The main window adds the entries that follow its
// selection and applies the result to its QActions whenever it is told something changed.

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

// What the menus of the monitoring state follow; the scheduler reports it.
struct MonitoringState {
    bool inConversation = false; // a check or a delete command talks to a server
    bool pollCycleRunning = false; // "Update Now" stays off until the cycle ends
    bool suspended = false;
};

[[nodiscard]] constexpr MenuState MonitoringMenus(const MonitoringState& monitoring)
{
    MenuState m;
    const bool free = !monitoring.inConversation;
    m.mnuMonitoring.enabled = free;
    m.mnuAccounts.enabled = free;
    m.mnuMessages.enabled = free;
    m.mnuHelp.enabled = free;
    m.mnuUpdateNow.enabled = !monitoring.suspended && !monitoring.pollCycleRunning;
    m.mnuSuspend = { !monitoring.suspended, !monitoring.suspended };
    m.mnuResume = { monitoring.suspended, monitoring.suspended };
    return m;
}

} // namespace ormisk
