#pragma once
// The mail log settings: the folder of the log files, logging off, one master log. "&OK" hands
// the options back with those three changed; the caller saves them.
#include "store/Options.h"

#include <QDialog>

#include <memory>
#include <optional>

namespace Ui {
class Logs;
}

namespace ormisk {

class DialogService;

class LogSettingsDialog : public QDialog {
    Q_OBJECT
public:
    LogSettingsDialog(const Options& options, DialogService& dialogs, QWidget* parent = nullptr);
    ~LogSettingsDialog() override;

    // Shows the dialog modally; the options as committed with "&OK", or nothing.
    [[nodiscard]] static std::optional<Options> ask(const Options& options, DialogService& dialogs, QWidget* parent);

    [[nodiscard]] const std::optional<Options>& confirmed() const { return m_confirmed; }

private:
    void browse();
    void acceptSettings();

    std::unique_ptr<Ui::Logs> m_ui;
    Options m_options;
    DialogService& m_dialogs;
    std::optional<Options> m_confirmed;
};

} // namespace ormisk
