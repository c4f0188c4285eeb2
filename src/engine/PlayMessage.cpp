#include "engine/PlayMessage.h"

#include "engine/SoundPlayer.h"
#include "store/AppState.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

namespace ormisk {

SoundRoutine::SoundRoutine(AppState& state, SoundPlayer& player, std::function<void()> beep, QObject* parent)
    : QObject(parent)
    , state_(state)
    , player_(player)
    , beep_(std::move(beep))
{
    connect(&player_, &SoundPlayer::finished, this, &SoundRoutine::Done);
}

void SoundRoutine::Done()
{
    state_.SoundIdle = true;
    emit soundIdle();
}

bool SoundRoutine::waitForIdle()
{
    // Several calls may wait at once (nested in each other's loops); each wakes on every Done
    // and the first to find the device idle takes it, the others wait on.
    while (!state_.SoundIdle) {
        QEventLoop loop;
        connect(this, &SoundRoutine::soundIdle, &loop, &QEventLoop::quit);
        // exec() returns non-zero only when the application is quitting; then give up rather
        // than loop on an exec() that no longer waits.
        if (loop.exec(QEventLoop::AllEvents) != 0)
            return false;
    }
    return true;
}

QStringList SoundRoutine::listWavFiles(const QString& folder, bool* ok)
{
    // An empty name would list the working folder, which is never what the user chose.
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists() || !QFileInfo(dir.absolutePath()).isReadable()) {
        if (ok)
            *ok = false;
        return {};
    }
    QStringList names;
    const QFileInfoList entries = dir.entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (entry.fileName().endsWith(QLatin1String(".wav"), Qt::CaseInsensitive))
            names.append(entry.fileName());
    }
    if (ok)
        *ok = true;
    return names;
}

void SoundRoutine::chooseRandomFile()
{
    bool ok = false;
    const QStringList names = listWavFiles(state_.options.WavFolder, &ok);
    if (!ok) {
        if (beep_)
            beep_();
        return;
    }
    // The product is taken at full precision so every file is equally likely; with no files the
    // name is empty and the open simply fails.
    const auto count = names.size();
    const auto index = static_cast<qsizetype>(static_cast<double>(count) * static_cast<double>(state_.nextRandom()));
    const QString name = index < count ? names.at(index) : QString();
    fileName_ = state_.options.WavFolder + QLatin1Char('/') + name;
}

void SoundRoutine::PlayMessage()
{
    if (!waitForIdle())
        return;
    state_.SoundIdle = false;
    if (state_.options.PlayWav)
        fileName_ = state_.options.WavFile;
    else
        chooseRandomFile();
    player_.play(fileName_);
}

} // namespace ormisk
