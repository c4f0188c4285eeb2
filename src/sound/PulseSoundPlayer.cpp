#include "sound/PulseSoundPlayer.h"

#include "sound/PulseSoundWorker.h"

namespace ormisk {

PulseSoundPlayer::PulseSoundPlayer(QObject* parent)
    : SoundPlayer(parent)
    , m_thread(new QThread)
    , m_worker(new PulseSoundWorker)
{
    m_thread->setObjectName(QStringLiteral("Ormisk sound"));
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    // Queued both ways: the worker's reports reach this object on the window thread.
    connect(m_worker, &PulseSoundWorker::opened, this, &PulseSoundPlayer::onOpened, Qt::QueuedConnection);
    connect(m_worker, &PulseSoundWorker::ended, this, &PulseSoundPlayer::onEnded, Qt::QueuedConnection);
    m_watchdog.setSingleShot(true);
    connect(&m_watchdog, &QTimer::timeout, this, &PulseSoundPlayer::onWatchdog);
    m_thread->start();
}

PulseSoundPlayer::~PulseSoundPlayer()
{
    m_worker->abort.store(true);
    m_thread->quit();
    if (m_thread->wait(kShutdownLimitMs)) {
        delete m_thread;
        return;
    }
    // Destroying a running thread would abort the program; leave it to the end of the process.
    qWarning("Ormisk: the sound server does not answer; leaving its connection behind");
}

void PulseSoundPlayer::play(const QString& file)
{
    m_pending.enqueue(file);
    if (m_currentId == 0)
        startNext();
}

void PulseSoundPlayer::startNext()
{
    if (m_pending.isEmpty())
        return;
    const QString file = m_pending.dequeue();
    const quint64 id = m_nextId++;
    m_currentId = id;
    m_watchdog.start(m_unknownLengthLimitMs);
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker, id, file] { worker->playFile(id, file); }, Qt::QueuedConnection);
}

void PulseSoundPlayer::onOpened(quint64 id, qint64 lengthMs)
{
    if (id != m_currentId || lengthMs < 0)
        return;
    m_watchdog.start(static_cast<int>(qMin<qint64>(lengthMs, 24 * 3600 * 1000)) + m_watchdogMarginMs);
}

void PulseSoundPlayer::onEnded(quint64 id, bool ok, const QString& reason)
{
    // A report for a sound the watchdog already ended is late news; the next sound is current.
    if (id != m_currentId)
        return;
    endCurrent(ok, reason);
}

void PulseSoundPlayer::onWatchdog()
{
    if (m_currentId != 0)
        endCurrent(false, QStringLiteral("no end reported in time"));
}

void PulseSoundPlayer::endCurrent(bool ok, const QString& reason)
{
    m_watchdog.stop();
    m_currentId = 0;
    m_lastError = ok ? QString() : reason;
    if (!ok)
        emit failed(reason);
    emit finished();
    // A slot of finished() may have called play() already and started the next sound.
    if (m_currentId == 0)
        startNext();
}

} // namespace ormisk
