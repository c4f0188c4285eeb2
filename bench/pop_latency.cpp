// What a check costs over a slow link: a private dovecot with N generated messages (default
// 1000), reached directly and through a loopback relay that delays each direction, checked with
// MailEngine::CheckAccount as the program does it. For each delay: the one-at-a-time exchange
// (no pipelining, no cache) and the fast one (pipelining and the header cache), first check and
// re-check of the unchanged mailbox, wall time and CPU time of the checking thread. (The
// baseline's re-check is its first check again: it caches nothing.) Then the CPU
// a client burns while it waits on a silent server. Last, the program itself: `ormisk --once`
// run twice over the delayed link, the second time as a re-check in a new process.
// The baseline over the delayed link costs two round trips a message (100 s for 1000 at 25 ms);
// --quick leaves it out there.
// Usage: pop_latency [messages=1000] [idleSeconds=60] [delayMs=25] [--quick]
#include "ProcessFigures.h"
#include "demo/MailboxGenerator.h"
#include "demo/ScriptedPopServer.h"
#include "pop/PopClient.h"
#include "store/Scramble.h"
#include "store/SettingsStore.h"
#include "support/CheckRun.h"
#include "support/Dovecot.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <deque>
#include <functional>

using namespace ormisk;
using ormisk::bench::cpuSeconds;
using ormisk::bench::peakMemory;

namespace {

const QString kUser = QStringLiteral("bench");

// One direction of a relayed connection: what comes in goes out `delay` ms later, in order.
class DelayLine : public QObject {
public:
    DelayLine(QTcpSocket* from, QTcpSocket* to, int delayMs, QObject* parent)
        : QObject(parent)
        , m_from(from)
        , m_to(to)
        , m_delay(delayMs)
    {
        m_clock.start();
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] { flush(); });
        connect(from, &QTcpSocket::readyRead, this, [this] { push(m_from->readAll(), false); });
        connect(from, &QTcpSocket::disconnected, this, [this] { push({}, true); });
    }

private:
    struct Item {
        qint64 due;
        QByteArray bytes;
        bool close;
    };
    void push(QByteArray bytes, bool close)
    {
        m_items.push_back({ m_clock.elapsed() + m_delay, std::move(bytes), close });
        if (!m_timer.isActive())
            arm();
    }
    void arm()
    {
        if (!m_items.empty())
            m_timer.start(int(std::max<qint64>(0, m_items.front().due - m_clock.elapsed())));
    }
    void flush()
    {
        while (!m_items.empty() && m_items.front().due <= m_clock.elapsed()) {
            Item item = std::move(m_items.front());
            m_items.pop_front();
            if (item.close)
                m_to->disconnectFromHost();
            else
                m_to->write(item.bytes);
        }
        arm();
    }

    QTcpSocket* m_from;
    QTcpSocket* m_to;
    int m_delay;
    QElapsedTimer m_clock;
    QTimer m_timer;
    std::deque<Item> m_items;
};

class Relay : public QTcpServer {
public:
    Relay(quint16 target, int delayMs)
        : m_target(target)
        , m_delay(delayMs)
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto* pair = new QObject(this);
        auto* client = new QTcpSocket(pair);
        auto* server = new QTcpSocket(pair);
        client->setSocketDescriptor(descriptor);
        for (QTcpSocket* s : { client, server })
            s->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        new DelayLine(client, server, m_delay, pair);
        new DelayLine(server, client, m_delay, pair);
        connect(
            client, &QTcpSocket::disconnected, pair, [pair] { QTimer::singleShot(1000, pair, &QObject::deleteLater); });
        server->connectToHost(QHostAddress::LocalHost, m_target);
    }

private:
    quint16 m_target;
    int m_delay;
};

// The relay runs on its own thread, so the checking thread's CPU time is the client's alone.
class RelayThread : public QThread {
public:
    RelayThread(quint16 target, int delayMs)
        : m_target(target)
        , m_delay(delayMs)
    {
    }
    quint16 startRelay()
    {
        start();
        m_ready.acquire();
        return m_port;
    }

protected:
    void run() override
    {
        Relay relay(m_target, m_delay);
        relay.listen(QHostAddress::LocalHost, 0);
        m_port = relay.serverPort();
        m_ready.release();
        exec();
    }

private:
    quint16 m_target;
    int m_delay;
    quint16 m_port = 0;
    QSemaphore m_ready;
};

struct Run {
    double seconds = 0;
    double cpu = 0;
    double loggedIn = 0; // seconds to the transaction state
    double lastHeader = 0; // seconds to the last header
    testing::CheckOutcome outcome;
};

Run runOnce(quint16 port, bool fast, const QString& cacheFile)
{
    PopClient pop;
    pop.setTlsMode(PopClient::TlsMode::Plain);
    pop.setPipelining(fast);
    pop.setCacheFile(fast ? cacheFile : QString());
    Run run;
    const double cpu0 = cpuSeconds(RUSAGE_THREAD);
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&pop, &PopComponent::changed, [&] {
        if (pop.protocolState() == PopComponent::Transaction && run.loggedIn == 0)
            run.loggedIn = double(clock.nsecsElapsed()) / 1e9;
    });
    QObject::connect(
        &pop, &PopComponent::docOutput, [&](const DocOutput&) { run.lastHeader = double(clock.nsecsElapsed()) / 1e9; });
    run.outcome = testing::runCheck(pop, QStringLiteral("127.0.0.1"), port, kUser, kUser);
    run.seconds = double(clock.nsecsElapsed()) / 1e9;
    run.cpu = cpuSeconds(RUSAGE_THREAD) - cpu0;
    return run;
}

void print(const char* mode, const char* which, const Run& run)
{
    std::printf("  %-9s %-12s %8.3f s (logged in %.3f, last header %.3f)  cpu %6.3f s  %s\n", mode, which, run.seconds,
        run.loggedIn, run.lastHeader, run.cpu, qPrintable(run.outcome.accountText));
}

// `ormisk --once` in a profile with one account on the given port: wall seconds, or -1.
double onceProcess(const QString& profile, quint16 port, const QString& caFile, QString* tree, bool account = true)
{
    {
        SettingsStore store(profile + QStringLiteral("/Ormisk.conf"));
        store.write(Section::Accounts, QStringLiteral("Total"), account ? QStringLiteral("1") : QStringLiteral("0"));
        store.write(Section::Accounts, QStringLiteral("Title1"), QStringLiteral("Box"));
        store.write(Section::Accounts, QStringLiteral("Host1"), QStringLiteral("127.0.0.1"));
        store.write(Section::Accounts, QStringLiteral("Port1"), QString::number(port));
        store.write(Section::Accounts, QStringLiteral("User1"), kUser);
        store.write(Section::Accounts, QStringLiteral("Password1"), ScrambleText(kUser));
        store.write(Section::Config, QStringLiteral("CAFile"), caFile);
        store.write(Section::Config, QStringLiteral("LogDisabled"), QStringLiteral("True"));
    }
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    QElapsedTimer clock;
    clock.start();
    process.start(QStringLiteral(ORMISK_BINARY), { QStringLiteral("--once"), QStringLiteral("--profile"), profile });
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        return -1;
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    *tree = QString::fromUtf8(process.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0);
    return seconds;
}

double idleCost(int seconds)
{
    testing::ScriptedPopServer silent;
    silent.addFault({ testing::PopFault::Kind::NoGreeting, {} });
    silent.start();
    PopClient pop;
    pop.setTlsMode(PopClient::TlsMode::Plain);
    pop.setRemoteHost(QStringLiteral("127.0.0.1"));
    pop.setRemotePort(silent.port());
    pop.setReplyTimeout((seconds + 30) * 1000);
    const double cpu0 = cpuSeconds(RUSAGE_SELF);
    pop.connectToServer();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double spent = cpuSeconds(RUSAGE_SELF) - cpu0;
    if (!pop.busy())
        std::printf("  (the client stopped waiting early: %s)\n", qPrintable(pop.lastError()));
    pop.cancel();
    return spent;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QList<int> numbers;
    bool quick = false;
    for (int i = 1; i < argc; ++i) {
        if (QByteArrayView(argv[i]) == "--quick")
            quick = true;
        else
            numbers << std::atoi(argv[i]);
    }
    const int count = numbers.value(0, 1000);
    const int idleSeconds = numbers.value(1, 60);
    const int delayMs = numbers.value(2, 25);
    if (testing::Dovecot::binary().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(testing::Dovecot::missingMessage()));
        return 2;
    }
    testing::Dovecot dovecot;
    dovecot.addUser(kUser, kUser);
    for (const QByteArray& m : testing::MailboxGenerator(42).generateRaw(count))
        dovecot.deliver(kUser, m);
    QString error;
    if (!dovecot.start(&error)) {
        std::fprintf(stderr, "dovecot: %s\n", qPrintable(error));
        return 1;
    }
    QTemporaryDir dir;
    std::printf("messages: %d; fast = pipelining + header cache, baseline = one request at a time\n", count);

    Run reference; // the baseline on loopback
    for (const int delay : { 0, delayMs }) {
        std::unique_ptr<RelayThread> relay;
        quint16 port = dovecot.plainPort();
        if (delay > 0) {
            relay = std::make_unique<RelayThread>(port, delay);
            port = relay->startRelay();
        }
        std::printf("delay %d ms each way (round trip %d ms):\n", delay, 2 * delay);
        const QString cacheFile = dir.filePath(QStringLiteral("header-cache-%1").arg(delay));
        // On loopback a check takes tens of milliseconds and the machine's other work shows in
        // it: each figure there is the best of three runs, the same for both ways.
        const int tries = delay == 0 ? 3 : 1;
        auto best = [tries](const std::function<Run()>& one) {
            Run fastest = one();
            for (int i = 1; i < tries; ++i) {
                Run next = one();
                if (next.seconds < fastest.seconds)
                    fastest = std::move(next);
            }
            return fastest;
        };
        const bool baseline = delay == 0 || !quick;
        const Run slowFirst = baseline ? best([&] { return runOnce(port, false, {}); }) : reference;
        if (baseline)
            print("baseline", "first check", slowFirst);
        if (delay == 0)
            reference = slowFirst;
        const Run fastFirst = best([&] {
            QFile::remove(cacheFile); // a first check each time: nothing cached
            return runOnce(port, true, cacheFile);
        });
        print("fast", "first check", fastFirst);
        const Run fastAgain = best([&] { return runOnce(port, true, cacheFile); });
        print("fast", "re-check", fastAgain);
        const bool same = fastFirst.outcome.messageTexts == slowFirst.outcome.messageTexts
            && fastAgain.outcome.messageTexts == slowFirst.outcome.messageTexts
            && fastFirst.outcome.events == slowFirst.outcome.events
            && fastAgain.outcome.events == slowFirst.outcome.events;
        if (baseline)
            std::printf("  first check %.1fx faster; ", slowFirst.seconds / std::max(fastFirst.seconds, 1e-9));
        else
            std::printf("  ");
        std::printf("same tree and events as the baseline: %s\n", same ? "yes" : "NO");
        if (relay) {
            relay->quit();
            relay->wait();
        }
    }
    {
        // The whole program, start to exit, over the delayed link: the second run finds the
        // headers of the first in its cache.
        RelayThread relay(dovecot.plainPort(), delayMs);
        const quint16 port = relay.startRelay();
        QTemporaryDir profile;
        std::printf("ormisk --once, %d ms each way, TLS by STLS (whole process, start to exit):\n", delayMs);
        for (const char* which : { "first run", "second run" }) {
            QString tree;
            const qsizetype sessions = dovecot.log().count(QStringLiteral("top="));
            const double seconds = onceProcess(profile.path(), port, dovecot.certificates().caFile, &tree);
            // dovecot's record of the session, "top=<commands>/<bytes>", is written once the
            // server has seen the client go.
            QString log = dovecot.log();
            for (int wait = 0; wait < 100 && log.count(QStringLiteral("top=")) == sessions; ++wait) {
                QEventLoop pause;
                QTimer::singleShot(20, &pause, &QEventLoop::quit);
                pause.exec();
                log = dovecot.log();
            }
            const qsizetype at = log.lastIndexOf(QStringLiteral("top="));
            const QString tops = at < 0 ? QStringLiteral("?") : log.mid(at + 4).section(QLatin1Char('/'), 0, 0);
            std::printf("  %-10s %8.3f s  TOP commands %s  %s\n", which, seconds, qPrintable(tops), qPrintable(tree));
        }
        QTemporaryDir empty;
        QString none;
        std::printf("  (start and exit alone, no account: %.3f s)\n", onceProcess(empty.path(), 0, {}, &none, false));
        relay.quit();
        relay.wait();
    }
    std::printf("idle: waiting %d s on a silent server costs %.4f s of CPU\n", idleSeconds, idleCost(idleSeconds));
    std::printf("peak memory (VmHWM): %s\n", peakMemory().constData());
    return 0;
}
