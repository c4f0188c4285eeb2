#include "rules/RuleControls.h"

#include "dialogs/TextBoxRoutines.h"

#include <QLineEdit>
#include <QRadioButton>

namespace ormisk {

void RuleControls::showDefaults() const
{
    showRule(FilterRule { .SenderText = {},
        .SenderMatch = false,
        .SubjectText = {},
        .SubjectMatch = false,
        .AndMode = true,
        .Disabled = false });
}

void RuleControls::showRule(const FilterRule& rule) const
{
    txtSender->setText(rule.SenderText);
    txtSubject->setText(rule.SubjectText);
    (rule.SenderMatch ? optSenderExact : optSenderAnywhere)->setChecked(true);
    (rule.SubjectMatch ? optSubjectExact : optSubjectAnywhere)->setChecked(true);
    (rule.AndMode ? optAnd : optOr)->setChecked(true);
}

void RuleControls::storeInto(FilterRule& rule) const
{
    rule.SenderText = txtSender->text();
    rule.SubjectText = txtSubject->text();
    rule.SenderMatch = optSenderExact->isChecked();
    rule.SubjectMatch = optSubjectExact->isChecked();
    rule.AndMode = optAnd->isChecked();
}

void RuleControls::enableChoices() const
{
    const bool sender = !txtSender->text().isEmpty();
    const bool subject = !txtSubject->text().isEmpty();
    optSenderAnywhere->setEnabled(sender);
    optSenderExact->setEnabled(sender);
    optSubjectAnywhere->setEnabled(subject);
    optSubjectExact->setEnabled(subject);
    optAnd->setEnabled(sender && subject);
    optOr->setEnabled(sender && subject);
}

bool RuleControls::hasAnyText() const
{
    return !txtSender->text().isEmpty() || !txtSubject->text().isEmpty();
}

void RuleControls::guardTexts() const
{
    TextBoxFilter::install(txtSender);
    TextBoxFilter::install(txtSubject);
}

} // namespace ormisk
