#include "rules/WavActionEditDialog.h"

#include "store/AppState.h"
#include "dialogs/DialogService.h"
#include "dialogs/TextBoxRoutines.h"
#include "ui_WavActionEditDialog.h"

#include <utility>

namespace ormisk {

WavActionEditDialog::WavActionEditDialog(
    AppState& state, SettingsStore&, DialogService& dialogs, std::function<void()> playMessage, QWidget* parent)
    : QDialog(parent)
    , m_state(state)
    , m_dialogs(dialogs)
    , m_playMessage(std::move(playMessage))
    , ui(std::make_unique<Ui::AdvAction>())
{
    ui->setupUi(this);
    m_rule = { ui->txtSender, ui->optSenderAnywhere, ui->optSenderExact, ui->optAnd, ui->optOr, ui->txtSubject,
        ui->optSubjectAnywhere, ui->optSubjectExact };
    m_state.DialogAccepted = false;

    const WavAction& current = m_state.CurrentWavAction;
    if (current.SenderText.isEmpty() && current.SubjectText.isEmpty()) {
        setWindowTitle(QStringLiteral("Ormisk --- Add WAV Action"));
        m_rule.showDefaults();
    } else {
        setWindowTitle(QStringLiteral("Ormisk --- Modify WAV Action"));
        m_rule.showRule(current);
        ui->txtWavFile->setText(current.WavFile);
    }
    m_rule.guardTexts();
    TextBoxFilter::install(ui->txtWavFile);
    UpdateActionControls();

    connect(ui->txtSender, &QLineEdit::textChanged, this, &WavActionEditDialog::UpdateActionControls);
    connect(ui->txtSubject, &QLineEdit::textChanged, this, &WavActionEditDialog::UpdateActionControls);
    connect(ui->txtWavFile, &QLineEdit::textChanged, this, &WavActionEditDialog::UpdateActionControls);
    connect(ui->butSelectWav, &QPushButton::clicked, this, &WavActionEditDialog::selectWavFile);
    connect(ui->butTestWav, &QPushButton::clicked, this, &WavActionEditDialog::testWav);
    connect(ui->butOK, &QPushButton::clicked, this, &WavActionEditDialog::confirm);
    connect(ui->butCancel, &QPushButton::clicked, this, &QDialog::reject);
}

WavActionEditDialog::~WavActionEditDialog() = default;

void WavActionEditDialog::UpdateActionControls()
{
    const bool file = !ui->txtWavFile->text().isEmpty();
    ui->butOK->setEnabled(m_rule.hasAnyText() && file);
    ui->butTestWav->setEnabled(file);
    m_rule.enableChoices();
}

void WavActionEditDialog::selectWavFile()
{
    // The current text doubles as the starting point, so a named file comes up selected.
    const QString chosen = m_dialogs.openFileName(
        this, QString(), ui->txtWavFile->text(), QStringLiteral("WAV Files (*.wav);;All Files (*)"));
    if (!chosen.isEmpty())
        ui->txtWavFile->setText(chosen);
}

void WavActionEditDialog::testWav()
{
    if (ui->txtWavFile->text().isEmpty() || !m_playMessage)
        return;
    // Single-file mode for exactly this call; the running program's sound settings stay as they were.
    // The play may wait for an earlier sound with events running, so nothing of this dialog is
    // touched after it returns.
    AppState& state = m_state;
    const std::function<void()> play = m_playMessage;
    const QString savedFile = state.options.WavFile;
    const QString savedFolder = state.options.WavFolder;
    const bool savedPlayWav = state.options.PlayWav;
    state.options.WavFile = ui->txtWavFile->text();
    state.options.WavFolder.clear();
    state.options.PlayWav = true;
    play();
    state.options.WavFile = savedFile;
    state.options.WavFolder = savedFolder;
    state.options.PlayWav = savedPlayWav;
}

void WavActionEditDialog::confirm()
{
    // A rule needs a text and a file, however the click arrives.
    if (!ui->butOK->isEnabled())
        return;
    m_rule.storeInto(m_state.CurrentWavAction);
    m_state.CurrentWavAction.WavFile = ui->txtWavFile->text();
    m_state.DialogAccepted = true;
    accept();
}

} // namespace ormisk
