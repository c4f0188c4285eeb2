// The program as a user meets it: a real process on its own profile.
#include "engine/SeenListFile.h"
#include "store/SettingsStore.h"

#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "support/Wait.h"

#include <csignal>

using namespace ormisk;

namespace {

QProcessEnvironment headless()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("ORMISK_PROFILE"));
    return env;
}

// Start-up has run to its end once the window wrote its geometry.
bool startedUp(const QTemporaryDir& profile)
{
    QFile file(profile.filePath(QStringLiteral("Ormisk.conf")));
    return file.open(QIODevice::ReadOnly) && file.readAll().contains("Width=");
}

} // namespace

TEST(Process, SecondInstanceRefusedAndSigtermShutsDownCleanly)
{
    QTemporaryDir profile;
    const QStringList seen
        = { QStringLiteral("Message-Id : <a@x>\r\nSubject : Hi\r\n"), QStringLiteral("Message-Id : <b@x>\r\n") };
    ASSERT_TRUE(WriteSeenListFile(profile.filePath(QStringLiteral("log.tmp")), seen));
    QFile::remove(profile.filePath(QStringLiteral("Ormisk.conf")));

    QProcess first;
    first.setProcessEnvironment(headless());
    first.start(QStringLiteral(ORMISK_BINARY), { QStringLiteral("--profile"), profile.path() });
    ASSERT_TRUE(first.waitForStarted());
    // Wait until the first instance holds its lock.
    ORMISK_WAIT_TRUE(QFile::exists(profile.filePath(QStringLiteral("ormisk.lock"))), 10000);
    ORMISK_WAIT_TRUE(QFile::exists(profile.filePath(QStringLiteral("Ormisk.conf"))), 10000);
    ORMISK_WAIT_TRUE(startedUp(profile), 20000);

    QProcess second;
    second.setProcessEnvironment(headless());
    second.start(QStringLiteral(ORMISK_BINARY), { QStringLiteral("--profile"), profile.path() });
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_TRUE(second.readAllStandardError().contains("Ormisk is already running in the tray!"));
    EXPECT_EQ(first.state(), QProcess::Running) << "the first instance is untouched";

    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    ASSERT_TRUE(first.waitForFinished(20000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);

    EXPECT_EQ(ReadSeenListFile(profile.filePath(QStringLiteral("log.tmp"))), seen);
    SettingsStore store(profile.filePath(QStringLiteral("Ormisk.conf")));
    for (const char* key : { "Top", "Left", "Width", "Height" })
        EXPECT_FALSE(store.read(Section::Config, QLatin1String(key)).isEmpty()) << key;
    EXPECT_EQ(store.read(Section::Config, QStringLiteral("State")), QStringLiteral("0"));
    EXPECT_FALSE(QFile::exists(profile.filePath(QStringLiteral("ormisk.lock")))) << "the lock is released";
}

TEST(Process, StaleLockOfACrashedRunIsRecovered)
{
    QTemporaryDir profile;
    {
        // A lock left by a process that no longer exists.
        QFile lock(profile.filePath(QStringLiteral("ormisk.lock")));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write("999999\normisk\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    }
    QProcess p;
    p.setProcessEnvironment(headless());
    p.start(QStringLiteral(ORMISK_BINARY), { QStringLiteral("--profile"), profile.path() });
    ASSERT_TRUE(p.waitForStarted());
    ORMISK_WAIT_TRUE(startedUp(profile), 20000);
    EXPECT_EQ(p.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0);
}

TEST(Process, VersionAndHelp)
{
    QProcess p;
    p.setProcessEnvironment(headless());
    p.start(QStringLiteral(ORMISK_BINARY), { QStringLiteral("--version") });
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_TRUE(p.readAllStandardOutput().contains("Ormisk 2.0"));
}
