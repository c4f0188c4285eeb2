#include "options/LogSettingsDialog.h"

#include "dialogs/DialogService.h"
#include "dialogs/FolderBrowser.h"
#include "ui_LogSettingsDialog.h"

namespace ormisk {

LogSettingsDialog::LogSettingsDialog(const Options& options, DialogService& dialogs, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::Logs>())
    , m_options(options)
    , m_dialogs(dialogs)
{
    m_ui->setupUi(this);
    m_ui->txtLogFilesPath->setText(m_options.LogFilesPath);
    m_ui->chkLogDisabled->setChecked(m_options.LogDisabled);
    m_ui->chkLogAllInOne->setChecked(m_options.LogAllInOne);

    connect(m_ui->butBrowse, &QPushButton::clicked, this, &LogSettingsDialog::browse);
    connect(m_ui->butOK, &QPushButton::clicked, this, &LogSettingsDialog::acceptSettings);
    connect(m_ui->butCancel, &QPushButton::clicked, this, &QDialog::reject);
}

LogSettingsDialog::~LogSettingsDialog() = default;

std::optional<Options> LogSettingsDialog::ask(const Options& options, DialogService& dialogs, QWidget* parent)
{
    LogSettingsDialog dialog(options, dialogs, parent);
    dialog.exec();
    return dialog.confirmed();
}

void LogSettingsDialog::browse()
{
    const QString chosen
        = BrowseForFolder(m_dialogs, this, QStringLiteral("Select Log Files Location"), m_ui->txtLogFilesPath->text());
    if (!chosen.isEmpty())
        m_ui->txtLogFilesPath->setText(chosen);
}

void LogSettingsDialog::acceptSettings()
{
    Options chosen = m_options;
    // An emptied box keeps the folder in use; the log writer needs one.
    QString path = m_ui->txtLogFilesPath->text();
    if (!path.isEmpty()) {
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        chosen.LogFilesPath = path;
    }
    chosen.LogDisabled = m_ui->chkLogDisabled->isChecked();
    chosen.LogAllInOne = m_ui->chkLogAllInOne->isChecked();
    m_confirmed = chosen;
    accept();
}

} // namespace ormisk
