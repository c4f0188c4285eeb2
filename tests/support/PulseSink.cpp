#include "support/PulseSink.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtEndian>

#include <cmath>

namespace ormisk::test {

namespace {

// Starting the daemon takes well under a second; ten leave room for a loaded machine.
constexpr int kStartLimitMs = 10000;

} // namespace

PulseSink::PulseSink() = default;

PulseSink::~PulseSink()
{
    if (server_.state() != QProcess::NotRunning) {
        server_.terminate();
        if (!server_.waitForFinished(5000)) {
            server_.kill();
            server_.waitForFinished(5000);
        }
    }
}

QString PulseSink::missingTools()
{
    QStringList missing;
    for (const char* tool : { "pulseaudio", "parec", "sox" }) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            missing.append(QString::fromLatin1(tool));
    }
    return missing.join(QStringLiteral(", "));
}

QString PulseSink::serverAddress() const
{
    return QStringLiteral("unix:") + dir_.filePath(QStringLiteral("pulse.sock"));
}

QProcessEnvironment PulseSink::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Every PulseAudio program writes its cookie and state under these; keep them in the folder.
    env.insert(QStringLiteral("HOME"), dir_.filePath(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), dir_.filePath(QStringLiteral("cache")));
    env.insert(QStringLiteral("PULSE_COOKIE"), dir_.filePath(QStringLiteral("cookie")));
    env.insert(QStringLiteral("PULSE_SERVER"), serverAddress());
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    return env;
}

bool PulseSink::start(QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    if (!dir_.isValid())
        return fail(QStringLiteral("no temporary folder"));
    for (const char* sub : { "home", "run", "config", "cache" })
        QDir(dir_.path()).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(dir_.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    server_.setProcessEnvironment(environment());
    server_.setProcessChannelMode(QProcess::SeparateChannels);
    const QString socket = dir_.filePath(QStringLiteral("pulse.sock"));
    server_.start(QStringLiteral("pulseaudio"),
        { QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
            QStringLiteral("--use-pid-file=no"), QStringLiteral("--disable-shm=yes"),
            QStringLiteral("--log-target=stderr"), QStringLiteral("--log-level=info"), QStringLiteral("-L"),
            QStringLiteral("module-null-sink sink_name=test_sink"), QStringLiteral("-L"),
            QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket });
    if (!server_.waitForStarted(kStartLimitMs))
        return fail(QStringLiteral("pulseaudio did not start: ") + server_.errorString());

    // The daemon says so when it is ready to take clients.
    QByteArray log;
    QDeadlineTimer deadline(kStartLimitMs);
    QSignalSpy output(&server_, &QProcess::readyReadStandardError);
    while (!log.contains("Daemon startup complete")) {
        if (server_.state() == QProcess::NotRunning || deadline.hasExpired())
            return fail(QStringLiteral("pulseaudio did not come up:\n") + QString::fromLocal8Bit(log));
        output.wait(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        log += server_.readAllStandardError();
    }
    // From now on the daemon's chatter is not needed.
    QObject::connect(&server_, &QProcess::readyReadStandardError, &server_, [this] { server_.readAllStandardError(); });

    env_.set("PULSE_SERVER", serverAddress().toLocal8Bit());
    env_.set("PULSE_COOKIE", dir_.filePath(QStringLiteral("cookie")).toLocal8Bit());
    return true;
}

MonitorRecorder::MonitorRecorder(const PulseSink& sink)
    : sink_(sink)
{
}

MonitorRecorder::~MonitorRecorder()
{
    if (parec_.state() != QProcess::NotRunning) {
        parec_.terminate();
        if (!parec_.waitForFinished(5000)) {
            parec_.kill();
            parec_.waitForFinished(5000);
        }
    }
}

bool MonitorRecorder::start(QString* error)
{
    parec_.setProcessEnvironment(sink_.environment());
    QObject::connect(&parec_, &QProcess::readyReadStandardOutput, &parec_, [this] { read(); });
    // Without a short latency parec holds back about two seconds of sound.
    parec_.start(QStringLiteral("parec"),
        { QStringLiteral("--device=test_sink.monitor"), QStringLiteral("--latency-msec=20"),
            QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"), QStringLiteral("--channels=2"),
            QStringLiteral("--raw") });
    clock_.start();
    if (!parec_.waitForStarted(10000)) {
        if (error)
            *error = QStringLiteral("parec did not start: ") + parec_.errorString();
        return false;
    }
    QSignalSpy output(&parec_, &QProcess::readyReadStandardOutput);
    QDeadlineTimer deadline(10000);
    while (data_.isEmpty()) {
        if (parec_.state() == QProcess::NotRunning || deadline.hasExpired()) {
            if (error)
                *error
                    = QStringLiteral("parec records nothing: ") + QString::fromLocal8Bit(parec_.readAllStandardError());
            return false;
        }
        output.wait(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
    return true;
}

void MonitorRecorder::read()
{
    data_ += parec_.readAllStandardOutput();
    arrivals_.append({ data_.size(), clock_.elapsed() });
}

bool MonitorRecorder::recordUntil(qint64 clockMs)
{
    QSignalSpy output(&parec_, &QProcess::readyReadStandardOutput);
    while (arrivals_.isEmpty() || arrivals_.last().second < clockMs) {
        if (parec_.state() == QProcess::NotRunning)
            return false;
        if (!output.wait(5000))
            return false;
    }
    return true;
}

QList<double> MonitorRecorder::blockRms() const
{
    constexpr int kFrameBytes = 4;
    constexpr int kBlockFrames = kRate * kBlockMs / 1000;
    QList<double> result;
    const qsizetype frames = data_.size() / kFrameBytes;
    for (qsizetype start = 0; start + kBlockFrames <= frames; start += kBlockFrames) {
        double sum = 0;
        for (qsizetype f = start; f < start + kBlockFrames; ++f) {
            for (int c = 0; c < 2; ++c) {
                const double v = qFromLittleEndian<qint16>(data_.constData() + f * kFrameBytes + c * 2) / 32768.0;
                sum += v * v;
            }
        }
        result.append(std::sqrt(sum / (2.0 * kBlockFrames)));
    }
    return result;
}

qint64 MonitorRecorder::blockArrival(int block) const
{
    constexpr qint64 kBlockBytes = qint64(kRate) * kBlockMs / 1000 * 4;
    const qint64 lastByte = (block + 1) * kBlockBytes;
    for (const auto& arrival : arrivals_) {
        if (arrival.first >= lastByte)
            return arrival.second;
    }
    return arrivals_.isEmpty() ? -1 : arrivals_.last().second;
}

} // namespace ormisk::test
