// A mailbox of N generated messages (default 100,000, each at most 2 KB) checked on loopback by
// `ormisk --once` as a whole process: the first check (nothing cached) and the re-check of the
// unchanged mailbox, each with wall time, CPU time and peak memory (VmHWM) of the process, the
// account line it printed, how many message lines it printed and what the server was asked.
// The server is a private dovecot; with --test-server it is our test server in a process of its
// own (quicker to fill: dovecot takes in 100,000 messages in a minute or two).
// --rechecks N runs the re-check N times, for figures that can be compared on a busy machine;
// --binary PATH (repeatable) checks the same mailbox with other builds, each with a profile of its
// own. With dovecot, the CPU time its processes spent on each conversation is printed as well.
// Usage: large_mailbox [messages=100000] [--test-server] [--rechecks N] [--binary PATH]...
#include "demo/MailboxGenerator.h"
#include "store/Scramble.h"
#include "store/SettingsStore.h"
#include "support/Dovecot.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

using namespace ormisk;

namespace {

const QString kUser = QStringLiteral("bench");

struct ChildRun {
    double wall = 0;
    double cpu = 0;
    double sys = 0; // of cpu
    long peakKb = 0;
    int exitCode = -1;
    QByteArray out;
};

// Runs a program to its end with its own resource figures (wait4), its standard output read whole.
ChildRun runChild(const QByteArray& program, const QList<QByteArray>& args)
{
    ChildRun run;
    int fds[2];
    if (pipe(fds) != 0)
        return run;
    QList<QByteArray> storage = QList<QByteArray> { program } + args;
    std::vector<char*> argv;
    for (QByteArray& a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    char buffer[65536];
    ssize_t got = 0;
    while ((got = read(fds[0], buffer, sizeof buffer)) > 0)
        run.out.append(buffer, got);
    close(fds[0]);
    int status = 0;
    rusage usage {};
    wait4(pid, &status, 0, &usage);
    run.wall = double(clock.nsecsElapsed()) / 1e9;
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    run.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.sys = seconds(usage.ru_stime);
    run.peakKb = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// CPU seconds dovecot's finished processes have spent so far: each conversation's pop3 process is
// a child of the master, which collects its times when it ends.
double serverCpu(const testing::Dovecot& dovecot)
{
    QFile pidFile(dovecot.directory() + QStringLiteral("/run/master.pid"));
    if (!pidFile.open(QIODevice::ReadOnly))
        return -1;
    QFile stat(QStringLiteral("/proc/") + QString::fromLatin1(pidFile.readAll().trimmed()) + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // After the command name in parentheses: state is field 3, cutime and cstime fields 16 and 17.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 15)
        return -1;
    return double(fields.at(13).toLongLong() + fields.at(14).toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

void writeProfile(const QString& profile, quint16 port, const QString& caFile)
{
    SettingsStore store(profile + QStringLiteral("/Ormisk.conf"));
    store.write(Section::Accounts, QStringLiteral("Total"), QStringLiteral("1"));
    store.write(Section::Accounts, QStringLiteral("Title1"), QStringLiteral("Box"));
    store.write(Section::Accounts, QStringLiteral("Host1"), QStringLiteral("127.0.0.1"));
    store.write(Section::Accounts, QStringLiteral("Port1"), QString::number(port));
    store.write(Section::Accounts, QStringLiteral("User1"), kUser);
    store.write(Section::Accounts, QStringLiteral("Password1"), ScrambleText(kUser));
    store.write(Section::Config, QStringLiteral("LogDisabled"), QStringLiteral("True"));
    store.write(Section::Config, QStringLiteral("CAFile"), caFile);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int count = 100'000;
    bool testServer = false;
    int rechecks = 1;
    QList<QByteArray> binaries;
    for (int i = 1; i < argc; ++i) {
        if (QByteArrayView(argv[i]) == "--test-server")
            testServer = true;
        else if (QByteArrayView(argv[i]) == "--rechecks" && i + 1 < argc)
            rechecks = std::max(1, std::atoi(argv[++i]));
        else if (QByteArrayView(argv[i]) == "--binary" && i + 1 < argc)
            binaries.append(argv[++i]);
        else
            count = std::atoi(argv[i]);
    }
    constexpr qsizetype kMaxSize = 2048;

    std::unique_ptr<testing::Dovecot> dovecot;
    QProcess popserver;
    quint16 port = 0;
    QElapsedTimer clock;
    clock.start();
    if (testServer) {
        popserver.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        popserver.start(QStringLiteral(ORMISK_POPSERVER),
            { QStringLiteral("--generate"), QString::number(count), QStringLiteral("--max-size"),
                QString::number(kMaxSize), QStringLiteral("--pipelining"), QStringLiteral("--user"), kUser,
                QStringLiteral("--password"), kUser });
        if (!popserver.waitForReadyRead(600'000)) {
            std::fprintf(stderr, "the test server did not start\n");
            return 1;
        }
        const auto m = QRegularExpression(QStringLiteral(R"(127\.0\.0\.1:(\d+))"))
                           .match(QString::fromUtf8(popserver.readAllStandardOutput()));
        port = static_cast<quint16>(m.captured(1).toUInt());
    } else {
        if (testing::Dovecot::binary().isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(testing::Dovecot::missingMessage()));
            return 2;
        }
        dovecot = std::make_unique<testing::Dovecot>();
        dovecot->addUser(kUser, kUser);
        // Made and delivered a thousand at a time, so this process never holds the mailbox.
        for (int done = 0; done < count; done += 1000) {
            testing::MailboxGenerator generator(quint32(done + 1));
            generator.setMaxSize(kMaxSize);
            for (const QByteArray& m : generator.generateRaw(std::min(1000, count - done)))
                dovecot->deliver(kUser, m);
        }
        QString error;
        if (!dovecot->start(&error)) {
            std::fprintf(stderr, "dovecot: %s\n", qPrintable(error));
            return 1;
        }
        port = dovecot->plainPort();
    }
    std::printf("%d messages of at most %lld bytes on %s, ready after %.1f s\n", count,
        static_cast<long long>(kMaxSize), testServer ? "the test server" : "dovecot", clock.elapsed() / 1000.0);
    std::printf("ormisk --once, whole process (targets: every message listed, peak memory under 300 MB, "
                "re-check under 3 s):\n");

    if (binaries.isEmpty())
        binaries.append(QByteArrayLiteral(ORMISK_BINARY));
    for (const QByteArray& binary : std::as_const(binaries)) {
        if (binaries.size() > 1)
            std::printf("%s\n", binary.constData());
        QTemporaryDir profile;
        writeProfile(profile.path(), port, dovecot ? dovecot->certificates().caFile : QString());
        for (int run = 0; run <= rechecks; ++run) {
            const char* which = run == 0 ? "first check" : "re-check";
            const qsizetype sessions = dovecot ? dovecot->log().count(QStringLiteral("top=")) : 0;
            const double serverBefore = dovecot ? serverCpu(*dovecot) : -1;
            const ChildRun child = runChild(binary, { "--once", "--profile", profile.path().toLocal8Bit() });
            const QList<QByteArray> lines = child.out.split('\n');
            const qsizetype messages = child.out.count("\n  #");
            QString tops = QStringLiteral("?");
            QByteArray server;
            if (dovecot) {
                // dovecot's record of the session, "top=<commands>/<bytes>", follows the client's exit.
                for (int wait = 0; wait < 200 && dovecot->log().count(QStringLiteral("top=")) == sessions; ++wait)
                    usleep(20'000);
                const QString log = dovecot->log();
                const qsizetype at = log.lastIndexOf(QStringLiteral("top="));
                tops = at < 0 ? tops : log.mid(at + 4).section(QLatin1Char('/'), 0, 0);
                const double serverAfter = serverCpu(*dovecot);
                if (serverBefore >= 0 && serverAfter >= 0)
                    server = "  server cpu " + QByteArray::number(serverAfter - serverBefore, 'f', 2) + " s";
            }
            std::printf("  %-12s wall %7.2f s  cpu %7.2f s (sys %4.2f)  peak %6.1f MB  exit %d  message lines %lld  "
                        "TOP commands "
                        "%s%s\n",
                which, child.wall, child.cpu, child.sys, double(child.peakKb) / 1024.0, child.exitCode,
                static_cast<long long>(messages), qPrintable(tops), server.constData());
            std::printf("               %s\n", lines.value(0).constData());
        }
    }
    if (popserver.state() != QProcess::NotRunning) {
        popserver.kill();
        popserver.waitForFinished();
    }
    return 0;
}
