#include "views/AccountEditorDialog.h"

#include "store/AccountTable.h"
#include "store/AppState.h"
#include "store/gui/DialogService.h"
#include "ui_AccountEditorDialog.h"

#include <QKeyEvent>
#include <QTimer>

namespace ormisk {

namespace {

const QString kAppTitle = QStringLiteral("Ormisk");

void SelectAllText(QLineEdit* box)
{
    box->setSelection(0, static_cast<int>(box->text().size()));
}

// Discards a typed space (key set to 0) when only blanks stand before the caret, so a field
// cannot start with blanks by typing.
void SuppressLeadingSpace(const QLineEdit* box, QChar& key)
{
    if (key != QLatin1Char(' '))
        return;
    const int start = box->hasSelectedText() ? box->selectionStart() : box->cursorPosition();
    QString before = box->text().left(start);
    while (before.endsWith(QLatin1Char(' ')))
        before.chop(1);
    if (before.isEmpty())
        key = QChar();
}

// Gives a text box the focus and key rules of the editor's fields.
class FieldRules : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = qobject_cast<QLineEdit*>(watched);
        if (box == nullptr)
            return false;
        if (event->type() == QEvent::FocusIn) {
            // After the event: a mouse click that brought the focus would otherwise place the caret
            // over the selection.
            QTimer::singleShot(0, box, [box] { SelectAllText(box); });
        } else if (event->type() == QEvent::KeyPress) {
            const auto* press = static_cast<QKeyEvent*>(event);
            if (press->text().size() == 1) {
                QChar key = press->text().at(0);
                SuppressLeadingSpace(box, key);
                if (key.isNull())
                    return true;
            }
        }
        return false;
    }
};

} // namespace

AccountEditorDialog::AccountEditorDialog(AppState& state, DialogService& dialogs, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::AddAccnt>())
    , m_state(state)
    , m_dialogs(dialogs)
{
    ui->setupUi(this);
    m_state.SelectionResetAllowed = false;

    auto* rules = new FieldRules(this);
    for (QLineEdit* box : { ui->txtTitle, ui->txtHost, ui->txtUser, ui->txtPassword, ui->txtPort }) {
        box->installEventFilter(rules);
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
        edit.NodeKey = NewAccountKey(m_state);
        m_state.AccountTable.append(edit);
        m_state.CurrentAccount = m_state.AccountCount();
    }
    accept();
}

} // namespace ormisk
