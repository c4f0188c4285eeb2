#include "rules/WavActionListDialog.h"

#include "engine/RuleDescription.h"
#include "rules/RuleListView.h"
#include "rules/WavActionEditDialog.h"
#include "store/AppState.h"
#include "store/RuleTables.h"
#include "ui_WavActionListDialog.h"

#include <utility>

namespace ormisk {

WavActionListDialog::WavActionListDialog(
    AppState& state, SettingsStore& store, DialogService& dialogs, std::function<void()> playMessage, QWidget* parent)
    : QDialog(parent)
    , m_state(state)
    , m_store(store)
    , m_dialogs(dialogs)
    , m_playMessage(std::move(playMessage))
    , ui(std::make_unique<Ui::AdvWAV>())
{
    ui->setupUi(this);
    for (int i = 1; i <= m_state.WavActionCount(); ++i) {
        m_state.CurrentWavAction = m_state.wavActions.at(i - 1);
        ui->lstActions->addItem(DescribeWavAction(m_state.CurrentWavAction));
    }
    UpdateActionButtons();

    connect(ui->lstActions, &QListWidget::itemSelectionChanged, this, &WavActionListDialog::UpdateActionButtons);
    connect(ui->butAdd, &QPushButton::clicked, this, &WavActionListDialog::addAction);
    connect(ui->butModify, &QPushButton::clicked, this, &WavActionListDialog::modifyAction);
    connect(ui->butDelete, &QPushButton::clicked, this, &WavActionListDialog::deleteAction);
    connect(ui->butExit, &QPushButton::clicked, this, &QDialog::accept);
}

WavActionListDialog::~WavActionListDialog() = default;

void WavActionListDialog::UpdateActionButtons()
{
    const bool current = CurrentListPosition(ui->lstActions) >= 0;
    ui->butModify->setEnabled(current);
    ui->butDelete->setEnabled(current);
}

void WavActionListDialog::SaveWavActions() { m_state.wavActions.save(m_store); }

bool WavActionListDialog::editCurrentAction()
{
    WavActionEditDialog editor(m_state, m_store, m_dialogs, m_playMessage, this);
    editor.exec();
    return m_state.DialogAccepted;
}

void WavActionListDialog::addAction()
{
    m_state.CurrentWavAction.SenderText.clear();
    m_state.CurrentWavAction.SubjectText.clear();
    // The staging record still holds the last rule copied into it; a hidden switch-off from that
    // rule must not make the new one silently inactive.
    m_state.CurrentWavAction.Disabled = false;
    if (!editCurrentAction())
        return;
    ui->lstActions->addItem(DescribeWavAction(m_state.CurrentWavAction));
    UpdateActionButtons();
    m_state.wavActions.append(m_state.CurrentWavAction);
    SaveWavActions();
}

void WavActionListDialog::modifyAction()
{
    const int p = CurrentListPosition(ui->lstActions);
    if (p < 0 || p >= m_state.WavActionCount())
        return;
    m_state.CurrentWavAction = m_state.wavActions.at(p);
    if (!editCurrentAction())
        return;
    m_state.wavActions[p] = m_state.CurrentWavAction;
    ui->lstActions->item(p)->setText(DescribeWavAction(m_state.CurrentWavAction));
    UpdateActionButtons();
    SaveWavActions();
}

void WavActionListDialog::deleteAction()
{
    const int p = CurrentListPosition(ui->lstActions);
    if (p < 0 || p >= m_state.WavActionCount())
        return;
    m_state.wavActions.removeAt(p);
    delete ui->lstActions->takeItem(p);
    ClearListPosition(ui->lstActions);
    UpdateActionButtons();
    SaveWavActions();
}

} // namespace ormisk
