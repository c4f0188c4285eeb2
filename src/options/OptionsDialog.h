#pragma once
// The options dialog: check period, new-mail reactions, sound mode with its file or folder, tray
// mode. Shows the options it is given and, on "&OK", hands them back as edited; saving and
// applying them is the caller's business.
#include "store/Options.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class Options;
}

namespace ormisk {

class DialogService;

// Minutes of a check period typed by the user: a plain decimal number (fractions allowed), at
// least 1, rounded half to even, and small enough that its seconds fit a signed 32-bit count.
// Anything else is refused (nullopt).
[[nodiscard]] std::optional<qint32> ParsePollingPeriod(const QString& text);

class OptionsDialog : public QDialog {
    Q_OBJECT
public:
    // What the dialog reaches outside itself; any of them may be empty.
    struct Hooks {
        // A sound mode box was ticked: the running program follows it at once, and "&Cancel" does
        // not undo that.
        std::function<void(bool singleFile)> soundModeChosen;
        // "Test": plays the file and folder the dialog shows, in the running program's mode.
        std::function<void(const QString& file, const QString& folder)> testSound;
        // "Advanced WAV settings...": the sound rule list, modal over this dialog.
        std::function<void()> openAdvancedWav;
        // Start at login is the desktop's setting, not an option: whether it is on when the dialog
        // opens, and, on "&OK", the new choice when it changed.
        std::function<bool()> startsAtLogin;
        std::function<void(bool on)> startAtLoginChosen;
    };

    OptionsDialog(const Options& options, DialogService& dialogs, Hooks hooks, QWidget* parent = nullptr);
    ~OptionsDialog() override;

    // Shows the dialog modally; the options as committed with "&OK", or nothing.
    [[nodiscard]] static std::optional<Options> ask(
        const Options& options, DialogService& dialogs, Hooks hooks, QWidget* parent);

    [[nodiscard]] const std::optional<Options>& confirmed() const { return m_confirmed; }

private:
    void autoDialogChanged();
    void modeToggled(bool single, bool ticked);
    void refreshSoundControls();
    void wavTextChanged(const QString& text);
    void selectWav();
    void testSound();
    void acceptOptions();
    void refuse(const QString& text, QWidget* focus);

    std::unique_ptr<Ui::Options> m_ui;
    Options m_options;
    DialogService& m_dialogs;
    Hooks m_hooks;
    // The WAV box shows one of these, depending on the mode; both survive a mode switch.
    QString m_fileCopy;
    QString m_folderCopy;
    std::optional<Options> m_confirmed;
    bool m_startedAtLogin = false;
};

} // namespace ormisk
