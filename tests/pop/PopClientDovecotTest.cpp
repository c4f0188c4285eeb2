// The client against a real POP3 server (a private dovecot on loopback).
#include "demo/MailboxGenerator.h"
#include "pop/PopClient.h"
#include "support/Dovecot.h"
#include "support/PopRecorder.h"
#include "support/StlsStrippingRelay.h"

#include <gtest/gtest.h>

#include <memory>

using namespace ormisk;
using namespace ormisk::testing;

namespace {

class PopClientDovecot : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (Dovecot::binary().isEmpty())
            return;
        s_messages = MailboxGenerator(11).generate(8);
        s_dovecot = std::make_unique<Dovecot>();
        s_dovecot->addUser(QStringLiteral("alice"), QStringLiteral("secret"));
        s_dovecot->addUser(QStringLiteral("carol"), QStringLiteral("secret"));
        for (const auto& m : s_messages)
            s_dovecot->deliver(QStringLiteral("alice"), m.raw);
        s_dovecot->deliver(QStringLiteral("carol"), s_messages[0].raw);
        s_dovecot->deliver(QStringLiteral("carol"), s_messages[1].raw);
        if (!s_dovecot->start(&s_error))
            s_dovecot.reset();
    }
    static void TearDownTestSuite() { s_dovecot.reset(); }

    void SetUp() override
    {
        ORMISK_REQUIRE_DOVECOT();
        ASSERT_TRUE(s_dovecot) << qPrintable(s_error);
    }

    static void point(PopClient& pop, quint16 port, const QString& user = QStringLiteral("alice"))
    {
        pop.setRemoteHost(QStringLiteral("127.0.0.1"));
        pop.setRemotePort(port);
        pop.setUserId(user);
        pop.setPassword(QStringLiteral("secret"));
        pop.setCaFile(s_dovecot->certificates().caFile);
    }

    static inline std::unique_ptr<Dovecot> s_dovecot;
    static inline QList<GeneratedMessage> s_messages;
    static inline QString s_error;
};

} // namespace

TEST_F(PopClientDovecot, StlsConversationReadsEveryHeaderDecoded)
{
    PopClient pop;
    point(pop, s_dovecot->plainPort());
    PopRecorder rec(pop);
    ASSERT_TRUE(runRequest(pop, [&] { pop.connectToServer(); }));
    ASSERT_EQ(statePair(pop), QStringLiteral("1,4")) << qPrintable(pop.lastError());
    EXPECT_TRUE(pop.isEncrypted());
    ASSERT_TRUE(runRequest(pop, [&] { pop.authenticate(); }));
    ASSERT_EQ(statePair(pop), QStringLiteral("2,4")) << qPrintable(pop.lastError());
    ASSERT_EQ(pop.messageCount(), s_messages.size());
    for (qint16 i = 1; i <= pop.messageCount(); ++i) {
        SCOPED_TRACE(i);
        const auto& expected = s_messages[i - 1];
        rec.clear();
        ASSERT_TRUE(runRequest(pop, [&] { pop.requestMessageSize(i); }));
        ASSERT_EQ(rec.sizes.size(), 1);
        EXPECT_EQ(rec.sizes[0], expected.raw.size() + expected.raw.count('\n'));
        ASSERT_TRUE(runRequest(pop, [&] { pop.retrieveHeader(i); }));
        ASSERT_EQ(rec.docs.size(), 1);
        ASSERT_EQ(rec.docs[0].state, DocOutput::HeadersAvailable);
        const auto& items = rec.docs[0].headers;
        ASSERT_EQ(items.size(), expected.fields.size());
        for (qsizetype f = 0; f < items.size(); ++f) {
            EXPECT_EQ(items[f].name, expected.fields[f].name);
            EXPECT_EQ(items[f].value, expected.fields[f].value);
        }
    }
    EXPECT_FALSE(rec.eventWhileIdle);
    ASSERT_TRUE(runRequest(pop, [&] { pop.quit(); }));
    EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
    ASSERT_TRUE(s_dovecot->waitForLog(QStringLiteral("top=8/")));
    const QStringList logins = s_dovecot->logLines(QStringLiteral("Login: user=<alice>"));
    ASSERT_FALSE(logins.isEmpty());
    EXPECT_TRUE(logins.last().contains(QStringLiteral("TLS")));
    EXPECT_TRUE(s_dovecot->log().contains(QStringLiteral("retr=0/0")));
}

TEST_F(PopClientDovecot, ImplicitTlsDeletesAndQuitCommits)
{
    PopClient pop;
    point(pop, s_dovecot->tlsPort(), QStringLiteral("carol"));
    pop.setTlsMode(PopClient::TlsMode::ImplicitTls);
    PopRecorder rec(pop);
    ASSERT_TRUE(runRequest(pop, [&] { pop.connectToServer(); }));
    ASSERT_EQ(statePair(pop), QStringLiteral("1,4")) << qPrintable(pop.lastError());
    EXPECT_TRUE(pop.isEncrypted());
    ASSERT_TRUE(runRequest(pop, [&] { pop.authenticate(); }));
    ASSERT_EQ(pop.messageCount(), 2);
    rec.clear();
    ASSERT_TRUE(runRequest(pop, [&] { pop.deleteMessage(2); }));
    EXPECT_EQ(rec.deletes, 1);
    // A message marked deleted cannot be read any more; the link stays up.
    rec.clear();
    ASSERT_TRUE(runRequest(pop, [&] { pop.retrieveHeader(2); }));
    EXPECT_EQ(rec.log.join(u' '), QStringLiteral("busy doc 4 idle"));
    EXPECT_EQ(statePair(pop), QStringLiteral("2,4"));
    ASSERT_TRUE(runRequest(pop, [&] { pop.quit(); }));
    EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
    ASSERT_TRUE(s_dovecot->waitForLog(QStringLiteral("del=1/2")));

    // The next conversation sees one message.
    ASSERT_TRUE(runRequest(pop, [&] { pop.connectToServer(); }));
    ASSERT_TRUE(runRequest(pop, [&] { pop.authenticate(); }));
    EXPECT_EQ(pop.messageCount(), 1);
    ASSERT_TRUE(runRequest(pop, [&] { pop.quit(); }));
    EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
}

TEST_F(PopClientDovecot, UntrustedCertificateFailsBeforeAnyLogin)
{
    const qsizetype loginsBefore = s_dovecot->logLines(QStringLiteral("Login: user=<alice>")).size();
    for (const bool implicit : { false, true }) {
        SCOPED_TRACE(implicit ? "implicit TLS" : "STLS");
        PopClient pop;
        point(pop, implicit ? s_dovecot->tlsPort() : s_dovecot->plainPort());
        pop.setTlsMode(implicit ? PopClient::TlsMode::ImplicitTls : PopClient::TlsMode::Automatic);
        pop.setCaFile(s_dovecot->certificates().otherCaFile);
        ASSERT_TRUE(runRequest(pop, [&] { pop.connectToServer(); }));
        EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
        ASSERT_TRUE(runRequest(pop, [&] { pop.authenticate(); }));
        EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
    }
    EXPECT_EQ(s_dovecot->logLines(QStringLiteral("Login: user=<alice>")).size(), loginsBefore);
}

TEST_F(PopClientDovecot, WrongPasswordEndsClosed)
{
    PopClient pop;
    point(pop, s_dovecot->plainPort());
    pop.setPassword(QStringLiteral("not the password"));
    ASSERT_TRUE(runRequest(pop, [&] { pop.connectToServer(); }));
    ASSERT_TRUE(runRequest(
        pop, [&] { pop.authenticate(); }, 30'000)); // dovecot delays failed logins
    EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
}

// Behind a man in the middle who strips STLS: required TLS refuses before the password is sent;
// plain text on purpose still logs in; TLS from the first byte cannot be stripped.
TEST_F(PopClientDovecot, StlsStrippedOnTheWay)
{
    struct Row {
        const char* name;
        PopClient::TlsMode mode;
        bool tlsPort;
        const char* statesAfterLogin;
        bool passwordSeen;
    };
    const QList<Row> rows = {
        { "STLS required", PopClient::TlsMode::StartTlsRequired, false, "0,6", false },
        { "plain on purpose", PopClient::TlsMode::Plain, false, "2,4", true },
        { "TLS from the first byte", PopClient::TlsMode::ImplicitTls, true, "2,4", false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        StlsStrippingRelay relay(row.tlsPort ? s_dovecot->tlsPort() : s_dovecot->plainPort());
        ASSERT_TRUE(relay.start());
        PopClient pop;
        point(pop, relay.port());
        pop.setTlsMode(row.mode);
        ASSERT_TRUE(runRequest(pop, [&] { pop.connectToServer(); }));
        if (row.mode == PopClient::TlsMode::StartTlsRequired) {
            EXPECT_EQ(pop.lastFailure().reason, PopFailure::Reason::StartTlsRefused);
        }
        ASSERT_TRUE(runRequest(pop, [&] { pop.authenticate(); }));
        EXPECT_EQ(statePair(pop), QString::fromLatin1(row.statesAfterLogin)) << qPrintable(pop.lastError());
        EXPECT_EQ(pop.isEncrypted(), row.tlsPort);
        EXPECT_EQ(relay.clientBytes().contains("secret"), row.passwordSeen);
        ASSERT_TRUE(runRequest(pop, [&] { pop.quit(); }));
    }
}
