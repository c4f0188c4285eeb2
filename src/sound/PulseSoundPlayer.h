#pragma once
// The sound player of the program: libsndfile decodes, a PulseAudio stream plays, all on one
// worker thread so that the blocking calls never touch the window thread. The end of a sound is
// the moment the server has played the last frame, and every play is answered once.
#include "engine/SoundPlayer.h"

#include <QQueue>
#include <QThread>
#include <QTimer>

namespace ormisk {

class PulseSoundWorker;

class PulseSoundPlayer : public SoundPlayer {
    Q_OBJECT
public:
    explicit PulseSoundPlayer(QObject* parent = nullptr);
    ~PulseSoundPlayer() override;

    // Plays files one after another: a play while another sound runs starts after it.
    void play(const QString& file) override;

    // Watchdog limits (time-outs that end a sound the worker never reports): the file's length
    // plus the margin once the file is known, or the first limit while it is not. Tests shorten them.
    void setWatchdogMargin(int ms) { watchdogMarginMs_ = ms; }
    void setUnknownLengthLimit(int ms) { unknownLengthLimitMs_ = ms; }

    [[nodiscard]] bool isPlaying() const { return currentId_ != 0; }
    // Why the last sound failed ("" when it played); for diagnostics only, never shown.
    [[nodiscard]] QString lastError() const { return lastError_; }

signals:
    // Besides finished(): the sound could not be played (or the watchdog ended it).
    void failed(const QString& reason);

private:
    void startNext();
    void onOpened(quint64 id, qint64 lengthMs);
    void onEnded(quint64 id, bool ok, const QString& reason);
    void onWatchdog();
    void endCurrent(bool ok, const QString& reason);

    QThread* thread_ = nullptr; // left running (and leaked) if a dead server holds it at shutdown
    PulseSoundWorker* worker_ = nullptr;
    QQueue<QString> pending_;
    QTimer watchdog_;
    quint64 nextId_ = 1;
    quint64 currentId_ = 0;
    QString lastError_;
    // A few seconds cover opening the file and reaching the server; once the length is known,
    // two seconds more cover the server's buffer and a slow start of the stream.
    int unknownLengthLimitMs_ = 5000;
    int watchdogMarginMs_ = 2000;
    // How long shutdown waits for the worker: a sound in progress stops within a chunk, but a
    // server that accepted the connection and never answers can hold it for good.
    static constexpr int kShutdownLimitMs = 3000;
};

} // namespace ormisk
