#pragma once
// Adds or modifies one message filter (form AddFilter). Works on state.CurrentFilter: both texts
// empty means add mode. OK writes the controls back into CurrentFilter and sets DialogAccepted;
// Cancel and Escape leave CurrentFilter as it was.
#include "rules/RuleControls.h"

#include <QDialog>

#include <memory>

namespace Ui {
class AddFilter;
}

namespace ormisk {

struct AppState;
class SettingsStore;
class DialogService;

class FilterEditDialog : public QDialog {
    Q_OBJECT
public:
    FilterEditDialog(AppState& state, SettingsStore& store, DialogService& dialogs, QWidget* parent = nullptr);
    ~FilterEditDialog() override;

    void UpdateFilterControls();

private:
    void confirm();

    AppState& m_state;
    std::unique_ptr<Ui::AddFilter> ui;
    RuleControls m_rule;
};

} // namespace ormisk
