#include "tree/AccountEditorDialog.h"

#include "dialogs/DialogService.h"
#include "dialogs/TextBoxRoutines.h"
#include "store/AccountTable.h"
#include "ui_AccountEditorDialog.h"

namespace ormisk {

namespace {

const QString kAppTitle = QStringLiteral("Ormisk");

} // namespace

AccountEditorDialog::AccountEditorDialog(
    const AccountTable& accounts, std::optional<qsizetype> row, DialogService& dialogs, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::AddAccnt>())
    , m_accounts(accounts)
    , m_dialogs(dialogs)
{
    m_ui->setupUi(this);
    // Wide enough that window managers show the whole caption beside their buttons.
    setMinimumWidth(qMax(minimumWidth(), fontMetrics().horizontalAdvance(windowTitle()) + 160));

    for (QLineEdit* box : { m_ui->txtTitle, m_ui->txtHost, m_ui->txtUser, m_ui->txtPassword, m_ui->txtPort }) {
        TextBoxFilter::install(box, true);
        connect(box, &QLineEdit::textChanged, this, &AccountEditorDialog::refreshOkButton);
    }
    connect(m_ui->butOK, &QPushButton::clicked, this, &AccountEditorDialog::acceptAccount);
    connect(m_ui->butCancel, &QPushButton::clicked, this, &QDialog::reject);

    if (row && *row >= 0 && *row < accounts.size()) {
        m_row = row;
        const AccountRecord& a = accounts.at(*row);
        m_ui->butOK->setText(QStringLiteral("&Modify"));
        m_ui->butOK->setToolTip(QStringLiteral("Click here to apply changes"));
        m_ui->txtTitle->setText(a.Title);
        m_ui->txtHost->setText(a.Host);
        m_ui->txtUser->setText(a.User);
        m_ui->txtPassword->setText(a.Password);
        m_ui->txtPort->setText(QString::number(a.Port));
        m_ui->chkDisabled->setChecked(a.Disabled);
    }
    refreshOkButton();
}

AccountEditorDialog::~AccountEditorDialog() = default;

std::optional<AccountRecord> AccountEditorDialog::ask(
    const AccountTable& accounts, std::optional<qsizetype> row, DialogService& dialogs, QWidget* parent)
{
    AccountEditorDialog editor(accounts, row, dialogs, parent);
    editor.exec();
    return editor.confirmed();
}

void AccountEditorDialog::refreshOkButton()
{
    bool complete = true;
    for (const QLineEdit* box : { m_ui->txtTitle, m_ui->txtHost, m_ui->txtUser, m_ui->txtPassword, m_ui->txtPort })
        complete = complete && !box->text().isEmpty();
    m_ui->butOK->setEnabled(complete);
}

void AccountEditorDialog::acceptAccount()
{
    const QString title = m_ui->txtTitle->text();
    for (qsizetype row = 0; row < m_accounts.size(); ++row) {
        if (row != m_row && m_accounts.at(row).Title == title) {
            m_dialogs.message(this, QMessageBox::NoIcon, kAppTitle, QStringLiteral("Account Title already exist."));
            m_ui->txtTitle->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    // The check would reach no server with anything else, and a text that is no number at all
    // has no value to store.
    bool ok = false;
    const int port = m_ui->txtPort->text().trimmed().toInt(&ok);
    if (!ok || port < 1 || port > 65535) {
        m_dialogs.message(
            this, QMessageBox::NoIcon, kAppTitle, QStringLiteral("The port must be a whole number from 1 to 65535."));
        m_ui->txtPort->setFocus(Qt::OtherFocusReason);
        return;
    }

    AccountRecord account = m_row ? m_accounts.at(*m_row) : AccountRecord {};
    account.Title = title;
    account.Host = m_ui->txtHost->text();
    account.User = m_ui->txtUser->text();
    account.Password = m_ui->txtPassword->text();
    account.Port = port;
    account.Disabled = m_ui->chkDisabled->isChecked();
    m_confirmed = account;
    accept();
}

} // namespace ormisk
