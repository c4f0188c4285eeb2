#pragma once
// "&Options...", "Message &Filtering..." and "&Log File...": each opens its dialog over the main
// window, then keeps and saves what the dialog hands back. The sound rules open from the options
// dialog. Pausing the countdown and hiding the selection afterwards are the window's business,
// as for every command that opens a dialog.
#include <QString>

#include <functional>

class QWidget;

namespace ormisk {

class AccountController;
class DialogService;
class SettingsStore;
struct AppState;
struct SoundTrial;

class SettingsCommands {
public:
    // What the commands need of the main window.
    struct Window {
        QWidget* widget;
        // Holds the tree's highlight while the options dialog is open.
        AccountController& accounts;
        // The sound routine, playing what the running sound settings name.
        std::function<void()> playMessage;
        // Accepted options: the check period and the tray mode take effect.
        std::function<void()> optionsApplied;
    };

    SettingsCommands(AppState& state, SettingsStore& store, DialogService& dialogs, Window window);

    void editOptions();
    void editFilters();
    void editLogSettings();

private:
    void editSoundRules();
    // A dialog's "Test": plays its choice without changing what the program plays.
    void playTrial(const SoundTrial& trial);

    AppState& m_state;
    SettingsStore& m_store;
    DialogService& m_dialogs;
    Window m_window;
};

} // namespace ormisk
