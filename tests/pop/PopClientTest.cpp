// The client against the scriptable test server: state sequences, events, TLS.
#include "pop/PopClient.h"
#include "demo/MailboxGenerator.h"
#include "demo/ScriptedPopServer.h"
#include "support/PopRecorder.h"
#include "support/Strings.h"
#include "support/TestCertificates.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ormisk;
using namespace ormisk::testing;

namespace {

const QString kUser = QStringLiteral("alice");
const QString kPassword = QStringLiteral("secret");

void point(PopClient& pop, quint16 port, const QString& password = kPassword)
{
    pop.setRemoteHost(QStringLiteral("127.0.0.1"));
    pop.setRemotePort(port);
    pop.setUserId(kUser);
    pop.setPassword(password);
}

const TestCertificates& certificates() { return sharedTestCertificates(); }

} // namespace

TEST(PopClient, FullConversationReportsEveryStepInOrder)
{
    const auto generated = MailboxGenerator(7).generate(3);
    ScriptedPopServer server;
    QList<QByteArray> raw;
    for (const auto& m : generated)
        raw << m.raw;
    server.addUser(kUser, kPassword, raw);
    ASSERT_TRUE(server.start());
    PopClient pop;
    point(pop, server.port());
    PopRecorder rec(pop);

    ASSERT_TRUE(runRequest(pop, [&] { pop.connectToServer(); }));
    EXPECT_EQ(rec.log, strings({ "busy", "state 0,4", "state 1,4", "idle" }));
    rec.clear();
    ASSERT_TRUE(runRequest(pop, [&] { pop.authenticate(); }));
    EXPECT_EQ(rec.log, strings({ "busy", "state 2,4", "idle" }));
    EXPECT_EQ(pop.messageCount(), 3);
    rec.clear();
    ASSERT_TRUE(runRequest(pop, [&] { pop.requestMessageSize(2); }));
    EXPECT_EQ(rec.log,
        QStringList(
            { QStringLiteral("busy"), QStringLiteral("size %1").arg(rec.sizes.value(0)), QStringLiteral("idle") }));
    EXPECT_EQ(rec.sizes.value(0), raw[1].size() + raw[1].count('\n')); // CR LF on the wire
    rec.clear();
    ASSERT_TRUE(runRequest(pop, [&] { pop.retrieveHeader(2); }));
    EXPECT_EQ(rec.log, strings({ "busy", "doc 2", "idle" }));
    ASSERT_EQ(rec.docs.size(), 1);
    ASSERT_EQ(rec.docs[0].headers.size(), generated[1].fields.size());
    for (qsizetype i = 0; i < generated[1].fields.size(); ++i) {
        EXPECT_EQ(rec.docs[0].headers[i].name, generated[1].fields[i].name);
        EXPECT_EQ(rec.docs[0].headers[i].value, generated[1].fields[i].value);
    }
    rec.clear();
    ASSERT_TRUE(runRequest(pop, [&] { pop.deleteMessage(1); }));
    EXPECT_EQ(rec.log, strings({ "busy", "deleted", "idle" }));
    rec.clear();
    ASSERT_TRUE(runRequest(pop, [&] { pop.quit(); }));
    EXPECT_EQ(rec.log, strings({ "busy", "state 0,6", "idle" }));
    EXPECT_FALSE(rec.eventWhileIdle);
    EXPECT_EQ(server.messages(kUser).size(), 2); // QUIT committed the deletion
    EXPECT_FALSE(server.sawCommand("RETR"));
    EXPECT_FALSE(server.sawCommand("RSET"));
}

TEST(PopClient, WrongPasswordEndsClosed)
{
    ScriptedPopServer server;
    server.addUser(kUser, kPassword);
    ASSERT_TRUE(server.start());
    PopClient pop;
    point(pop, server.port(), QStringLiteral("wrong"));
    ASSERT_TRUE(runRequest(pop, [&] { pop.connectToServer(); }));
    ASSERT_TRUE(runRequest(pop, [&] { pop.authenticate(); }));
    EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
}

TEST(PopClient, RequestsOutsideTheirStateEndIdleWithoutTouchingTheServer)
{
    PopClient pop;
    PopRecorder rec(pop);
    ASSERT_TRUE(runRequest(pop, [&] { pop.requestMessageSize(1); }));
    ASSERT_TRUE(runRequest(pop, [&] { pop.retrieveHeader(1); }));
    ASSERT_TRUE(runRequest(pop, [&] { pop.authenticate(); }));
    ASSERT_TRUE(runRequest(pop, [&] { pop.quit(); }));
    EXPECT_EQ(rec.docs.size(), 1);
    EXPECT_EQ(rec.docs[0].state, DocOutput::TransferError);
    EXPECT_TRUE(rec.sizes.isEmpty());
    EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
    // Nobody listening: refused at once, closed.
    ScriptedPopServer server;
    ASSERT_TRUE(server.start());
    const quint16 port = server.port();
    server.close();
    point(pop, port);
    ASSERT_TRUE(runRequest(pop, [&] { pop.connectToServer(); }));
    EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
}

TEST(PopClient, CancelAbortsARunningRequest)
{
    ScriptedPopServer server;
    server.addUser(kUser, kPassword, MailboxGenerator(1).generateRaw(2));
    server.addFault({ PopFault::Kind::Withhold, "TOP" });
    ASSERT_TRUE(server.start());
    PopClient pop;
    point(pop, server.port());
    ASSERT_TRUE(runRequest(pop, [&] { pop.connectToServer(); }));
    ASSERT_TRUE(runRequest(pop, [&] { pop.authenticate(); }));
    PopRecorder rec(pop);
    pop.retrieveHeader(1);
    ASSERT_TRUE(pop.busy());
    QObject::connect(&server, &ScriptedPopServer::commandReceived, &pop, [&](const QByteArray& line) {
        if (line.startsWith("TOP"))
            pop.cancel();
    });
    ASSERT_TRUE(runRequest(
                    pop, [] {}, 5000)
        || !pop.busy());
    EXPECT_FALSE(pop.busy());
    EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
    EXPECT_TRUE(rec.docs.isEmpty());
}

TEST(PopClient, UserIdWithALineBreakIsNeverSent)
{
    ScriptedPopServer server;
    server.addUser(kUser, kPassword);
    ASSERT_TRUE(server.start());
    PopClient pop;
    point(pop, server.port());
    pop.setUserId(QStringLiteral("alice\r\nDELE 1"));
    ASSERT_TRUE(runRequest(pop, [&] { pop.connectToServer(); }));
    ASSERT_TRUE(runRequest(pop, [&] { pop.authenticate(); }));
    EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
    EXPECT_FALSE(server.sawCommand("USER"));
    EXPECT_FALSE(server.sawCommand("DELE"));
}

// --- TLS against the test server -------------------------------------------------------------

struct TlsCase {
    const char* name;
    PopClient::TlsMode mode;
    bool implicitServer;
    ScriptedPopServer::Capabilities caps;
    bool trustCa;
    bool loginExpected;
    bool encryptedLogin;
    bool refuseStls = false; // -ERR to STLS although CAPA names it
};

TEST(PopClient, TlsModesAgainstTheTestServer)
{
    const auto& certs = certificates();
    const auto withStls = ScriptedPopServer::Capabilities(ScriptedPopServer::Top | ScriptedPopServer::Stls);
    const auto noStls = ScriptedPopServer::Capabilities(ScriptedPopServer::Top);
    const QList<TlsCase> cases = {
        { "automatic takes STLS when offered", PopClient::TlsMode::Automatic, false, withStls, true, true, true },
        { "automatic stays plain without STLS", PopClient::TlsMode::Automatic, false, noStls, true, true, false },
        { "required STLS missing: no login", PopClient::TlsMode::StartTlsRequired, false, noStls, true, false, false },
        { "required STLS", PopClient::TlsMode::StartTlsRequired, false, withStls, true, true, true },
        { "implicit TLS", PopClient::TlsMode::ImplicitTls, true, noStls, true, true, true },
        { "plain ignores STLS", PopClient::TlsMode::Plain, false, withStls, true, true, false },
        { "STLS with an untrusted certificate", PopClient::TlsMode::Automatic, false, withStls, false, false, false },
        { "implicit TLS with an untrusted certificate", PopClient::TlsMode::ImplicitTls, true, noStls, false, false,
            false },
        { "STLS offered but refused: no login in plain text", PopClient::TlsMode::Automatic, false, withStls, true,
            false, false, true },
    };
    for (const TlsCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedPopServer server;
        server.addUser(kUser, kPassword, MailboxGenerator(3).generateRaw(1));
        server.setCapabilities(c.caps);
        server.setTlsIdentity(certs.serverCertificate(), certs.serverKey());
        server.setImplicitTls(c.implicitServer);
        if (c.refuseStls)
            server.addFault({ PopFault::Kind::ErrReply, "STLS" });
        ASSERT_TRUE(server.start());
        PopClient pop;
        point(pop, server.port());
        pop.setTlsMode(c.mode);
        pop.setCaFile(c.trustCa ? certs.caFile : certs.otherCaFile);
        ASSERT_TRUE(runRequest(pop, [&] { pop.connectToServer(); }));
        if (pop.protocolState() == PopComponent::Authorization) {
            ASSERT_TRUE(runRequest(pop, [&] { pop.authenticate(); }));
        }
        EXPECT_EQ(statePair(pop), c.loginExpected ? QStringLiteral("2,4") : QStringLiteral("0,6"))
            << qPrintable(pop.lastError());
        EXPECT_EQ(pop.isEncrypted(), c.encryptedLogin);
        if (c.refuseStls || (c.mode == PopClient::TlsMode::StartTlsRequired && c.caps == noStls)) {
            EXPECT_EQ(pop.lastFailure().reason, PopFailure::Reason::StartTlsRefused);
        }
        bool passInPlain = false;
        for (const auto& r : server.received())
            passInPlain = passInPlain || (r.line.startsWith("PASS") && !r.encrypted);
        EXPECT_EQ(server.sawCommand("PASS"), c.loginExpected);
        if (c.encryptedLogin || !c.loginExpected) {
            EXPECT_FALSE(passInPlain);
        }
        if (pop.protocolState() == PopComponent::Transaction) {
            ASSERT_TRUE(runRequest(pop, [&] { pop.retrieveHeader(1); }));
            ASSERT_TRUE(runRequest(pop, [&] { pop.quit(); }));
        }
        EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
    }
}

// A header cached from a plain link may have been forged on the way: a conversation over TLS
// fetches it again instead of showing it.
TEST(PopClient, HeadersCachedWithoutTlsAreNotTakenOverTls)
{
    const auto& certs = certificates();
    QTemporaryDir dir;
    ScriptedPopServer server;
    server.addUser(kUser, kPassword);
    server.setCapabilities(ScriptedPopServer::Top | ScriptedPopServer::Uidl | ScriptedPopServer::Stls);
    server.setTlsIdentity(certs.serverCertificate(), certs.serverKey());
    ASSERT_TRUE(server.start());
    auto subjectSeen = [&](PopClient::TlsMode mode, const QByteArray& subject) {
        server.setMessages(kUser, { "Subject: " + subject + "\n\nbody\n" }, { "same-id" });
        PopClient pop;
        point(pop, server.port());
        pop.setCacheFile(dir.filePath(QStringLiteral("header-cache")));
        pop.setTlsMode(mode);
        pop.setCaFile(certs.caFile);
        PopRecorder rec(pop);
        EXPECT_TRUE(runRequest(pop, [&] { pop.connectToServer(); }));
        EXPECT_TRUE(runRequest(pop, [&] { pop.authenticate(); }));
        EXPECT_TRUE(runRequest(pop, [&] { pop.requestMessageSize(1); }));
        EXPECT_TRUE(runRequest(pop, [&] { pop.retrieveHeader(1); }));
        EXPECT_TRUE(runRequest(pop, [&] { pop.quit(); }));
        return rec.docs.isEmpty() || rec.docs[0].headers.isEmpty() ? QString() : rec.docs[0].headers[0].value;
    };
    // Same id, same size: only the link tells the entries apart.
    EXPECT_EQ(subjectSeen(PopClient::TlsMode::Plain, "forged"), QStringLiteral("forged"));
    EXPECT_EQ(subjectSeen(PopClient::TlsMode::StartTlsRequired, "honest"), QStringLiteral("honest"));
    EXPECT_EQ(server.commandCount("TOP"), 2);
    // What came over TLS serves a plain conversation, too.
    EXPECT_EQ(subjectSeen(PopClient::TlsMode::Plain, "forged"), QStringLiteral("honest"));
    EXPECT_EQ(server.commandCount("TOP"), 2);
}

// Message numbers, the count and the loops over them are 32-bit, and the listings are read whole
// however long: a mailbox past 32,767 messages, with an id list over 2 MiB, one request at a time,
// pipelined, and answered from the cache.
TEST(PopClient, MailboxesBeyond32767MessagesAreReadWhole)
{
    constexpr int kCount = 40'000;
    QList<QByteArray> messages;
    QList<QByteArray> uids;
    for (int i = 1; i <= kCount; ++i) {
        messages << "Subject: m" + QByteArray::number(i) + "\nFrom: a@example.com\n\n" + QByteArray(i % 7, 'x') + '\n';
        uids << QByteArray::number(i).rightJustified(60, 'u');
    }
    ScriptedPopServer server;
    server.addUser(kUser, kPassword);
    server.setMessages(kUser, messages, uids);
    server.setCapabilities(
        ScriptedPopServer::Top | ScriptedPopServer::Uidl | ScriptedPopServer::User | ScriptedPopServer::Pipelining);
    ASSERT_TRUE(server.start());
    QTemporaryDir dir;
    struct Way {
        const char* name;
        bool pipelining;
        bool cache;
    };
    for (const Way& way : { Way { "one at a time", false, false }, Way { "pipelined", true, true },
             Way { "from the cache", true, true } }) {
        SCOPED_TRACE(way.name);
        PopClient pop;
        point(pop, server.port());
        pop.setPipelining(way.pipelining);
        pop.setCacheFile(way.cache ? dir.filePath(QStringLiteral("cache")) : QString());
        PopRecorder rec(pop);
        ASSERT_TRUE(runRequest(pop, [&] { pop.connectToServer(); }));
        ASSERT_TRUE(runRequest(pop, [&] { pop.authenticate(); }));
        ASSERT_EQ(pop.messageCount(), kCount);
        const int topsBefore = server.commandCount("TOP");
        for (const int n : { 1, 32767, 32768, kCount }) {
            rec.clear();
            ASSERT_TRUE(runRequest(pop, [&] { pop.requestMessageSize(n); }));
            ASSERT_EQ(rec.sizes.size(), 1) << n;
            EXPECT_EQ(rec.sizes[0], messages[n - 1].size() + messages[n - 1].count('\n')) << n;
        }
        for (const int n : { 32768, kCount }) {
            rec.clear();
            ASSERT_TRUE(runRequest(
                pop, [&] { pop.retrieveHeader(n); }, 30'000));
            ASSERT_EQ(rec.docs.size(), 1) << n;
            EXPECT_EQ(rec.docs[0].headers.value(0).value, QStringLiteral("m%1").arg(n));
        }
        ASSERT_TRUE(runRequest(pop, [&] { pop.quit(); }));
        if (QByteArrayView(way.name) == "from the cache") {
            EXPECT_EQ(server.commandCount("TOP"), topsBefore);
        }
    }
}
