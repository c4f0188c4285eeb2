#include "rules/FilterListDialog.h"

#include "engine/RuleDescription.h"
#include "rules/FilterEditDialog.h"
#include "rules/RuleListView.h"
#include "store/AppState.h"
#include "store/RuleTables.h"
#include "ui_FilterListDialog.h"

namespace ormisk {

FilterListDialog::FilterListDialog(AppState& state, SettingsStore& store, DialogService& dialogs, QWidget* parent)
    : QDialog(parent)
    , m_state(state)
    , m_store(store)
    , m_dialogs(dialogs)
    , ui(std::make_unique<Ui::Filter>())
{
    ui->setupUi(this);
    for (int i = 1; i <= m_state.FilterCount(); ++i) {
        m_state.CurrentFilter = m_state.filters.at(i - 1);
        ui->lstFilters->addItem(DescribeFilter(m_state.CurrentFilter));
    }
    UpdateFilterButtons();

    connect(ui->lstFilters, &QListWidget::itemSelectionChanged, this, &FilterListDialog::UpdateFilterButtons);
    connect(ui->butAdd, &QPushButton::clicked, this, &FilterListDialog::addFilter);
    connect(ui->butModify, &QPushButton::clicked, this, &FilterListDialog::modifyFilter);
    connect(ui->butDelete, &QPushButton::clicked, this, &FilterListDialog::deleteFilter);
    connect(ui->butExit, &QPushButton::clicked, this, &QDialog::accept);
}

FilterListDialog::~FilterListDialog() = default;

void FilterListDialog::UpdateFilterButtons()
{
    const bool current = CurrentListPosition(ui->lstFilters) >= 0;
    ui->butModify->setEnabled(current);
    ui->butDelete->setEnabled(current);
}

void FilterListDialog::SaveFilters() { m_state.filters.save(m_store); }

bool FilterListDialog::editCurrentFilter()
{
    FilterEditDialog editor(m_state, m_store, m_dialogs, this);
    editor.exec();
    return m_state.DialogAccepted;
}

void FilterListDialog::addFilter()
{
    m_state.CurrentFilter.SenderText.clear();
    m_state.CurrentFilter.SubjectText.clear();
    // The staging record still holds the last rule copied into it; a hidden switch-off from that
    // rule must not make the new one silently inactive.
    m_state.CurrentFilter.Disabled = false;
    if (!editCurrentFilter())
        return;
    ui->lstFilters->addItem(DescribeFilter(m_state.CurrentFilter));
    UpdateFilterButtons();
    m_state.filters.append(m_state.CurrentFilter);
    SaveFilters();
}

void FilterListDialog::modifyFilter()
{
    const int p = CurrentListPosition(ui->lstFilters);
    if (p < 0 || p >= m_state.FilterCount())
        return;
    m_state.CurrentFilter = m_state.filters.at(p);
    if (!editCurrentFilter())
        return;
    m_state.filters[p] = m_state.CurrentFilter;
    ui->lstFilters->item(p)->setText(DescribeFilter(m_state.CurrentFilter));
    UpdateFilterButtons();
    SaveFilters();
}

void FilterListDialog::deleteFilter()
{
    const int p = CurrentListPosition(ui->lstFilters);
    if (p < 0 || p >= m_state.FilterCount())
        return;
    m_state.filters.removeAt(p);
    delete ui->lstFilters->takeItem(p);
    ClearListPosition(ui->lstFilters);
    UpdateFilterButtons();
    SaveFilters();
}

} // namespace ormisk
