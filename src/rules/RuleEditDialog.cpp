#include "rules/RuleEditDialog.h"

#include "dialogs/DialogService.h"
#include "dialogs/TextBoxRoutines.h"
#include "rules/RuleKind.h"
#include "ui_FilterEditForm.h"
#include "ui_WavActionEditForm.h"

#include <utility>

namespace ormisk {

RuleEditDialog::RuleEditDialog(const RuleKind& kind, const WavAction& rule, RuleEditServices services, QWidget* parent)
    : QDialog(parent)
    , m_services(std::move(services))
    , m_rule(rule)
{
    // The two forms differ in the file controls and in their tab order; the code is the same.
    if (kind.namesWavFile) {
        Ui::AdvAction form;
        build(form);
        m_wavFile = form.txtWavFile;
        m_selectWav = form.butSelectWav;
        m_testWav = form.butTestWav;
    } else {
        Ui::AddFilter form;
        build(form);
    }

    const bool add = rule.SenderText.isEmpty() && rule.SubjectText.isEmpty();
    setWindowTitle(add ? kind.addCaption : kind.modifyCaption);
    if (add) {
        m_controls.showDefaults();
    } else {
        m_controls.showRule(rule);
        // The file box is filled only when a rule is modified: an added rule starts without one.
        if (m_wavFile)
            m_wavFile->setText(rule.WavFile);
    }
    m_controls.guardTexts();
    connect(m_controls.txtSender, &QLineEdit::textChanged, this, &RuleEditDialog::updateControls);
    connect(m_controls.txtSubject, &QLineEdit::textChanged, this, &RuleEditDialog::updateControls);
    if (m_wavFile) {
        TextBoxFilter::install(m_wavFile);
        connect(m_wavFile, &QLineEdit::textChanged, this, &RuleEditDialog::updateControls);
        connect(m_selectWav, &QPushButton::clicked, this, &RuleEditDialog::selectWavFile);
        connect(m_testWav, &QPushButton::clicked, this, &RuleEditDialog::testWav);
    }
    connect(m_ok, &QPushButton::clicked, this, &RuleEditDialog::confirm);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    updateControls();
}

RuleEditDialog::~RuleEditDialog() = default;

template <typename Form> void RuleEditDialog::build(Form& form)
{
    form.setupUi(this);
    m_controls = { form.txtSender, form.optSenderAnywhere, form.optSenderExact, form.optAnd, form.optOr,
        form.txtSubject, form.optSubjectAnywhere, form.optSubjectExact };
    m_ok = form.butOK;
    m_cancel = form.butCancel;
}

std::optional<WavAction> RuleEditDialog::ask(
    const RuleKind& kind, const WavAction& rule, const RuleEditServices& services, QWidget* parent)
{
    RuleEditDialog dialog(kind, rule, services, parent);
    dialog.exec();
    return dialog.confirmed();
}

void RuleEditDialog::updateControls()
{
    const bool file = !m_wavFile || !m_wavFile->text().isEmpty();
    m_ok->setEnabled(m_controls.hasAnyText() && file);
    if (m_testWav)
        m_testWav->setEnabled(file);
    m_controls.enableChoices();
}

void RuleEditDialog::selectWavFile()
{
    // The current text doubles as the starting point, so a named file comes up selected.
    const QString chosen = m_services.dialogs.openFileName(
        this, QString(), m_wavFile->text(), QStringLiteral("WAV Files (*.wav);;All Files (*)"));
    if (!chosen.isEmpty())
        m_wavFile->setText(chosen);
}

void RuleEditDialog::testWav()
{
    if (m_wavFile->text().isEmpty() || !m_services.testSound)
        return;
    // The sound may wait for an earlier one with events running, so nothing of this dialog is
    // touched after it returns.
    const auto play = m_services.testSound;
    play(m_wavFile->text());
}

void RuleEditDialog::confirm()
{
    // A rule needs its texts (and file), however the click arrives.
    if (!m_ok->isEnabled())
        return;
    m_controls.storeInto(m_rule);
    if (m_wavFile)
        m_rule.WavFile = m_wavFile->text();
    m_confirmed = m_rule;
    accept();
}

} // namespace ormisk
