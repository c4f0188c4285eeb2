#pragma once
// A private PulseAudio server with one null sink, living in a temporary folder, plus a recorder
// of what that sink plays. Nothing is written outside the folder; the test process talks to
// this server for as long as the object lives.
#include "support/ScopedEnv.h"

#include <QElapsedTimer>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace ormisk::test {

class PulseSink {
public:
    PulseSink();
    ~PulseSink();
    PulseSink(const PulseSink&) = delete;
    PulseSink& operator=(const PulseSink&) = delete;

    // Programs the sink needs that are not installed ("" when all are there).
    [[nodiscard]] static QString missingTools();

    // Starts the server and points this process at it. On failure error says why.
    bool start(QString* error);
    [[nodiscard]] QString serverAddress() const;
    [[nodiscard]] QString folder() const { return dir_.path(); }
    // The environment a helper program (parec, sox) needs to reach this server.
    [[nodiscard]] QProcessEnvironment environment() const;

private:
    QTemporaryDir dir_;
    QProcess server_;
    ScopedEnv env_;
};

// Records the sink's monitor as 44.1 kHz stereo 16-bit and notes when each piece arrived, so a
// test can tell when a sound ended in real time.
class MonitorRecorder {
public:
    explicit MonitorRecorder(const PulseSink& sink);
    ~MonitorRecorder();

    // Starts parec and waits until the first samples arrive.
    bool start(QString* error);
    // Lets the event loop run until the recording reaches the given time (ms on clock()).
    bool recordUntil(qint64 clockMs);

    static constexpr int kRate = 44100;
    static constexpr int kBlockMs = 10;

    // Per 10 ms block: RMS (0..1) and the clock time the block arrived.
    [[nodiscard]] QList<double> blockRms() const;
    [[nodiscard]] qint64 blockArrival(int block) const;
    [[nodiscard]] const QElapsedTimer& clock() const { return clock_; }

private:
    void read();

    const PulseSink& sink_;
    QProcess parec_;
    QElapsedTimer clock_;
    QByteArray data_;
    // (byte count after a read, clock time of that read)
    QList<QPair<qint64, qint64>> arrivals_;
};

} // namespace ormisk::test
