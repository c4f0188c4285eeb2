// Every way the test server can misbehave, and where the client must end up: always idle, in
// (2, 4) when the link survived and (0, 6) when it did not, within the shortened time-outs.
#include "pop/PopClient.h"
#include "demo/MailboxGenerator.h"
#include "demo/PopTestServer.h"
#include "support/PopRecorder.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace ormisk;
using namespace ormisk::testing;

namespace {

enum class Step { Connect, Authenticate, Size, Header, Delete, Quit };

struct FaultRow {
    const char* name;
    QList<PopFault> faults;
    Step failingStep; // the steps before it must succeed
    const char* finalState; // "P,C" after the failing step
    const char* events; // events of the failing step, e.g. "doc 4", or ""
    PopTestServer::Capabilities caps = PopTestServer::Capabilities(PopTestServer::Top | PopTestServer::User);
    bool oversizedHeader = false;
    bool capaSupported = true;
};

void run(PopClient& pop, Step step)
{
    switch (step) {
    case Step::Connect:
        pop.connectToServer();
        break;
    case Step::Authenticate:
        pop.authenticate();
        break;
    case Step::Size:
        pop.requestMessageSize(1);
        break;
    case Step::Header:
        pop.retrieveHeader(1);
        break;
    case Step::Delete:
        pop.deleteMessage(1);
        break;
    case Step::Quit:
        pop.quit();
        break;
    }
}

const char* succeededState(Step step)
{
    return step == Step::Connect ? "1,4" : step == Step::Quit ? "0,6" : "2,4";
}

} // namespace

TEST(PopClientFaults, EveryFaultEndsIdleInTheRightState)
{
    using K = PopFault::Kind;
    const QList<FaultRow> rows = {
        { "no greeting", { { K::NoGreeting, {} } }, Step::Connect, "0,6", "" },
        { "garbage greeting", { { K::GarbageGreeting, {} } }, Step::Connect, "0,6", "" },
        { "endless greeting line", { { K::EndlessLine, {} } }, Step::Connect, "0,6", "" },
        { "drop on CAPA", { { K::DropBeforeReply, "CAPA" } }, Step::Connect, "0,6", "" },
        { "CAPA unknown still connects", {}, Step::Connect, "1,4", "", PopTestServer::Top, false, false },
        { "drop after USER", { { K::DropBeforeReply, "USER" } }, Step::Authenticate, "0,6", "" },
        { "drop after PASS", { { K::DropBeforeReply, "PASS" } }, Step::Authenticate, "0,6", "" },
        { "drop after STAT", { { K::DropBeforeReply, "STAT" } }, Step::Authenticate, "0,6", "" },
        { "PASS never answered", { { K::Withhold, "PASS" } }, Step::Authenticate, "0,6", "" },
        { "USER refused", { { K::ErrReply, "USER" } }, Step::Authenticate, "0,6", "" },
        { "drop during LIST", { { K::DropMidReply, "LIST" } }, Step::Size, "0,6", "" },
        { "LIST never answered", { { K::Withhold, "LIST" } }, Step::Size, "0,6", "" },
        { "LIST too late", { { K::Delay, "LIST", 2000 } }, Step::Size, "0,6", "" },
        { "LIST a little late", { { K::Delay, "LIST", 30 } }, Step::Size, "2,4", "size" },
        { "LIST refused", { { K::ErrReply, "LIST", 0, 1 } }, Step::Size, "2,4", "" },
        { "drop mid-TOP", { { K::DropMidReply, "TOP" } }, Step::Header, "0,6", "doc 4" },
        { "TOP refused", { { K::ErrReply, "TOP" } }, Step::Header, "2,4", "doc 4" },
        { "no TOP", {}, Step::Header, "2,4", "doc 4", PopTestServer::Capabilities(PopTestServer::User) },
        { "TOP without CAPA still tried", {}, Step::Header, "2,4", "doc 2", PopTestServer::Top, false, false },
        { "endless line in TOP", { { K::EndlessLine, "TOP" } }, Step::Header, "0,6", "doc 4" },
        { "TOP never answered", { { K::Withhold, "TOP" } }, Step::Header, "0,6", "doc 4" },
        { "oversized header", {}, Step::Header, "2,4", "doc 4", PopTestServer::Top, true },
        { "DELE refused", { { K::ErrReply, "DELE" } }, Step::Delete, "2,4", "" },
        { "drop on DELE", { { K::DropBeforeReply, "DELE" } }, Step::Delete, "0,6", "" },
        { "QUIT never answered", { { K::Withhold, "QUIT" } }, Step::Quit, "0,6", "" },
        { "drop on QUIT", { { K::DropBeforeReply, "QUIT" } }, Step::Quit, "0,6", "" },
    };
    const QList<Step> order = { Step::Connect, Step::Authenticate, Step::Size, Step::Header, Step::Delete, Step::Quit };
    for (const FaultRow& row : rows) {
        SCOPED_TRACE(row.name);
        PopTestServer server;
        QList<QByteArray> mailbox = MailboxGenerator(5).generateRaw(2);
        if (row.oversizedHeader)
            mailbox[0] = MailboxGenerator::oversizedHeaderMessage(2 * 1024 * 1024);
        server.addUser(QStringLiteral("bob"), QStringLiteral("pw"), mailbox);
        server.setCapabilities(row.caps);
        server.setCapaSupported(row.capaSupported);
        for (const PopFault& fault : row.faults)
            server.addFault(fault);
        ASSERT_TRUE(server.start());

        PopClient pop;
        pop.setRemoteHost(QStringLiteral("127.0.0.1"));
        pop.setRemotePort(server.port());
        pop.setUserId(QStringLiteral("bob"));
        pop.setPassword(QStringLiteral("pw"));
        pop.setConnectTimeout(200);
        pop.setTlsHandshakeTimeout(200);
        pop.setReplyTimeout(300);
        PopRecorder rec(pop);
        for (const Step step : order) {
            rec.clear();
            QElapsedTimer clock;
            clock.start();
            ASSERT_TRUE(runRequest(
                pop, [&] { run(pop, step); }, 5000));
            EXPECT_LT(clock.elapsed(), 3000);
            if (step != row.failingStep) {
                ASSERT_EQ(statePair(pop), QString::fromLatin1(succeededState(step))) << qPrintable(pop.lastError());
                continue;
            }
            EXPECT_EQ(statePair(pop), QString::fromLatin1(row.finalState)) << qPrintable(pop.lastError());
            QStringList events;
            for (const QString& entry : rec.log) {
                if (entry.startsWith(QStringLiteral("doc")) || entry == QStringLiteral("deleted"))
                    events << entry;
                else if (entry.startsWith(QStringLiteral("size")))
                    events << QStringLiteral("size");
            }
            EXPECT_EQ(events.join(u' '), QString::fromLatin1(row.events));
            EXPECT_EQ(rec.log.last(), QStringLiteral("idle"));
            break;
        }
        EXPECT_FALSE(rec.eventWhileIdle);
        if (pop.connectionState() == PopComponent::Connected && pop.protocolState() == PopComponent::Transaction) {
            // The link survived: the conversation is still in step.
            rec.clear();
            ASSERT_TRUE(runRequest(
                pop, [&] { pop.requestMessageSize(2); }, 5000));
            EXPECT_EQ(rec.sizes.size(), 1);
        }
        if (row.failingStep == Step::Header && row.caps == PopTestServer::Capabilities(PopTestServer::User)) {
            EXPECT_FALSE(server.sawCommand("TOP"));
        }
        EXPECT_FALSE(server.sawCommand("RETR"));
        EXPECT_FALSE(server.sawCommand("RSET"));
        ASSERT_TRUE(runRequest(
            pop, [&] { pop.quit(); }, 5000));
        EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
    }
}

TEST(PopClientFaults, TimeOutsAreShortenable)
{
    PopClient pop;
    EXPECT_EQ(pop.connectTimeout(), PopClient::kDefaultConnectTimeout);
    EXPECT_EQ(pop.tlsHandshakeTimeout(), PopClient::kDefaultTlsTimeout);
    EXPECT_EQ(pop.replyTimeout(), PopClient::kDefaultReplyTimeout);
    // A silent server that accepted the link: the greeting wait ends the connect.
    PopTestServer server;
    server.addFault({ PopFault::Kind::NoGreeting, {} });
    ASSERT_TRUE(server.start());
    pop.setRemoteHost(QStringLiteral("127.0.0.1"));
    pop.setRemotePort(server.port());
    pop.setReplyTimeout(150);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(runRequest(
        pop, [&] { pop.connectToServer(); }, 5000));
    EXPECT_GE(clock.elapsed(), 140);
    EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
    // Implicit TLS against a server that never speaks TLS: the handshake wait ends it.
    pop.setTlsMode(PopClient::TlsMode::ImplicitTls);
    pop.setTlsHandshakeTimeout(150);
    ASSERT_TRUE(runRequest(
        pop, [&] { pop.connectToServer(); }, 5000));
    EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
}
