#include "tree/AccountEditorDialog.h"

#include "dialogs/DialogService.h"
#include "dialogs/TextBoxRoutines.h"
#include "store/AccountTable.h"
#include "ui_AccountEditorDialog.h"

#include <QSignalBlocker>

namespace ormisk {

namespace {

const QString kAppTitle = QStringLiteral("Ormisk");

// The choices in the order of the editor's list. An account stored without a choice (automatic)
// shows none until the user picks one.
constexpr AccountSecurity kSecurityChoices[]
    = { AccountSecurity::Tls, AccountSecurity::StartTls, AccountSecurity::None };

int securityIndex(AccountSecurity security)
{
    for (int i = 0; i < 3; ++i) {
        if (kSecurityChoices[i] == security)
            return i;
    }
    return -1;
}

QString proposedPort(int securityIndex) { return securityIndex == 0 ? QStringLiteral("995") : QStringLiteral("110"); }

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
    // Only what the user types counts as a chosen port: a proposal may be replaced by the next one.
    connect(m_ui->txtPort, &QLineEdit::textEdited, this, [this] { m_portTyped = true; });
    connect(m_ui->cboSecurity, &QComboBox::currentIndexChanged, this, &AccountEditorDialog::onSecurityChosen);
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
        const QSignalBlocker quiet(m_ui->cboSecurity);
        m_ui->cboSecurity->setCurrentIndex(securityIndex(a.Security));
    }
    m_ui->lblSecurityWarning->setVisible(m_ui->cboSecurity->currentIndex() == securityIndex(AccountSecurity::None));
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

void AccountEditorDialog::onSecurityChosen()
{
    const int index = m_ui->cboSecurity->currentIndex();
    m_ui->lblSecurityWarning->setVisible(index == securityIndex(AccountSecurity::None));
    // A stored account's own port (2110, say) is the user's too, not a proposal.
    const QString port = m_ui->txtPort->text().trimmed();
    const bool proposal = port.isEmpty() || port == QStringLiteral("110") || port == QStringLiteral("995");
    if (index >= 0 && !m_portTyped && proposal)
        m_ui->txtPort->setText(proposedPort(index));
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
    const AccountRecord before = account;
    account.Title = title;
    account.Host = m_ui->txtHost->text();
    account.User = m_ui->txtUser->text();
    account.Password = m_ui->txtPassword->text();
    account.Port = port;
    account.Disabled = m_ui->chkDisabled->isChecked();
    // A new password, or a new login it belongs to, goes to the settings file first; the caller
    // moves it into the keyring from there, so it is never only in memory.
    if (account.Password != before.Password || account.User != before.User || account.Host != before.Host)
        account.PasswordInKeyring = false;
    const int security = m_ui->cboSecurity->currentIndex();
    if (security >= 0)
        account.Security = kSecurityChoices[security];
    m_confirmed = account;
    accept();
}

} // namespace ormisk
