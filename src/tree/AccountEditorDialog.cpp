#include "tree/AccountEditorDialog.h"

#include "dialogs/DialogService.h"
#include "dialogs/TextBoxRoutines.h"
#include "store/AccountTable.h"
#include "store/AppState.h"
#include "ui_AccountEditorDialog.h"

#include <QKeyEvent>
#include <QTimer>

namespace ormisk {

namespace {

const QString kAppTitle = QStringLiteral("Ormisk");

} // namespace

AccountEditorDialog::AccountEditorDialog(AppState& state, DialogService& dialogs, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::AddAccnt>())
    , m_state(state)
    , m_dialogs(dialogs)
{
    ui->setupUi(this);
    // Wide enough that window managers show the whole caption beside their buttons.
    setMinimumWidth(qMax(minimumWidth(), fontMetrics().horizontalAdvance(windowTitle()) + 160));
    m_state.SelectionResetAllowed = false;

    for (QLineEdit* box : { ui->txtTitle, ui->txtHost, ui->txtUser, ui->txtPassword, ui->txtPort }) {
        TextBoxFilter::install(box, true);
        connect(box, &QLineEdit::textChanged, this, &AccountEditorDialog::refreshOkButton);
    }
    connect(ui->butOK, &QPushButton::clicked, this, &AccountEditorDialog::acceptAccount);
    connect(ui->butCancel, &QPushButton::clicked, this, &QDialog::reject);

    m_modify = m_state.CurrentAccount >= 1 && m_state.CurrentAccount <= m_state.AccountCount();
    if (m_modify) {
        ui->butOK->setText(QStringLiteral("&Modify"));
        ui->butOK->setToolTip(QStringLiteral("Click here to apply changes"));
        m_state.EditAccount = m_state.account(m_state.CurrentAccount);
        ui->txtTitle->setText(m_state.EditAccount.Title);
        ui->txtHost->setText(m_state.EditAccount.Host);
        ui->txtUser->setText(m_state.EditAccount.User);
        ui->txtPassword->setText(m_state.EditAccount.Password);
        ui->txtPort->setText(QString::number(m_state.EditAccount.Port));
        ui->chkDisabled->setChecked(m_state.EditAccount.Disabled);
    } else {
        m_state.CurrentAccount = 0;
    }
    refreshOkButton();
}

AccountEditorDialog::~AccountEditorDialog()
{
    // Destroyed without being closed (the program is going away): the caller sees a cancel.
    if (!m_closed) {
        m_state.CurrentAccount = 0;
        m_state.SelectionResetAllowed = true;
    }
}

void AccountEditorDialog::done(int result)
{
    m_closed = true;
    // Cancel, Escape and the close box all land here.
    if (result != QDialog::Accepted)
        m_state.CurrentAccount = 0;
    m_state.SelectionResetAllowed = true;
    QDialog::done(result);
}

void AccountEditorDialog::refreshOkButton()
{
    bool complete = true;
    for (const QLineEdit* box : { ui->txtTitle, ui->txtHost, ui->txtUser, ui->txtPassword, ui->txtPort })
        complete = complete && !box->text().isEmpty();
    ui->butOK->setEnabled(complete);
}

void AccountEditorDialog::acceptAccount()
{
    const QString title = ui->txtTitle->text();
    for (int d = 1; d <= m_state.AccountCount(); ++d) {
        if (d != m_state.CurrentAccount && m_state.account(d).Title == title) {
            m_dialogs.message(this, QMessageBox::NoIcon, kAppTitle, QStringLiteral("Account Title already exist."));
            ui->txtTitle->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    // The check would reach no server with anything else, and a text that is no number at all
    // has no value to store.
    bool ok = false;
    const int port = ui->txtPort->text().trimmed().toInt(&ok);
    if (!ok || port < 1 || port > 65535) {
        m_dialogs.message(
            this, QMessageBox::NoIcon, kAppTitle, QStringLiteral("The port must be a whole number from 1 to 65535."));
        ui->txtPort->setFocus(Qt::OtherFocusReason);
        return;
    }

    AccountRecord& edit = m_state.EditAccount;
    edit.Title = title;
    edit.Host = ui->txtHost->text();
    edit.User = ui->txtUser->text();
    edit.Password = ui->txtPassword->text();
    edit.Port = port;
    edit.Disabled = ui->chkDisabled->isChecked();
    if (m_modify) {
        m_state.account(m_state.CurrentAccount) = edit;
    } else {
        edit.NodeKey = m_state.accounts.newKey(m_state.random);
        m_state.accounts.append(edit);
        m_state.CurrentAccount = m_state.AccountCount();
    }
    accept();
}

} // namespace ormisk
