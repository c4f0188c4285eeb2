#pragma once
// Adds or modifies one sound rule (form AdvAction). Works on state.CurrentWavAction as the filter
// editor works on CurrentFilter, plus the WAV file: picked with the file-open dialog and playable
// at once with "Test WAV".
#include "rules/RuleControls.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class AdvAction;
}

namespace ormisk {

struct AppState;
class SettingsStore;
class DialogService;

class WavActionEditDialog : public QDialog {
    Q_OBJECT
public:
    // `playMessage` plays the sound the running program's settings name (the main window's
    // PlayMessage); "Test WAV" points those settings at this dialog's file for the one call.
    WavActionEditDialog(AppState& state, SettingsStore& store, DialogService& dialogs,
        std::function<void()> playMessage, QWidget* parent = nullptr);
    ~WavActionEditDialog() override;

    void UpdateActionControls();

private:
    void selectWavFile();
    void testWav();
    void confirm();

    AppState& m_state;
    DialogService& m_dialogs;
    std::function<void()> m_playMessage;
    std::unique_ptr<Ui::AdvAction> ui;
    RuleControls m_rule;
};

} // namespace ormisk
