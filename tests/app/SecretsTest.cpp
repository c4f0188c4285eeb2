// The password stays secret: the settings file is owner-only after every way of saving, the
// password is never stored in plain text, and the program's own output never shows it.
#include "demo/ScriptedPopServer.h"
#include "store/AccountTable.h"
#include "store/AppState.h"
#include "store/Options.h"
#include "store/RuleTables.h"
#include "store/SettingsStore.h"
#include "store/WindowGeometry.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>

using namespace ormisk;
using ormisk::testing::PopFault;
using ormisk::testing::ScriptedPopServer;

namespace {

const QString kPassword = QStringLiteral("Sekrit-pw-4242");
constexpr QFile::Permissions kGroupOrOther
    = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;

bool ownerOnly(const QString& path)
{
    return QFile::exists(path) && (QFile::permissions(path) & kGroupOrOther) == QFile::Permissions();
}

AppState stateWithAccount(quint16 port)
{
    AppState state;
    AccountRecord a;
    a.Title = QStringLiteral("Work");
    a.Host = QStringLiteral("127.0.0.1");
    a.User = QStringLiteral("ann");
    a.Password = kPassword;
    a.Port = port;
    state.accounts.append(a);
    FilterRule rule;
    rule.SubjectText = QStringLiteral("offer");
    state.filters.append(rule);
    WavAction action;
    action.SenderText = QStringLiteral("boss");
    action.WavFile = QStringLiteral("/tmp/x.wav");
    state.wavActions.append(action);
    return state;
}

} // namespace

TEST(Secrets, SettingsFileStaysOwnerOnlyAfterEverySavePath)
{
    AppState state = stateWithAccount(110);
    const QList<std::pair<const char*, std::function<void(SettingsStore&)>>> paths = {
        { "accounts", [&](SettingsStore& s) { state.accounts.save(s); } },
        { "options", [&](SettingsStore& s) { WriteOptions(s, state.options); } },
        { "log settings", [&](SettingsStore& s) { WriteLogSettings(s, state.options); } },
        { "filters", [&](SettingsStore& s) { state.filters.save(s); } },
        { "sound rules", [&](SettingsStore& s) { state.wavActions.save(s); } },
        { "geometry", [&](SettingsStore& s) { WriteNormalGeometry(s, 10, 20, 3000, 4000); } },
        { "maximized", [&](SettingsStore& s) { WriteMaximizedState(s); } },
    };
    // The file as the program made it; as a backup restored it (world-readable); and gone while
    // the program runs (a new one is made).
    enum class Start { Fresh, WorldReadable, Removed };
    for (const Start start : { Start::Fresh, Start::WorldReadable, Start::Removed }) {
        for (const auto& [name, save] : paths) {
            SCOPED_TRACE(name);
            SCOPED_TRACE(int(start));
            QTemporaryDir dir;
            const QString file = dir.filePath(QStringLiteral("Ormisk.conf"));
            SettingsStore store(file);
            ASSERT_TRUE(ownerOnly(file));
            if (start == Start::WorldReadable) {
                ASSERT_TRUE(
                    QFile::setPermissions(file, QFile::permissions(file) | QFile::ReadGroup | QFile::ReadOther));
            } else if (start == Start::Removed) {
                ASSERT_TRUE(QFile::remove(file));
            }
            save(store);
            // Whatever the settings object writes on its own from the event loop, too.
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents();
            if (QFile::exists(file)) {
                EXPECT_TRUE(ownerOnly(file)) << "before the explicit save";
            }
            ASSERT_TRUE(store.sync());
            EXPECT_TRUE(ownerOnly(file));
            QFile contents(file);
            ASSERT_TRUE(contents.open(QIODevice::ReadOnly));
            EXPECT_FALSE(contents.readAll().contains(kPassword.toUtf8())) << "the password is stored scrambled";
        }
    }
}

TEST(Secrets, ProgramOutputNeverShowsThePassword)
{
    ScriptedPopServer server;
    server.addUser(QStringLiteral("ann"), kPassword, { "Subject: Hi\r\nFrom: Bob\r\nMessage-Id: <1@x>\r\n\r\nx\r\n" });
    ASSERT_TRUE(server.start());
    // A refused login, a dropped login, a drop in the middle and a normal check.
    const QList<QList<PopFault>> faults = {
        {},
        { { PopFault::Kind::ErrReply, "PASS" } },
        { { PopFault::Kind::DropBeforeReply, "PASS" } },
        { { PopFault::Kind::DropMidReply, "TOP" } },
        { { PopFault::Kind::GarbageGreeting, {} } },
    };
    for (const QList<PopFault>& round : faults) {
        server.clearFaults();
        for (const PopFault& fault : round)
            server.addFault(fault);
        QTemporaryDir profile;
        {
            SettingsStore store(profile.filePath(QStringLiteral("Ormisk.conf")));
            stateWithAccount(server.port()).accounts.save(store);
        }
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // Everything the program might say, debug output included.
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=true"));
        process.setProcessEnvironment(env);
        process.start(
            QStringLiteral(ORMISK_BINARY), { QStringLiteral("--profile"), profile.path(), QStringLiteral("--once") });
        ASSERT_TRUE(process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, 20000);
        const QByteArray out = process.readAllStandardOutput();
        const QByteArray err = process.readAllStandardError();
        EXPECT_TRUE(out.contains("Work")) << out.constData();
        EXPECT_FALSE(out.contains(kPassword.toUtf8()));
        EXPECT_FALSE(err.contains(kPassword.toUtf8())) << err.constData();
        QFile logs(profile.filePath(QStringLiteral("Logs/Master.doc")));
        if (logs.open(QIODevice::ReadOnly)) {
            EXPECT_FALSE(logs.readAll().contains(kPassword.toUtf8()));
        }
    }
    // The stored password did reach the server (in the rounds that got that far).
    EXPECT_TRUE(server.sawCommand("PASS"));
}
