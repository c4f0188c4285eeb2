#pragma once
// The account editor (form AddAccnt): adds an account, or modifies row `row` of the table it is
// given. OK hands back the account as entered; a modified account keeps its node key, an added
// one has none yet. Storing it, saving the table and updating the tree are the caller's business.
#include "store/Records.h"

#include <QDialog>

#include <memory>
#include <optional>

namespace Ui {
class AddAccnt;
}

namespace ormisk {

class AccountTable;
class DialogService;

class AccountEditorDialog : public QDialog {
    Q_OBJECT
public:
    // `accounts` is read for the modified account and for the titles already taken.
    AccountEditorDialog(
        const AccountTable& accounts, std::optional<qsizetype> row, DialogService& dialogs, QWidget* parent = nullptr);
    ~AccountEditorDialog() override;

    // Shows the editor modally; the account as confirmed with OK, or nothing (Cancel, Escape, the
    // close box).
    [[nodiscard]] static std::optional<AccountRecord> ask(
        const AccountTable& accounts, std::optional<qsizetype> row, DialogService& dialogs, QWidget* parent);

    [[nodiscard]] bool isModifyMode() const { return m_row.has_value(); }
    [[nodiscard]] const std::optional<AccountRecord>& confirmed() const { return m_confirmed; }

private:
    void refreshOkButton();
    void acceptAccount();
    // Proposes the usual port of the chosen security unless the user typed one; shows the warning
    // of a plain connection.
    void onSecurityChosen();

    std::unique_ptr<Ui::AddAccnt> m_ui;
    const AccountTable& m_accounts;
    std::optional<qsizetype> m_row;
    DialogService& m_dialogs;
    std::optional<AccountRecord> m_confirmed;
    bool m_portTyped = false;
};

} // namespace ormisk
