// Passwords and the desktop keyring, with the real program on a private session bus: start-up
// moves the scrambled passwords into the keyring and logs in from there; without a keyring
// service the file keeps them and the user is told once.
#include "demo/MailboxGenerator.h"
#include "demo/ScriptedPopServer.h"
#include "store/Scramble.h"
#include "store/SettingsStore.h"
#include "support/PrivateKeyring.h"
#include "support/ServerProcess.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ormisk;
using ormisk::testing::MailboxGenerator;
using ormisk::testing::ScriptedPopServer;
using ormisk::testing::PrivateKeyring;

namespace {

const QString kPassword = QStringLiteral("Kr-9 secret");

class Keyring : public ::testing::Test {
protected:
    void SetUp() override
    {
        ORMISK_REQUIRE_KEYRING();
        QString error;
        ASSERT_TRUE(keyring.startBus(&error)) << qPrintable(error);
        server.addUser(QStringLiteral("ann"), kPassword, MailboxGenerator(5).generateRaw(2));
        ASSERT_TRUE(server.start());
        SettingsStore store(settingsFile());
        store.write(Section::Accounts, QStringLiteral("Total"), QStringLiteral("1"));
        store.write(Section::Accounts, QStringLiteral("Title1"), QStringLiteral("Work"));
        store.write(Section::Accounts, QStringLiteral("Host1"), QStringLiteral("127.0.0.1"));
        store.write(Section::Accounts, QStringLiteral("User1"), QStringLiteral("ann"));
        store.write(Section::Accounts, QStringLiteral("Password1"), ScrambleText(kPassword));
        store.write(Section::Accounts, QStringLiteral("Port1"), QString::number(server.port()));
        store.write(Section::Accounts, QStringLiteral("Disabled1"), QStringLiteral("False"));
    }

    [[nodiscard]] QString settingsFile() const { return profile.filePath(QStringLiteral("Ormisk.conf")); }
    [[nodiscard]] QString storedPassword() const
    {
        const SettingsStore store(settingsFile());
        return store.read(Section::Accounts, QStringLiteral("Password1"), QStringLiteral("<none>"));
    }
    // One `--once` run; its standard output, its standard error in `errors`.
    QString runOnce(QString* errors = nullptr)
    {
        QProcess p;
        QSignalSpy finished(&p, &QProcess::finished);
        p.setProcessEnvironment(keyring.environment());
        p.start(
            QStringLiteral(ORMISK_BINARY), { QStringLiteral("--once"), QStringLiteral("--profile"), profile.path() });
        if (!finished.wait(60000))
            return QStringLiteral("<timeout>");
        if (errors)
            *errors = QString::fromLocal8Bit(p.readAllStandardError());
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    PrivateKeyring keyring;
    ScriptedPopServer server;
    QTemporaryDir profile;
};

} // namespace

TEST_F(Keyring, StartUpMovesThePasswordAndLaterChecksLogInFromTheKeyring)
{
    QString error;
    ASSERT_TRUE(keyring.startKeyring(&error)) << qPrintable(error);
    QString errors;
    EXPECT_TRUE(runOnce(&errors).startsWith(QStringLiteral("Work --- 2 messages"))) << qPrintable(errors);
    EXPECT_EQ(storedPassword(), QString()) << "the file no longer holds it";
    EXPECT_FALSE(errors.contains(QStringLiteral("keyring")));

    // A new login: the daemon starts again on the same folders; the password is still there.
    keyring.stopKeyring();
    ASSERT_TRUE(keyring.startKeyring(&error)) << qPrintable(error);
    EXPECT_TRUE(runOnce(&errors).startsWith(QStringLiteral("Work --- 2 messages"))) << qPrintable(errors);
    EXPECT_EQ(server.commandCount("PASS"), 2);

    // The way back into the file.
    SettingsStore(settingsFile()).write(Section::Config, QStringLiteral("PasswordsInKeyring"), QStringLiteral("False"));
    EXPECT_TRUE(runOnce(&errors).startsWith(QStringLiteral("Work --- 2 messages"))) << qPrintable(errors);
    EXPECT_EQ(storedPassword(), ScrambleText(kPassword));
}

TEST_F(Keyring, WithoutAKeyringServiceTheFileKeepsThePasswordAndTheUserIsToldOnce)
{
    QString errors;
    EXPECT_TRUE(runOnce(&errors).startsWith(QStringLiteral("Work --- 2 messages"))) << qPrintable(errors);
    EXPECT_EQ(storedPassword(), ScrambleText(kPassword));
    EXPECT_TRUE(
        errors.contains(QStringLiteral("stay scrambled (not encrypted) in the settings file ") + settingsFile()))
        << qPrintable(errors);
    EXPECT_TRUE(runOnce(&errors).startsWith(QStringLiteral("Work --- 2 messages")));
    EXPECT_FALSE(errors.contains(QStringLiteral("settings file"))) << "told once";
    EXPECT_EQ(storedPassword(), ScrambleText(kPassword));
}
