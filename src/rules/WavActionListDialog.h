#pragma once
// The sound rule list (form AdvWAV). Every add, modify and delete changes state.wavActions and
// rewrites the "Actions" section at once; Exit only closes.
#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class AdvWAV;
}

namespace ormisk {

struct AppState;
class SettingsStore;
class DialogService;

class WavActionListDialog : public QDialog {
    Q_OBJECT
public:
    // `playMessage` is handed to the add/modify dialog for its "Test WAV" button.
    WavActionListDialog(AppState& state, SettingsStore& store, DialogService& dialogs,
        std::function<void()> playMessage, QWidget* parent = nullptr);
    ~WavActionListDialog() override;

    void UpdateActionButtons();
    void SaveWavActions();

private:
    void addAction();
    void modifyAction();
    void deleteAction();
    // Shows the add/modify dialog over this one; true when it was confirmed.
    bool editCurrentAction();

    AppState& m_state;
    SettingsStore& m_store;
    DialogService& m_dialogs;
    std::function<void()> m_playMessage;
    std::unique_ptr<Ui::AdvWAV> ui;
};

} // namespace ormisk
