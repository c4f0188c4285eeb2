#include "options/OptionsDialog.h"

#include "store/AppState.h"
#include "store/Options.h"
#include "dialogs/DialogService.h"
#include "dialogs/FolderBrowser.h"
#include "ui_OptionsDialog.h"

#include <QLocale>
#include <QRegularExpression>
#include <QSignalBlocker>

#include <cmath>

namespace ormisk {

namespace {

const QString kOptionError = QStringLiteral("Option Error");
const QString kWavFilter = QStringLiteral("WAV Files (*.wav);;All Files (*)");
const QString kWavFolderTitle = QStringLiteral("Select a WAV Folder");

double RoundHalfToEven(double value)
{
    const double whole = std::floor(value);
    const double fraction = value - whole;
    if (fraction > 0.5)
        return whole + 1.0;
    if (fraction < 0.5)
        return whole;
    return std::fmod(whole, 2.0) == 0.0 ? whole : whole + 1.0;
}

} // namespace

std::optional<qint32> ParsePollingPeriod(const QString& text)
{
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
    const QString trimmed = text.trimmed();
    if (!number.match(trimmed).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double minutes = QLocale::c().toDouble(trimmed, &ok);
    if (!ok || !std::isfinite(minutes) || minutes < 1.0)
        return std::nullopt;
    const double rounded = RoundHalfToEven(minutes);
    if (rounded > kLargestPollMinutes)
        return std::nullopt;
    return static_cast<qint32>(rounded);
}

OptionsDialog::OptionsDialog(AppState& state, SettingsStore& store, DialogService& dialogs,
    std::function<void()> playMessage, std::function<void()> openAdvancedWav, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Options>())
    , m_state(state)
    , m_store(store)
    , m_dialogs(dialogs)
    , m_playMessage(std::move(playMessage))
    , m_openAdvancedWav(std::move(openAdvancedWav))
{
    ui->setupUi(this);
    m_state.DialogAccepted = false;
    m_state.SelectionResetAllowed = false;

    connect(ui->chkAutoDialog, &QCheckBox::toggled, this, &OptionsDialog::autoDialogChanged);
    connect(ui->chkPlayWav, &QCheckBox::toggled, this, [this](bool ticked) { modeToggled(true, ticked); });
    connect(ui->chkRandomPlayWAV, &QCheckBox::toggled, this, [this](bool ticked) { modeToggled(false, ticked); });
    connect(ui->txtWavFile, &QLineEdit::textChanged, this, &OptionsDialog::wavTextChanged);
    connect(ui->butSelectWav, &QPushButton::clicked, this, &OptionsDialog::selectWav);
    connect(ui->butTest, &QPushButton::clicked, this, &OptionsDialog::testSound);
    connect(ui->butAdvancedWav, &QPushButton::clicked, this, [this] {
        if (m_openAdvancedWav)
            m_openAdvancedWav();
    });
    connect(ui->butOK, &QPushButton::clicked, this, &OptionsDialog::acceptOptions);
    connect(ui->butCancel, &QPushButton::clicked, this, &QDialog::reject);

    ui->txtPoolingTime->setText(QString::number(m_state.options.PoolingTime));
    ui->txtDialogMessage->setText(m_state.options.DialogMessage);
    m_fileCopy = m_state.options.WavFile;
    m_folderCopy = m_state.options.WavFolder;
    // Each box is set from the value as it stands after the previous box's handling ran, so with
    // both sound modes on, single play wins and random play is cleared.
    ui->chkAutoExpand->setChecked(m_state.options.AutoExpand);
    ui->chkAutoDialog->setChecked(m_state.options.AutoDialog);
    ui->chkPlayWav->setChecked(m_state.options.PlayWav);
    ui->chkRandomPlayWAV->setChecked(m_state.options.RandomPlayWAV);
    ui->chkRunInTray->setChecked(m_state.options.RunInTray);
    ui->chkAutoMarkRead->setChecked(m_state.options.AutoMarkRead);
    // A box left unticked raised no change, so apply the rules for that state too.
    autoDialogChanged();
    refreshSoundControls();
}

OptionsDialog::~OptionsDialog()
{
    if (!m_closed)
        m_state.SelectionResetAllowed = true;
}

void OptionsDialog::done(int result)
{
    m_closed = true;
    m_state.SelectionResetAllowed = true;
    QDialog::done(result);
}

void OptionsDialog::autoDialogChanged()
{
    const bool on = ui->chkAutoDialog->isChecked();
    ui->lblDialogMessage->setEnabled(on);
    ui->txtDialogMessage->setEnabled(on);
}

void OptionsDialog::modeToggled(bool single, bool ticked)
{
    if (ticked) {
        QCheckBox* other = single ? ui->chkRandomPlayWAV : ui->chkPlayWav;
        {
            const QSignalBlocker block(other);
            other->setChecked(false);
        }
        // The running program follows the ticked mode at once, so "Test" plays in it; "&Cancel"
        // does not undo this.
        m_state.options.PlayWav = single;
        m_state.options.RandomPlayWAV = !single;
        ui->txtWavFile->setText(single ? m_fileCopy : m_folderCopy);
    }
    refreshSoundControls();
}

void OptionsDialog::refreshSoundControls()
{
    const bool single = ui->chkPlayWav->isChecked();
    const bool random = ui->chkRandomPlayWAV->isChecked();
    if (single)
        ui->butSelectWav->setText(QStringLiteral("Select &WAV File..."));
    else if (random)
        ui->butSelectWav->setText(QStringLiteral("Select &WAV Folder..."));
    const bool any = single || random;
    ui->butSelectWav->setEnabled(any);
    ui->txtWavFile->setEnabled(any);
    ui->chkAutoMarkRead->setEnabled(any);
    ui->butTest->setEnabled(any && !ui->txtWavFile->text().isEmpty());
}

void OptionsDialog::wavTextChanged(const QString& text)
{
    if (ui->chkPlayWav->isChecked())
        m_fileCopy = text;
    else if (ui->chkRandomPlayWAV->isChecked())
        m_folderCopy = text;
    refreshSoundControls();
}

void OptionsDialog::selectWav()
{
    QString chosen;
    if (ui->chkPlayWav->isChecked())
        chosen = m_dialogs.openFileName(this, QString(), ui->txtWavFile->text(), kWavFilter);
    else if (ui->chkRandomPlayWAV->isChecked())
        chosen = BrowseForFolder(m_dialogs, this, kWavFolderTitle, ui->txtWavFile->text());
    if (!chosen.isEmpty())
        ui->txtWavFile->setText(chosen);
}

void OptionsDialog::testSound()
{
    if (!m_playMessage)
        return;
    const QString savedFile = m_state.options.WavFile;
    const QString savedFolder = m_state.options.WavFolder;
    m_state.options.WavFile = m_fileCopy;
    m_state.options.WavFolder = m_folderCopy;
    m_playMessage();
    // Playing may wait for the previous sound with events running, so "&OK" may have committed
    // meanwhile; the committed values stand.
    if (!m_accepted) {
        m_state.options.WavFile = savedFile;
        m_state.options.WavFolder = savedFolder;
    }
}

void OptionsDialog::refuse(const QString& text, QWidget* focus)
{
    m_dialogs.message(this, QMessageBox::NoIcon, kOptionError, text, QMessageBox::Ok);
    focus->setFocus(Qt::OtherFocusReason);
}

void OptionsDialog::acceptOptions()
{
    // A period that is not wholly a number, or too long for the countdown, gets the same answer
    // as one below a minute.
    const std::optional<qint32> period = ParsePollingPeriod(ui->txtPoolingTime->text());
    if (!period) {
        refuse(QStringLiteral("Pooling must not be less then 1 minute"), ui->txtPoolingTime);
        return;
    }
    if (ui->chkAutoDialog->isChecked() && ui->txtDialogMessage->text().isEmpty()) {
        refuse(QStringLiteral("You must enter a dialog message or disable it"), ui->txtDialogMessage);
        return;
    }
    if (ui->txtWavFile->text().isEmpty() && (ui->chkPlayWav->isChecked() || ui->chkRandomPlayWAV->isChecked())) {
        refuse(QStringLiteral("You must enter a WAV file name or disable it"), ui->txtWavFile);
        return;
    }

    m_state.options.PoolingTime = *period;
    m_state.options.AutoExpand = ui->chkAutoExpand->isChecked();
    m_state.options.AutoDialog = ui->chkAutoDialog->isChecked();
    m_state.options.DialogMessage = ui->txtDialogMessage->text();
    m_state.options.PlayWav = ui->chkPlayWav->isChecked();
    m_state.options.RandomPlayWAV = ui->chkRandomPlayWAV->isChecked();
    // Both copies are kept, so switching modes back and forth loses neither.
    m_state.options.WavFile = m_fileCopy;
    m_state.options.WavFolder = m_folderCopy;
    m_state.options.RunInTray = ui->chkRunInTray->isChecked();
    m_state.options.AutoMarkRead = ui->chkAutoMarkRead->isChecked();
    WriteOptions(m_store, m_state.options);

    m_state.DialogAccepted = true;
    m_accepted = true;
    accept();
}

} // namespace ormisk
