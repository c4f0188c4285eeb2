#pragma once
// The mail log settings: the folder of the log files, logging off, one master log. Saves its three
// settings itself on "&OK"; the countdown is not touched.
#include <QDialog>

#include <memory>

namespace Ui {
class Logs;
}

namespace ormisk {

struct AppState;
class SettingsStore;
class DialogService;

class LogSettingsDialog : public QDialog {
    Q_OBJECT
public:
    LogSettingsDialog(AppState& state, SettingsStore& store, DialogService& dialogs, QWidget* parent = nullptr);
    ~LogSettingsDialog() override;

    // True once "&OK" has committed and saved the settings (also left in DialogAccepted).
    [[nodiscard]] bool wasAccepted() const { return m_accepted; }

private:
    void browse();
    void acceptSettings();

    std::unique_ptr<Ui::Logs> ui;
    AppState& m_state;
    SettingsStore& m_store;
    DialogService& m_dialogs;
    bool m_accepted = false;
};

} // namespace ormisk
