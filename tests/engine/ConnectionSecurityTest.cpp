// What an account's security choice makes of its connection, against the scriptable test server:
// an automatic account remembers STARTTLS after its first TLS connection and then refuses a server
// that stops offering it, before the password goes out; "None" stays plain on purpose.
#include "RealServerFixture.h"

#include "demo/ScriptedPopServer.h"
#include "store/SettingsStore.h"
#include "support/TestCertificates.h"

#include <QTemporaryDir>

using namespace ormisk;
using namespace ormisk::test;
using namespace ormisk::testing;

namespace {

class ConnectionSecurity : public RealServerFixture {
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(certs.create(certDir.path(), &error)) << qPrintable(error);
        server.setTlsIdentity(certs.serverCertificate(), certs.serverKey());
        ASSERT_TRUE(server.start());
        server.addUser(QStringLiteral("ann"), QStringLiteral("secret"),
            { mail("Hi", "Ann <ann@example.com>", "<1@ormisk.test>", 500) });
        pop.setCaFile(certs.caFile);
        state.store = &store;
    }
    void offerStls(bool on)
    {
        const auto base = server.capabilities() & ~ScriptedPopServer::Capabilities(ScriptedPopServer::Stls);
        server.setCapabilities(on ? base | ScriptedPopServer::Stls : base);
    }
    [[nodiscard]] bool passwordSentInClear() const
    {
        for (const auto& r : server.received()) {
            if (!r.encrypted && (r.line.startsWith("PASS") || r.line.contains("secret")))
                return true;
        }
        return false;
    }

    QTemporaryDir certDir;
    TestCertificates certs;
    ScriptedPopServer server;
    SettingsStore store { logDir.filePath(QStringLiteral("Ormisk.conf")) };
};

} // namespace

TEST_F(ConnectionSecurity, AutomaticAccountRemembersStartTlsAndRefusesTheDowngrade)
{
    offerStls(true);
    const int work = addAccount(QStringLiteral("Work"), server.port(), QStringLiteral("ann"));
    state.accounts.save(store);
    check(work);
    EXPECT_EQ(tree.accountTexts.last(), QStringLiteral("Work --- 1 message --- Totaling 500 bytes."));
    EXPECT_EQ(state.account(work).Security, AccountSecurity::StartTls);
    EXPECT_EQ(store.read(Section::Accounts, QStringLiteral("Security1")), QStringLiteral("STARTTLS"));
    EXPECT_FALSE(passwordSentInClear());

    // A man in the middle strips STLS: the remembered choice refuses before USER and PASS.
    offerStls(false);
    check(work);
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- Error Connecting!"));
    EXPECT_FALSE(passwordSentInClear());
    EXPECT_EQ(state.account(work).Security, AccountSecurity::StartTls);
}

TEST_F(ConnectionSecurity, PlainOnPurposeAndPlainByNecessity)
{
    // Automatic against a server without STLS: plain as before, nothing remembered.
    offerStls(false);
    const int plain = addAccount(QStringLiteral("Old"), server.port(), QStringLiteral("ann"));
    check(plain);
    EXPECT_EQ(tree.accountTexts.last(), QStringLiteral("Old --- 1 message --- Totaling 500 bytes."));
    EXPECT_EQ(state.account(plain).Security, AccountSecurity::Automatic);

    // "None" never asks for STLS, even where it is offered.
    offerStls(true);
    const int none = addAccount(QStringLiteral("Lab"), server.port(), QStringLiteral("ann"));
    state.account(none).Security = AccountSecurity::None;
    const int stlsBefore = server.commandCount("STLS");
    check(none);
    EXPECT_EQ(tree.accountTexts.last(), QStringLiteral("Lab --- 1 message --- Totaling 500 bytes."));
    EXPECT_EQ(server.commandCount("STLS"), stlsBefore);
    EXPECT_EQ(state.account(none).Security, AccountSecurity::None);
}

TEST_F(ConnectionSecurity, TlsChoiceSpeaksTlsFromTheFirstByteOnAnyPort)
{
    server.setImplicitTls(true);
    const int work = addAccount(QStringLiteral("Work"), server.port(), QStringLiteral("ann"));
    state.account(work).Security = AccountSecurity::Tls;
    check(work);
    EXPECT_EQ(tree.accountTexts.last(), QStringLiteral("Work --- 1 message --- Totaling 500 bytes."));
    EXPECT_FALSE(passwordSentInClear());
    EXPECT_FALSE(server.sawCommand("STLS"));
}
