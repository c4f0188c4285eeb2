#pragma once
// The account editor: adds an account (CurrentAccount = 0 on entry) or modifies account
// CurrentAccount. On return CurrentAccount is 0 when the user cancelled, otherwise the index of the
// account added or modified, and EditAccount holds what was stored in the table. Saving the table
// and updating the tree are the caller's business.
#include <QDialog>

#include <memory>

namespace Ui {
class AddAccnt;
}

namespace ormisk {

struct AppState;
class DialogService;

class AccountEditorDialog : public QDialog {
    Q_OBJECT
public:
    AccountEditorDialog(AppState& state, DialogService& dialogs, QWidget* parent = nullptr);
    ~AccountEditorDialog() override;

    [[nodiscard]] bool isModifyMode() const { return m_modify; }

    void done(int result) override;

private:
    void refreshOkButton();
    void acceptAccount();

    std::unique_ptr<Ui::AddAccnt> ui;
    AppState& m_state;
    DialogService& m_dialogs;
    bool m_modify = false;
    bool m_closed = false;
};

} // namespace ormisk
