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
    void setWatchdogMargin(int ms) { m_watchdogMarginMs = ms; }
    void setUnknownLengthLimit(int ms) { m_unknownLengthLimitMs = ms; }

    [[nodiscard]] bool isPlaying() const { return m_currentId != 0; }
    // Why the last sound failed ("" when it played); for diagnostics only, never shown.
    [[nodiscard]] QString lastError() const { return m_lastError; }

signals:
    // Besides finished(): the sound could not be played (or the watchdog ended it).
    void failed(const QString& reason);

private:
    void startNext();
    void onOpened(quint64 id, qint64 lengthMs);
    void onEnded(quint64 id, bool ok, const QString& reason);
    void onWatchdog();
    void endCurrent(bool ok, const QString& reason);

    QThread* m_thread = nullptr; // left running (and leaked) if a dead server holds it at shutdown
    PulseSoundWorker* m_worker = nullptr;
    QQueue<QString> m_pending;
    QTimer m_watchdog;
    quint64 m_nextId = 1;
    quint64 m_currentId = 0;
    QString m_lastError;
    // A few seconds cover opening the file and reaching the server; once the length is known,
    // two seconds more cover the server's buffer and a slow start of the stream.
    int m_unknownLengthLimitMs = 5000;
    int m_watchdogMarginMs = 2000;
    // How long shutdown waits for the worker: a sound in progress stops within a chunk, but a
    // server that accepted the connection and never answers can hold it for good.
    static constexpr int kShutdownLimitMs = 3000;
};

} // namespace ormisk
