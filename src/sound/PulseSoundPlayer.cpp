#include "sound/PulseSoundPlayer.h"

#include "sound/PulseSoundWorker.h"

namespace ormisk {

PulseSoundPlayer::PulseSoundPlayer(QObject* parent)
    : SoundPlayer(parent)
    , thread_(new QThread)
    , worker_(new PulseSoundWorker)
{
    thread_->setObjectName(QStringLiteral("Ormisk sound"));
    worker_->moveToThread(thread_);
    connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
    // Queued both ways: the worker's reports reach this object on the window thread.
    connect(worker_, &PulseSoundWorker::opened, this, &PulseSoundPlayer::onOpened, Qt::QueuedConnection);
    connect(worker_, &PulseSoundWorker::ended, this, &PulseSoundPlayer::onEnded, Qt::QueuedConnection);
    watchdog_.setSingleShot(true);
    connect(&watchdog_, &QTimer::timeout, this, &PulseSoundPlayer::onWatchdog);
    thread_->start();
}

PulseSoundPlayer::~PulseSoundPlayer()
{
    worker_->abort.store(true);
    thread_->quit();
    if (thread_->wait(kShutdownLimitMs)) {
        delete thread_;
        return;
    }
    // Destroying a running thread would abort the program; leave it to the end of the process.
    qWarning("Ormisk: the sound server does not answer; leaving its connection behind");
}

void PulseSoundPlayer::play(const QString& file)
{
    pending_.enqueue(file);
    if (currentId_ == 0)
        startNext();
}

void PulseSoundPlayer::startNext()
{
    if (pending_.isEmpty())
        return;
    const QString file = pending_.dequeue();
    const quint64 id = nextId_++;
    currentId_ = id;
    watchdog_.start(unknownLengthLimitMs_);
    QMetaObject::invokeMethod(
        worker_, [worker = worker_, id, file] { worker->playFile(id, file); }, Qt::QueuedConnection);
}

void PulseSoundPlayer::onOpened(quint64 id, qint64 lengthMs)
{
    if (id != currentId_ || lengthMs < 0)
        return;
    watchdog_.start(static_cast<int>(qMin<qint64>(lengthMs, 24 * 3600 * 1000)) + watchdogMarginMs_);
}

void PulseSoundPlayer::onEnded(quint64 id, bool ok, const QString& reason)
{
    // A report for a sound the watchdog already ended is late news; the next sound is current.
    if (id != currentId_)
        return;
    endCurrent(ok, reason);
}

void PulseSoundPlayer::onWatchdog()
{
    if (currentId_ != 0)
        endCurrent(false, QStringLiteral("no end reported in time"));
}

void PulseSoundPlayer::endCurrent(bool ok, const QString& reason)
{
    watchdog_.stop();
    currentId_ = 0;
    lastError_ = ok ? QString() : reason;
    if (!ok)
        emit failed(reason);
    emit finished();
    // A slot of finished() may have called play() already and started the next sound.
    if (currentId_ == 0)
        startNext();
}

} // namespace ormisk
