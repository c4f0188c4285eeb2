#include "options/LogSettingsDialog.h"

#include "store/AppState.h"
#include "store/Options.h"
#include "dialogs/DialogService.h"
#include "dialogs/FolderBrowser.h"
#include "ui_LogSettingsDialog.h"

namespace ormisk {

LogSettingsDialog::LogSettingsDialog(AppState& state, SettingsStore& store, DialogService& dialogs, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Logs>())
    , m_state(state)
    , m_store(store)
    , m_dialogs(dialogs)
{
    ui->setupUi(this);
    m_state.DialogAccepted = false;
    ui->txtLogFilesPath->setText(m_state.options.LogFilesPath);
    ui->chkLogDisabled->setChecked(m_state.options.LogDisabled);
    ui->chkLogAllInOne->setChecked(m_state.options.LogAllInOne);

    connect(ui->butBrowse, &QPushButton::clicked, this, &LogSettingsDialog::browse);
    connect(ui->butOK, &QPushButton::clicked, this, &LogSettingsDialog::acceptSettings);
    connect(ui->butCancel, &QPushButton::clicked, this, &QDialog::reject);
}

LogSettingsDialog::~LogSettingsDialog() = default;

void LogSettingsDialog::browse()
{
    const QString chosen
        = BrowseForFolder(m_dialogs, this, QStringLiteral("Select Log Files Location"), ui->txtLogFilesPath->text());
    if (!chosen.isEmpty())
        ui->txtLogFilesPath->setText(chosen);
}

void LogSettingsDialog::acceptSettings()
{
    // An emptied box keeps the folder in use; the log writer needs one.
    QString path = ui->txtLogFilesPath->text();
    if (!path.isEmpty()) {
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        m_state.options.LogFilesPath = path;
    }
    m_state.options.LogDisabled = ui->chkLogDisabled->isChecked();
    m_state.options.LogAllInOne = ui->chkLogAllInOne->isChecked();
    WriteLogSettings(m_store, m_state.options);

    m_state.DialogAccepted = true;
    m_accepted = true;
    accept();
}

} // namespace ormisk
