#pragma once
// The message filter list (form Filter). Every add, modify and delete changes state.filters
// and rewrites the "Filters" section at once; Exit only closes.
#include <QDialog>

#include <memory>

namespace Ui {
class Filter;
}

namespace ormisk {

struct AppState;
class SettingsStore;
class DialogService;

class FilterListDialog : public QDialog {
    Q_OBJECT
public:
    FilterListDialog(AppState& state, SettingsStore& store, DialogService& dialogs, QWidget* parent = nullptr);
    ~FilterListDialog() override;

    void UpdateFilterButtons();
    void SaveFilters();

private:
    void addFilter();
    void modifyFilter();
    void deleteFilter();
    // Shows the add/modify dialog over this one; true when it was confirmed.
    bool editCurrentFilter();

    AppState& m_state;
    SettingsStore& m_store;
    DialogService& m_dialogs;
    std::unique_ptr<Ui::Filter> ui;
};

} // namespace ormisk
