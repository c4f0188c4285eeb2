#include "options/OptionsDialog.h"

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

OptionsDialog::OptionsDialog(const Options& options, DialogService& dialogs, Hooks hooks, QWidget* parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::Options>())
    , m_options(options)
    , m_dialogs(dialogs)
    , m_hooks(std::move(hooks))
{
    m_ui->setupUi(this);

    connect(m_ui->chkAutoDialog, &QCheckBox::toggled, this, &OptionsDialog::autoDialogChanged);
    connect(m_ui->chkPlayWav, &QCheckBox::toggled, this, [this](bool ticked) { modeToggled(true, ticked); });
    connect(m_ui->chkRandomPlayWAV, &QCheckBox::toggled, this, [this](bool ticked) { modeToggled(false, ticked); });
    connect(m_ui->txtWavFile, &QLineEdit::textChanged, this, &OptionsDialog::wavTextChanged);
    connect(m_ui->butSelectWav, &QPushButton::clicked, this, &OptionsDialog::selectWav);
    connect(m_ui->butTest, &QPushButton::clicked, this, &OptionsDialog::testSound);
    connect(m_ui->butAdvancedWav, &QPushButton::clicked, this, [this] {
        if (m_hooks.openAdvancedWav)
            m_hooks.openAdvancedWav();
    });
    connect(m_ui->butOK, &QPushButton::clicked, this, &OptionsDialog::acceptOptions);
    connect(m_ui->butCancel, &QPushButton::clicked, this, &QDialog::reject);

    m_ui->txtPoolingTime->setText(QString::number(m_options.PoolingTime));
    m_ui->txtDialogMessage->setText(m_options.DialogMessage);
    m_fileCopy = m_options.WavFile;
    m_folderCopy = m_options.WavFolder;
    // Each box is set from the value as it stands after the previous box's handling ran, so with
    // both sound modes on, single play wins and random play is cleared.
    m_ui->chkAutoExpand->setChecked(m_options.AutoExpand);
    m_ui->chkAutoDialog->setChecked(m_options.AutoDialog);
    m_ui->chkPlayWav->setChecked(m_options.PlayWav);
    m_ui->chkRandomPlayWAV->setChecked(m_options.RandomPlayWAV);
    m_ui->chkRunInTray->setChecked(m_options.RunInTray);
    m_ui->chkAutoMarkRead->setChecked(m_options.AutoMarkRead);
    m_ui->chkDesktopNotifications->setChecked(m_options.DesktopNotifications);
    m_startedAtLogin = m_hooks.startsAtLogin && m_hooks.startsAtLogin();
    m_ui->chkStartAtLogin->setChecked(m_startedAtLogin);
    // A box left unticked raised no change, so apply the rules for that state too.
    autoDialogChanged();
    refreshSoundControls();
}

OptionsDialog::~OptionsDialog() = default;

std::optional<Options> OptionsDialog::ask(const Options& options, DialogService& dialogs, Hooks hooks, QWidget* parent)
{
    OptionsDialog dialog(options, dialogs, std::move(hooks), parent);
    dialog.exec();
    return dialog.confirmed();
}

void OptionsDialog::autoDialogChanged()
{
    const bool on = m_ui->chkAutoDialog->isChecked();
    m_ui->lblDialogMessage->setEnabled(on);
    m_ui->txtDialogMessage->setEnabled(on);
}

void OptionsDialog::modeToggled(bool single, bool ticked)
{
    if (ticked) {
        QCheckBox* other = single ? m_ui->chkRandomPlayWAV : m_ui->chkPlayWav;
        {
            const QSignalBlocker block(other);
            other->setChecked(false);
        }
        // The running program follows the ticked mode at once, so "Test" plays in it; the boxes
        // still to be set while loading read the mode as it now stands.
        m_options.PlayWav = single;
        m_options.RandomPlayWAV = !single;
        if (m_hooks.soundModeChosen)
            m_hooks.soundModeChosen(single);
        m_ui->txtWavFile->setText(single ? m_fileCopy : m_folderCopy);
    }
    refreshSoundControls();
}

void OptionsDialog::refreshSoundControls()
{
    const bool single = m_ui->chkPlayWav->isChecked();
    const bool random = m_ui->chkRandomPlayWAV->isChecked();
    if (single)
        m_ui->butSelectWav->setText(QStringLiteral("Select &WAV File..."));
    else if (random)
        m_ui->butSelectWav->setText(QStringLiteral("Select &WAV Folder..."));
    const bool any = single || random;
    m_ui->butSelectWav->setEnabled(any);
    m_ui->txtWavFile->setEnabled(any);
    m_ui->chkAutoMarkRead->setEnabled(any);
    m_ui->butTest->setEnabled(any && !m_ui->txtWavFile->text().isEmpty());
}

void OptionsDialog::wavTextChanged(const QString& text)
{
    if (m_ui->chkPlayWav->isChecked())
        m_fileCopy = text;
    else if (m_ui->chkRandomPlayWAV->isChecked())
        m_folderCopy = text;
    refreshSoundControls();
}

void OptionsDialog::selectWav()
{
    QString chosen;
    if (m_ui->chkPlayWav->isChecked())
        chosen = m_dialogs.openFileName(this, QString(), m_ui->txtWavFile->text(), kWavFilter);
    else if (m_ui->chkRandomPlayWAV->isChecked())
        chosen = BrowseForFolder(m_dialogs, this, kWavFolderTitle, m_ui->txtWavFile->text());
    if (!chosen.isEmpty())
        m_ui->txtWavFile->setText(chosen);
}

void OptionsDialog::testSound()
{
    if (!m_hooks.testSound)
        return;
    // The sound may wait for an earlier one with events running, so nothing of this dialog is
    // touched after it returns.
    const auto play = m_hooks.testSound;
    play(m_fileCopy, m_folderCopy);
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
    const std::optional<qint32> period = ParsePollingPeriod(m_ui->txtPoolingTime->text());
    if (!period) {
        refuse(QStringLiteral("Pooling must not be less then 1 minute"), m_ui->txtPoolingTime);
        return;
    }
    if (m_ui->chkAutoDialog->isChecked() && m_ui->txtDialogMessage->text().isEmpty()) {
        refuse(QStringLiteral("You must enter a dialog message or disable it"), m_ui->txtDialogMessage);
        return;
    }
    if (m_ui->txtWavFile->text().isEmpty() && (m_ui->chkPlayWav->isChecked() || m_ui->chkRandomPlayWAV->isChecked())) {
        refuse(QStringLiteral("You must enter a WAV file name or disable it"), m_ui->txtWavFile);
        return;
    }

    Options chosen = m_options;
    chosen.PoolingTime = *period;
    chosen.AutoExpand = m_ui->chkAutoExpand->isChecked();
    chosen.AutoDialog = m_ui->chkAutoDialog->isChecked();
    chosen.DialogMessage = m_ui->txtDialogMessage->text();
    chosen.PlayWav = m_ui->chkPlayWav->isChecked();
    chosen.RandomPlayWAV = m_ui->chkRandomPlayWAV->isChecked();
    // Both copies are kept, so switching modes back and forth loses neither.
    chosen.WavFile = m_fileCopy;
    chosen.WavFolder = m_folderCopy;
    chosen.RunInTray = m_ui->chkRunInTray->isChecked();
    chosen.AutoMarkRead = m_ui->chkAutoMarkRead->isChecked();
    chosen.DesktopNotifications = m_ui->chkDesktopNotifications->isChecked();
    m_confirmed = chosen;
    if (m_ui->chkStartAtLogin->isChecked() != m_startedAtLogin && m_hooks.startAtLoginChosen)
        m_hooks.startAtLoginChosen(m_ui->chkStartAtLogin->isChecked());
    accept();
}

} // namespace ormisk
