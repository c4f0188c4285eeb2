#pragma once
// The options dialog: check period, new-mail reactions, sound mode with its file or folder, tray
// mode. Reads the option values when it is made and, on "&OK", writes them back and saves them.
#include <QDialog>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class Options;
}

namespace ormisk {

struct AppState;
class SettingsStore;
class DialogService;

// Minutes of a check period typed by the user: a plain decimal number (fractions allowed), at
// least 1, rounded half to even, and small enough that its seconds fit a signed 32-bit count.
// Anything else is refused (nullopt).
[[nodiscard]] std::optional<qint32> ParsePollingPeriod(const QString& text);

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    // `playMessage` plays the current sound (it reads the sound settings at the moment of the call);
    // `openAdvancedWav` opens the sound-rule list modally. Either may be empty.
    OptionsDialog(AppState& state, SettingsStore& store, DialogService& dialogs, std::function<void()> playMessage,
        std::function<void()> openAdvancedWav, QWidget* parent = nullptr);
    ~OptionsDialog() override;

    // True once "&OK" has committed and saved the options (also left in DialogAccepted).
    [[nodiscard]] bool wasAccepted() const { return m_accepted; }

    void done(int result) override;

private:
    void autoDialogChanged();
    void modeToggled(bool single, bool ticked);
    void refreshSoundControls();
    void wavTextChanged(const QString& text);
    void selectWav();
    void testSound();
    void acceptOptions();
    void refuse(const QString& text, QWidget* focus);

    std::unique_ptr<Ui::Options> ui;
    AppState& m_state;
    SettingsStore& m_store;
    DialogService& m_dialogs;
    std::function<void()> m_playMessage;
    std::function<void()> m_openAdvancedWav;
    // The WAV box shows one of these, depending on the mode; both survive a mode switch.
    QString m_fileCopy;
    QString m_folderCopy;
    bool m_accepted = false;
    bool m_closed = false;
};

} // namespace ormisk
