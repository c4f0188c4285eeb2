// `--once` and `--demo` as a user runs them: real processes, a real POP3 server on loopback.
#include "demo/MailboxGenerator.h"
#include "demo/ScriptedPopServer.h"
#include "engine/SeenListFile.h"
#include "pop/PopClient.h"
#include "store/Scramble.h"
#include "store/SettingsStore.h"
#include "support/PopRecorder.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "support/Wait.h"

#include <csignal>

using namespace ormisk;
using ormisk::testing::MailboxGenerator;
using ormisk::testing::ScriptedPopServer;

namespace {

QProcessEnvironment headless()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("ORMISK_PROFILE"));
    return env;
}

void writeAccount(
    SettingsStore& store, int i, const QString& title, quint16 port, const QString& password, bool disabled)
{
    const QString n = QString::number(i);
    store.write(Section::Accounts, QStringLiteral("Title") + n, title);
    store.write(Section::Accounts, QStringLiteral("Host") + n, QStringLiteral("127.0.0.1"));
    store.write(Section::Accounts, QStringLiteral("User") + n, QStringLiteral("ann"));
    store.write(Section::Accounts, QStringLiteral("Password") + n, ScrambleText(password));
    store.write(Section::Accounts, QStringLiteral("Port") + n, QString::number(port));
    store.write(Section::Accounts, QStringLiteral("Disabled") + n, SettingsStore::fromBool(disabled));
}

// Runs the program to its end while this process keeps serving POP3 (no blocking wait).
QString runToEnd(QProcess& p, const QStringList& args, int* exitCode)
{
    QSignalSpy finished(&p, &QProcess::finished);
    p.setProcessEnvironment(headless());
    p.start(QStringLiteral(ORMISK_BINARY), args);
    if (!finished.wait(30000))
        return QStringLiteral("<timeout>");
    *exitCode = p.exitCode();
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST(CommandLineModes, OncePrintsTheTreeAndRemembersWhatItShowed)
{
    ScriptedPopServer server;
    server.addUser(QStringLiteral("ann"), QStringLiteral("s3cret"), MailboxGenerator(5).generateRaw(3));
    ASSERT_TRUE(server.start());
    QTemporaryDir profile;
    {
        SettingsStore store(profile.filePath(QStringLiteral("Ormisk.conf")));
        store.write(Section::Accounts, QStringLiteral("Total"), QStringLiteral("3"));
        writeAccount(store, 1, QStringLiteral("Work"), server.port(), QStringLiteral("s3cret"), false);
        writeAccount(store, 2, QStringLiteral("Typo"), server.port(), QStringLiteral("wrong"), false);
        writeAccount(store, 3, QStringLiteral("Home"), server.port(), QStringLiteral("s3cret"), true);
    }

    QProcess p;
    int exitCode = -1;
    const QString out
        = runToEnd(p, { QStringLiteral("--once"), QStringLiteral("--profile"), profile.path() }, &exitCode);
    // One account failed: the status says so, stderr says why, in the server's words.
    EXPECT_EQ(exitCode, 1);
    const QStringList errors = QString::fromUtf8(p.readAllStandardError())
                                   .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                                   .filter(QRegularExpression(QStringLiteral("^(Work|Typo|Home): ")));
    ASSERT_EQ(errors.size(), 1) << qPrintable(errors.join(QLatin1Char('\n')));
    EXPECT_EQ(errors[0], QStringLiteral("Typo: The server answered PASS with: [AUTH] invalid user or password"));
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6) << qPrintable(out);
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^Work --- 3 messages --- Totaling [\d,]+ bytes\. \[NoMail\]$)"))
                    .match(lines[0])
                    .hasMatch())
        << qPrintable(lines[0]);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_TRUE(lines[i].startsWith(QStringLiteral("  #%1 --- ").arg(i))) << qPrintable(lines[i]);
        EXPECT_TRUE(lines[i].endsWith(QStringLiteral(" [NewMail]"))) << qPrintable(lines[i]);
        EXPECT_TRUE(lines[i].contains(QStringLiteral(" bytes --- "))) << qPrintable(lines[i]);
    }
    EXPECT_EQ(lines[4], QStringLiteral("Typo --- Bad user ID or Password! [NoMail]"));
    EXPECT_EQ(lines[5], QStringLiteral("Home--- Disabled. [Closed]"));
    EXPECT_EQ(ReadSeenListFile(profile.filePath(QStringLiteral("log.tmp"))).size(), 3);
    EXPECT_FALSE(server.sawCommand("RETR")) << "bodies are never downloaded";
    // Both conversations ended with QUIT before the process did, the refused login too.
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.commandCount("QUIT") == 2; }, 5000)) << server.commandCount("QUIT");

    // The second run finds the same mail: seen, so not logged again, still not marked read.
    QProcess again;
    const QString second
        = runToEnd(again, { QStringLiteral("--once"), QStringLiteral("--profile"), profile.path() }, &exitCode);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(second.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 6);
    EXPECT_EQ(ReadSeenListFile(profile.filePath(QStringLiteral("log.tmp"))).size(), 3);
}

TEST(CommandLineModes, DemoServesItsMailboxAndChecksIt)
{
    QProcess p;
    p.setProcessEnvironment(headless());
    p.start(QStringLiteral(ORMISK_BINARY), { QStringLiteral("--demo") });
    ASSERT_TRUE(p.waitForStarted());
    QString announced;
    ORMISK_WAIT_TRUE(
        (announced += QString::fromUtf8(p.readAllStandardError())).contains(QStringLiteral("profile ")), 20000);
    const auto m = QRegularExpression(QStringLiteral(R"(127\.0\.0\.1:(\d+), profile (\S+))")).match(announced);
    ASSERT_TRUE(m.hasMatch()) << qPrintable(announced);
    const quint16 port = static_cast<quint16>(m.captured(1).toUInt());
    const QString profile = m.captured(2);

    PopClient pop;
    pop.setRemoteHost(QStringLiteral("127.0.0.1"));
    pop.setRemotePort(port);
    pop.setUserId(QStringLiteral("demo"));
    pop.setPassword(QStringLiteral("demo"));
    ASSERT_TRUE(ormisk::testing::runRequest(pop, [&] { pop.connectToServer(); }));
    ASSERT_TRUE(ormisk::testing::runRequest(pop, [&] { pop.authenticate(); }));
    EXPECT_EQ(pop.protocolState(), PopComponent::Transaction);
    EXPECT_EQ(pop.messageCount(), 25);
    ASSERT_TRUE(ormisk::testing::runRequest(pop, [&] { pop.quit(); }));

    // The first poll cycle starts five seconds after start-up and logs every message once.
    const QString log = profile + QStringLiteral("/Logs/Master.doc");
    ORMISK_WAIT_TRUE(QFile::exists(log), 30000);
    ORMISK_WAIT_TRUE(
        [&] {
            QFile f(log);
            return f.open(QIODevice::ReadOnly) && f.readAll().count("[End Header]") == 25;
        }(),
        30000);

    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    QSignalSpy finished(&p, &QProcess::finished);
    ASSERT_TRUE(p.state() == QProcess::NotRunning || finished.wait(20000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_FALSE(QFile::exists(profile)) << "the demo leaves nothing behind";
}
