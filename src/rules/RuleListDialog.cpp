#include "rules/RuleListDialog.h"

#include "engine/RuleDescription.h"
#include "rules/RuleKind.h"
#include "store/RuleTables.h"
#include "store/SettingsStore.h"
#include "ui_RuleListDialog.h"

#include <utility>

namespace ormisk {

RuleListDialog::RuleListDialog(
    const RuleKind& kind, QList<WavAction> rules, Changed changed, RuleEditServices services, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::RuleList>())
    , m_kind(kind)
    , m_rules(std::move(rules))
    , m_changed(std::move(changed))
    , m_services(std::move(services))
{
    m_ui->setupUi(this);
    setObjectName(QLatin1String(kind.listForm));
    setWindowTitle(kind.listCaption);
    m_ui->lblRules->setText(kind.listLabel);
    m_ui->butAdd->setText(kind.addButton);
    m_ui->butExit->setToolTip(kind.exitTip);
    for (const WavAction& rule : std::as_const(m_rules))
        m_ui->lstRules->addItem(describe(rule));
    updateButtons();

    connect(m_ui->lstRules, &QListWidget::itemSelectionChanged, this, &RuleListDialog::updateButtons);
    connect(m_ui->butAdd, &QPushButton::clicked, this, &RuleListDialog::addRule);
    connect(m_ui->butModify, &QPushButton::clicked, this, &RuleListDialog::modifyRule);
    connect(m_ui->butDelete, &QPushButton::clicked, this, &RuleListDialog::deleteRule);
    connect(m_ui->butExit, &QPushButton::clicked, this, &QDialog::accept);
}

RuleListDialog::~RuleListDialog() = default;

QString RuleListDialog::describe(const WavAction& rule) const
{
    return m_kind.namesWavFile ? DescribeWavAction(rule) : DescribeFilter(rule);
}

int RuleListDialog::currentPosition() const
{
    const QList<QListWidgetItem*> selected = m_ui->lstRules->selectedItems();
    return selected.isEmpty() ? -1 : m_ui->lstRules->row(selected.first());
}

void RuleListDialog::updateButtons()
{
    const bool current = currentPosition() >= 0;
    m_ui->butModify->setEnabled(current);
    m_ui->butDelete->setEnabled(current);
}

void RuleListDialog::addRule()
{
    // A new rule is enabled: nothing in the editors switches a rule off.
    const std::optional<WavAction> added = RuleEditDialog::ask(m_kind, WavAction {}, m_services, this);
    if (!added)
        return;
    m_ui->lstRules->addItem(describe(*added));
    updateButtons();
    m_rules.append(*added);
    m_changed(m_rules);
}

void RuleListDialog::modifyRule()
{
    const int p = currentPosition();
    if (p < 0 || p >= m_rules.size())
        return;
    const std::optional<WavAction> changed = RuleEditDialog::ask(m_kind, m_rules.at(p), m_services, this);
    if (!changed)
        return;
    m_rules[p] = *changed;
    m_ui->lstRules->item(p)->setText(describe(*changed));
    updateButtons();
    m_changed(m_rules);
}

void RuleListDialog::deleteRule()
{
    const int p = currentPosition();
    if (p < 0 || p >= m_rules.size())
        return;
    m_rules.removeAt(p);
    delete m_ui->lstRules->takeItem(p);
    // Nothing is current afterwards, so a second press cannot delete a neighbour by surprise.
    m_ui->lstRules->clearSelection();
    m_ui->lstRules->setCurrentRow(-1);
    updateButtons();
    m_changed(m_rules);
}

void EditFilters(FilterTable& filters, SettingsStore& store, DialogService& dialogs, QWidget* parent)
{
    QList<WavAction> rules;
    for (const FilterRule& filter : filters) {
        WavAction rule;
        static_cast<FilterRule&>(rule) = filter;
        rules.append(rule);
    }
    const auto keep = [&](const QList<WavAction>& changed) {
        filters.assign(QList<FilterRule>(changed.cbegin(), changed.cend()));
        filters.save(store);
    };
    RuleListDialog dialog(kFilterRules, rules, keep, { dialogs, {} }, parent);
    dialog.exec();
}

void EditWavActions(WavActionTable& actions, SettingsStore& store, DialogService& dialogs,
    std::function<void(const QString& file)> testSound, QWidget* parent)
{
    const auto keep = [&](const QList<WavAction>& changed) {
        actions.assign(changed);
        actions.save(store);
    };
    RuleListDialog dialog(kSoundRules, actions.rows(), keep, { dialogs, std::move(testSound) }, parent);
    dialog.exec();
}

} // namespace ormisk
