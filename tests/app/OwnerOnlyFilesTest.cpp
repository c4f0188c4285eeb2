// The real program under a umask that would make its files readable by everyone: every file and
// folder it creates is owner-only, and it runs with core dumps off.
#include "demo/MailboxGenerator.h"
#include "demo/ScriptedPopServer.h"
#include "store/Scramble.h"
#include "store/SettingsStore.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/Wait.h"

#include <csignal>
#include <sys/stat.h>

using namespace ormisk;
using ormisk::testing::MailboxGenerator;
using ormisk::testing::ScriptedPopServer;

namespace {

void startUnderOpenUmask(QProcess& p, const QStringList& args)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("ORMISK_PROFILE"));
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([] { ::umask(022); });
    p.start(QStringLiteral(ORMISK_BINARY), args);
}

unsigned mode(const QString& path)
{
    struct stat info { };
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 01000;
}

} // namespace

TEST(OwnerOnlyFiles, EverythingTheProgramCreatesIsPrivateAndItDumpsNoCore)
{
    QTemporaryDir root;
    const QString profile = root.filePath(QStringLiteral("new/profile"));
    const auto file = [&](const char* name) { return profile + QLatin1Char('/') + QLatin1String(name); };

    QProcess window;
    startUnderOpenUmask(window, { QStringLiteral("--profile"), profile });
    ASSERT_TRUE(window.waitForStarted());
    ORMISK_WAIT_TRUE(QFile(file("Ormisk.conf")).size() > 0 && QFile::exists(file("ormisk.lock")), 20000);
    EXPECT_EQ(mode(profile), 0700u);
    EXPECT_EQ(mode(root.filePath(QStringLiteral("new"))), 0700u);
    EXPECT_EQ(mode(file("Ormisk.conf")), 0600u);
    EXPECT_EQ(mode(file("ormisk.lock")), 0600u);
    QFile limits(QStringLiteral("/proc/%1/limits").arg(window.processId()));
    ASSERT_TRUE(limits.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(Max core file size\s+0\s+0\s)"))
                    .match(QString::fromLatin1(limits.readAll()))
                    .hasMatch());
    ::kill(static_cast<pid_t>(window.processId()), SIGTERM);
    ASSERT_TRUE(window.waitForFinished(20000));

    ScriptedPopServer server;
    server.addUser(QStringLiteral("ann"), QStringLiteral("s3cret"), MailboxGenerator(5).generateRaw(2));
    ASSERT_TRUE(server.start());
    {
        SettingsStore store(file("Ormisk.conf"));
        store.write(Section::Config, QStringLiteral("LogDisabled"), QStringLiteral("False"));
        store.write(Section::Accounts, QStringLiteral("Total"), QStringLiteral("1"));
        store.write(Section::Accounts, QStringLiteral("Title1"), QStringLiteral("Work"));
        store.write(Section::Accounts, QStringLiteral("Host1"), QStringLiteral("127.0.0.1"));
        store.write(Section::Accounts, QStringLiteral("User1"), QStringLiteral("ann"));
        store.write(Section::Accounts, QStringLiteral("Password1"), ScrambleText(QStringLiteral("s3cret")));
        store.write(Section::Accounts, QStringLiteral("Port1"), QString::number(server.port()));
        store.write(Section::Accounts, QStringLiteral("Disabled1"), QStringLiteral("False"));
    }
    QProcess once;
    QSignalSpy finished(&once, &QProcess::finished);
    startUnderOpenUmask(once, { QStringLiteral("--once"), QStringLiteral("--profile"), profile });
    ASSERT_TRUE(finished.wait(30000));
    ASSERT_EQ(once.exitCode(), 0) << once.readAllStandardError().constData();
    ASSERT_TRUE(once.readAllStandardOutput().contains("Work --- 2 messages"));
    for (const char* created : { "log.tmp", "header-cache", "Logs/Master.doc", "Ormisk.conf" })
        EXPECT_EQ(mode(file(created)), 0600u) << created;
    EXPECT_EQ(mode(file("Logs")), 0700u);
}
