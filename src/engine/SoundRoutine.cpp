#include "engine/SoundRoutine.h"

#include "engine/SoundPlayer.h"
#include "store/AppState.h"

#include <QCoro/QCoroSignal>
#include <QDir>
#include <QFileInfo>

namespace ormisk {

SoundRoutine::SoundRoutine(AppState& state, SoundPlayer& player, std::function<void()> beep, QObject* parent)
    : QObject(parent)
    , m_state(state)
    , m_player(player)
    , m_beep(std::move(beep))
{
    connect(&m_player, &SoundPlayer::finished, this, &SoundRoutine::Done);
}

void SoundRoutine::Done()
{
    m_soundIdle = true;
    emit soundIdle();
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

void SoundRoutine::chooseRandomFile(const QString& folder)
{
    bool ok = false;
    const QStringList names = listWavFiles(folder, &ok);
    if (!ok) {
        if (m_beep)
            m_beep();
        return;
    }
    // The product is taken at full precision so every file is equally likely; with no files the
    // name is empty and the open simply fails.
    const auto count = names.size();
    const auto index = static_cast<qsizetype>(static_cast<double>(count) * static_cast<double>(m_state.nextRandom()));
    const QString name = index < count ? names.at(index) : QString();
    m_fileName = folder + QLatin1Char('/') + name;
}

QCoro::Task<> SoundRoutine::PlayMessage(SoundRequest request)
{
    // Every end wakes the waiting calls in the order they came; the first takes the device and
    // the others wait on.
    while (!m_soundIdle)
        co_await qCoro(this, &SoundRoutine::soundIdle);
    m_soundIdle = false;
    if (request.singleFile)
        m_fileName = request.file;
    else
        chooseRandomFile(request.folder);
    m_player.play(m_fileName);
}

} // namespace ormisk
