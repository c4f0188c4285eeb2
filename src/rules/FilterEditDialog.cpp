#include "rules/FilterEditDialog.h"

#include "store/AppState.h"
#include "ui_FilterEditDialog.h"

namespace ormisk {

FilterEditDialog::FilterEditDialog(AppState& state, SettingsStore&, DialogService&, QWidget* parent)
    : QDialog(parent)
    , m_state(state)
    , ui(std::make_unique<Ui::AddFilter>())
{
    ui->setupUi(this);
    m_rule = { ui->txtSender, ui->optSenderAnywhere, ui->optSenderExact, ui->optAnd, ui->optOr, ui->txtSubject,
        ui->optSubjectAnywhere, ui->optSubjectExact };
    m_state.DialogAccepted = false;

    const FilterRule& current = m_state.CurrentFilter;
    if (current.SenderText.isEmpty() && current.SubjectText.isEmpty()) {
        setWindowTitle(QStringLiteral("Ormisk --- Add Filter"));
        m_rule.showDefaults();
    } else {
        setWindowTitle(QStringLiteral("Ormisk --- Modify Filter"));
        m_rule.showRule(current);
    }
    m_rule.guardTexts();
    UpdateFilterControls();

    connect(ui->txtSender, &QLineEdit::textChanged, this, &FilterEditDialog::UpdateFilterControls);
    connect(ui->txtSubject, &QLineEdit::textChanged, this, &FilterEditDialog::UpdateFilterControls);
    connect(ui->butOK, &QPushButton::clicked, this, &FilterEditDialog::confirm);
    connect(ui->butCancel, &QPushButton::clicked, this, &QDialog::reject);
}

FilterEditDialog::~FilterEditDialog() = default;

void FilterEditDialog::UpdateFilterControls()
{
    ui->butOK->setEnabled(m_rule.hasAnyText());
    m_rule.enableChoices();
}

void FilterEditDialog::confirm()
{
    // A rule needs at least one text, however the click arrives.
    if (!ui->butOK->isEnabled())
        return;
    m_rule.storeInto(m_state.CurrentFilter);
    m_state.DialogAccepted = true;
    accept();
}

} // namespace ormisk
