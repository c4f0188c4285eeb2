#include "app/SettingsCommands.h"

#include "desktop/Autostart.h"
#include "dialogs/DialogService.h"
#include "options/LogSettingsDialog.h"
#include "options/OptionsDialog.h"
#include "rules/RuleListDialog.h"
#include "store/AppState.h"
#include "tree/AccountController.h"

#include <QApplication>
#include <QCoreApplication>

#include <utility>

namespace ormisk {

SettingsCommands::SettingsCommands(AppState& state, SettingsStore& store, DialogService& dialogs, Window window)
    : m_state(state)
    , m_store(store)
    , m_dialogs(dialogs)
    , m_window(std::move(window))
{
}

void SettingsCommands::editOptions()
{
    Options& running = m_state.options;
    OptionsDialog::Hooks hooks;
    hooks.soundModeChosen = [&running](bool single) {
        running.PlayWav = single;
        running.RandomPlayWAV = !single;
    };
    hooks.testSound = [this, &running](const QString& file, const QString& folder) {
        m_window.playMessage(SoundRequest { running.PlayWav, file, folder });
    };
    hooks.openAdvancedWav = [this] { editSoundRules(); };
    hooks.startsAtLogin = [] { return StartsAtLogin(); };
    hooks.startAtLoginChosen = [this](bool on) {
        const QString failure = SetStartAtLogin(on, QCoreApplication::applicationFilePath());
        if (!failure.isEmpty())
            m_dialogs.message(m_window.widget, QMessageBox::Warning, QStringLiteral("Ormisk"),
                QStringLiteral("Start at login could not be changed: ") + failure);
    };
    std::optional<Options> chosen;
    {
        const AccountController::SelectionHold hold = m_window.accounts.holdSelection();
        chosen = OptionsDialog::ask(running, m_dialogs, hooks, m_window.widget);
    }
    if (!chosen)
        return;
    running = *chosen;
    WriteOptions(m_store, running);
    m_window.optionsApplied();
}

void SettingsCommands::editSoundRules()
{
    QWidget* owner = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : m_window.widget;
    EditWavActions(
        m_state.wavActions, m_store, m_dialogs,
        [this](const QString& file) {
            m_window.playMessage(SoundRequest { true, file, QString() });
        },
        owner);
}

void SettingsCommands::editFilters() { EditFilters(m_state.filters, m_store, m_dialogs, m_window.widget); }

void SettingsCommands::editLogSettings()
{
    if (const std::optional<Options> chosen = LogSettingsDialog::ask(m_state.options, m_dialogs, m_window.widget)) {
        m_state.options = *chosen;
        WriteLogSettings(m_store, m_state.options);
    }
}

} // namespace ormisk
