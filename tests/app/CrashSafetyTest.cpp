// The real program killed at random moments, during checks and during shutdown: whatever moment
// it dies at, the settings file, the seen-list file and the mail log are each whole (the old
// version or the new one), never torn.
#include "demo/ScriptedPopServer.h"
#include "engine/SeenListFile.h"
#include "store/AccountTable.h"
#include "store/AppState.h"
#include "store/SettingsStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

using namespace ormisk;
using ormisk::testing::PopFault;
using ormisk::testing::ScriptedPopServer;

namespace {

const QString kPassword = QStringLiteral("Crash-pw-7781");

// The whole run stays under a minute; a sanitizer build runs the program several times slower.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kBudgetMs = 180'000;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr qint64 kBudgetMs = 180'000;
#else
constexpr qint64 kBudgetMs = 60'000;
#endif
#else
constexpr qint64 kBudgetMs = 60'000;
#endif
constexpr QFile::Permissions kGroupOrOther
    = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;

QProcessEnvironment headless()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("ORMISK_PROFILE"));
    return env;
}

QByteArray message(int id)
{
    return "Subject: Note " + QByteArray::number(id) + "\r\nFrom: Ann <a@x>\r\nMessage-Id: <" + QByteArray::number(id)
        + "@crash>\r\n\r\nbody\r\n";
}

class CrashSafety : public ::testing::Test {
protected:
    CrashSafety()
    {
        server.addUser(QStringLiteral("ann"), kPassword);
        // A little delay on every header keeps each check long enough to be killed inside it.
        server.addFault({ PopFault::Kind::Delay, "TOP", 15 });
        EXPECT_TRUE(server.start());
        SettingsStore store(settingsFile());
        AppState state;
        AccountRecord a;
        a.Title = QStringLiteral("Work");
        a.Host = QStringLiteral("127.0.0.1");
        a.User = QStringLiteral("ann");
        a.Password = kPassword;
        a.Port = server.port();
        state.accounts.append(a);
        state.accounts.save(store);
        store.write(Section::Config, QStringLiteral("LogAllInOne"), QStringLiteral("True"));
        store.write(Section::Config, QStringLiteral("LogDisabled"), QStringLiteral("False"));
        store.sync();
    }

    [[nodiscard]] QString settingsFile() const { return profile.filePath(QStringLiteral("Ormisk.conf")); }
    [[nodiscard]] QString seenFile() const { return profile.filePath(QStringLiteral("log.tmp")); }

    // Runs the program, sends `first` after `firstMs` and SIGKILL `killMs` later (a negative
    // delay sends nothing); returns once the process is gone. The test server keeps answering
    // meanwhile, since the waits run the event loop.
    void runAndKill(const QStringList& args, int firstSignal, int firstMs, int killMs, QByteArray* output = nullptr)
    {
        QProcess process;
        process.setProcessEnvironment(headless());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(ORMISK_BINARY), args);
        ASSERT_TRUE(process.waitForStarted());
        const auto pid = static_cast<pid_t>(process.processId());
        bool gone = false;
        QObject::connect(&process, &QProcess::finished, [&] { gone = true; });
        const auto send = [&](int signal) {
            if (!gone)
                ::kill(pid, signal);
        };
        // The process object is the timers' context: none may fire after this run is over.
        QTimer::singleShot(firstMs, &process, [&] {
            send(firstSignal);
            if (killMs >= 0)
                QTimer::singleShot(killMs, &process, [&] { send(SIGKILL); });
        });
        QTRY_VERIFY_WITH_TIMEOUT(gone, 20000);
        if (output)
            *output = process.readAll();
        ++runs;
        killed += process.exitStatus() == QProcess::CrashExit ? 1 : 0;
    }

    // Every file is whole; what each file held before may only have been replaced, never lost.
    void expectFilesWhole()
    {
        // Settings: the store reads, every key written so far is still there, the account intact.
        {
            QSettings raw(settingsFile(), QSettings::IniFormat);
            EXPECT_EQ(raw.status(), QSettings::NoError);
            const QStringList keys = raw.allKeys();
            for (const QString& key : std::as_const(knownKeys))
                EXPECT_TRUE(keys.contains(key)) << "lost key " << qPrintable(key);
            knownKeys = keys;
            SettingsStore store(settingsFile());
            AppState state;
            state.accounts.load(store, state.random);
            ASSERT_EQ(state.AccountCount(), 1);
            EXPECT_EQ(state.account(1).Password, kPassword);
            EXPECT_EQ(store.read(Section::Config, QStringLiteral("LogAllInOne")), QStringLiteral("True"));
            EXPECT_EQ(QFile::permissions(settingsFile()) & kGroupOrOther, QFile::Permissions())
                << "the settings file is owner-only";
        }
        // Seen list: read back and written again it is the same bytes (nothing cut short).
        QFile seen(seenFile());
        if (seen.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = seen.readAll();
            const QStringList entries = ParseSeenList(bytes);
            EXPECT_EQ(FormatSeenList(entries), bytes) << "a damaged seen-list file";
            EXPECT_LE(entries.size(), 100);
        }
        // Mail log: every record whole, so none breaks the ones after it.
        const QDir logs(profile.filePath(QStringLiteral("Logs")));
        for (const QString& name : logs.entryList(QDir::Files)) {
            QFile log(logs.filePath(name));
            ASSERT_TRUE(log.open(QIODevice::ReadOnly));
            const QByteArray text = log.readAll();
            const QByteArray begin = "[Begin Header]\r\n";
            const QByteArray end = "[End Header]\r\n\r\n";
            qsizetype pos = 0;
            int count = 0;
            while (pos < text.size()) {
                ASSERT_TRUE(text.mid(pos).startsWith(begin))
                    << "torn record at byte " << pos << " of " << name.toStdString();
                const qsizetype close = text.indexOf(end, pos);
                ASSERT_GE(close, 0) << "unfinished record at byte " << pos;
                const qsizetype nextBegin = text.indexOf(begin, pos + begin.size());
                ASSERT_TRUE(nextBegin < 0 || nextBegin > close) << "record without its end at byte " << pos;
                pos = close + end.size();
                ++count;
            }
            logRecords = std::max(logRecords, count);
        }
    }

    QTemporaryDir profile;
    ScriptedPopServer server;
    QStringList knownKeys;
    int runs = 0;
    int killed = 0;
    int logRecords = 0;
    QRandomGenerator random { 20261207 };
};

} // namespace

TEST_F(CrashSafety, KilledDuringChecksAndShutdownLeavesEveryFileWhole)
{
    QElapsedTimer clock;
    clock.start();
    QList<QByteArray> mailbox;
    int nextId = 1;
    // During checks: one-shot runs, killed anywhere from start-up to the last write.
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        for (int n = 0; n < 3; ++n)
            mailbox.append(message(nextId++));
        while (mailbox.size() > 10)
            mailbox.removeFirst();
        server.setMessages(QStringLiteral("ann"), mailbox);
        QByteArray output;
        runAndKill({ QStringLiteral("--profile"), profile.path(), QStringLiteral("--once") }, SIGKILL,
            int(random.bounded(0, 400)), -1, &output);
        EXPECT_FALSE(output.contains(kPassword.toUtf8()));
        expectFilesWhole();
    }
    // During shutdown: the window asked to close by SIGTERM, then killed a moment later.
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round + 100);
        QByteArray output;
        runAndKill({ QStringLiteral("--profile"), profile.path() }, SIGTERM, int(random.bounded(100, 1500)),
            int(random.bounded(0, 300)), &output);
        EXPECT_FALSE(output.contains(kPassword.toUtf8()));
        expectFilesWhole();
    }
    EXPECT_EQ(runs, 30);
    EXPECT_GT(killed, 5) << "most runs should have died by the kill";
    EXPECT_GT(logRecords, 0) << "some checks got as far as the log";
    EXPECT_LT(clock.elapsed(), kBudgetMs);
    // A kill between a temporary file's creation and its rename leaves the temporary behind;
    // it is litter, never read, so it is only counted.
    const QStringList litter
        = QDir(profile.path()).entryList({ QStringLiteral("*.*.*"), QStringLiteral("*.conf.*") }, QDir::Files);
    std::printf("runs %d, killed %d, log records %d, left-over temporaries %d, %.1f s\n", runs, killed, logRecords,
        int(litter.size()), clock.elapsed() / 1000.0);
}
