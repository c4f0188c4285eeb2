// Every way the test server can misbehave, and where the client must end up: always idle, in
// (2, 4) when the link survived and (0, 6) when it did not, within the shortened time-outs.
#include "demo/MailboxGenerator.h"
#include "demo/ScriptedPopServer.h"
#include "pop/PopClient.h"
#include "support/PopRecorder.h"
#include "support/VirtualClock.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTest>
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
    PopFailure::Reason reason; // what lastFailure() says after it
    ScriptedPopServer::Capabilities caps
        = ScriptedPopServer::Capabilities(ScriptedPopServer::Top | ScriptedPopServer::User);
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

const char* succeededState(Step step) { return step == Step::Connect ? "1,4" : step == Step::Quit ? "0,6" : "2,4"; }

} // namespace

TEST(PopClientFaults, EveryFaultEndsIdleInTheRightState)
{
    using K = PopFault::Kind;
    using R = PopFailure::Reason;
    const auto noTop = ScriptedPopServer::Capabilities(ScriptedPopServer::User);
    const QList<FaultRow> rows = {
        { "no greeting", { { K::NoGreeting, {} } }, Step::Connect, "0,6", "", R::TimedOut },
        { "garbage greeting", { { K::GarbageGreeting, {} } }, Step::Connect, "0,6", "", R::Protocol },
        { "endless greeting line", { { K::EndlessLine, {} } }, Step::Connect, "0,6", "", R::Protocol },
        { "drop on CAPA", { { K::DropBeforeReply, "CAPA" } }, Step::Connect, "0,6", "", R::Link },
        { "CAPA unknown still connects", {}, Step::Connect, "1,4", "", R::None, ScriptedPopServer::Top, false, false },
        { "drop after USER", { { K::DropBeforeReply, "USER" } }, Step::Authenticate, "0,6", "", R::Link },
        { "drop after PASS", { { K::DropBeforeReply, "PASS" } }, Step::Authenticate, "0,6", "", R::Link },
        { "drop after STAT", { { K::DropBeforeReply, "STAT" } }, Step::Authenticate, "0,6", "", R::Link },
        { "PASS never answered", { { K::Withhold, "PASS" } }, Step::Authenticate, "0,6", "", R::TimedOut },
        { "USER refused", { { K::ErrReply, "USER" } }, Step::Authenticate, "0,6", "", R::LoginRefused },
        { "drop during LIST", { { K::DropMidReply, "LIST" } }, Step::Size, "0,6", "", R::Link },
        { "LIST never answered", { { K::Withhold, "LIST" } }, Step::Size, "0,6", "", R::TimedOut },
        { "LIST too late", { { K::Delay, "LIST", 2000 } }, Step::Size, "0,6", "", R::TimedOut },
        { "LIST a little late", { { K::Delay, "LIST", 30 } }, Step::Size, "2,4", "size", R::None },
        { "LIST refused", { { K::ErrReply, "LIST", 0, 1 } }, Step::Size, "2,4", "", R::Refused },
        { "drop mid-TOP", { { K::DropMidReply, "TOP" } }, Step::Header, "0,6", "doc 4", R::Link },
        { "TOP refused", { { K::ErrReply, "TOP" } }, Step::Header, "2,4", "doc 4", R::Refused },
        { "no TOP", {}, Step::Header, "2,4", "doc 4", R::Refused, noTop },
        { "TOP without CAPA still tried", {}, Step::Header, "2,4", "doc 2", R::None, ScriptedPopServer::Top, false,
            false },
        // An endless line is cut and dropped as it comes, until it is clearly a reply that never ends.
        { "endless line in TOP", { { K::EndlessLine, "TOP" } }, Step::Header, "0,6", "doc 4", R::Protocol },
        { "TOP never answered", { { K::Withhold, "TOP" } }, Step::Header, "0,6", "doc 4", R::TimedOut },
        { "oversized header", {}, Step::Header, "2,4", "doc 2", R::None, ScriptedPopServer::Top, true },
        { "DELE refused", { { K::ErrReply, "DELE" } }, Step::Delete, "2,4", "", R::Refused },
        { "drop on DELE", { { K::DropBeforeReply, "DELE" } }, Step::Delete, "0,6", "", R::Link },
        { "QUIT never answered", { { K::Withhold, "QUIT" } }, Step::Quit, "0,6", "", R::TimedOut },
        { "drop on QUIT", { { K::DropBeforeReply, "QUIT" } }, Step::Quit, "0,6", "", R::Link },
        { "QUIT refused", { { K::ErrReply, "QUIT" } }, Step::Quit, "0,6", "", R::Refused },
    };
    const QList<Step> order = { Step::Connect, Step::Authenticate, Step::Size, Step::Header, Step::Delete, Step::Quit };
    for (const FaultRow& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedPopServer server;
        QList<QByteArray> mailbox = MailboxGenerator(5).generateRaw(2);
        if (row.oversizedHeader)
            mailbox[0] = MailboxGenerator::oversizedHeaderMessage(2 * 1024 * 1024);
        server.addUser(QStringLiteral("bob"), QStringLiteral("pw"), mailbox);
        server.setCapabilities(row.caps);
        server.setCapaSupported(row.capaSupported);
        for (const PopFault& fault : row.faults)
            server.addFault(fault);
        VirtualClock clock;
        clock.setAdvanceWhenIdle(true);
        server.setClock(clock);
        ASSERT_TRUE(server.start());

        PopClient pop(clock);
        pop.setRemoteHost(QStringLiteral("127.0.0.1"));
        pop.setRemotePort(server.port());
        pop.setUserId(QStringLiteral("bob"));
        pop.setPassword(QStringLiteral("pw"));
        pop.setConnectTimeout(200);
        pop.setTlsHandshakeTimeout(200);
        pop.setReplyTimeout(300);
        PopReplyParser::Limits limits;
        limits.maxSkippedBytes = 4 * 1024 * 1024; // an endless line gives up long before the time-out
        pop.setReplyLimits(limits);
        PopRecorder rec(pop);
        for (const Step step : order) {
            rec.clear();
            const qint64 started = clock.now();
            ASSERT_TRUE(runRequest(
                pop, [&] { run(pop, step); }, 5000));
            EXPECT_LE(clock.now() - started, 300); // never more than one time-out
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
            EXPECT_EQ(pop.lastFailure().reason, row.reason) << qPrintable(pop.lastError());
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
        if (row.failingStep == Step::Header && row.caps == noTop) {
            // Tried once, although never offered; refused, it is not asked for again.
            rec.clear();
            ASSERT_TRUE(runRequest(
                pop, [&] { pop.retrieveHeader(2); }, 5000));
            EXPECT_EQ(rec.docs.value(0).state, DocOutput::TransferError);
            EXPECT_EQ(server.commandCount("TOP"), 1);
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
    VirtualClock clock;
    clock.setAdvanceWhenIdle(true);
    PopClient pop(clock);
    EXPECT_EQ(pop.connectTimeout(), PopClient::kDefaultConnectTimeout);
    EXPECT_EQ(pop.tlsHandshakeTimeout(), PopClient::kDefaultTlsTimeout);
    EXPECT_EQ(pop.replyTimeout(), PopClient::kDefaultReplyTimeout);
    // A silent server that accepted the link: the greeting wait ends the connect.
    ScriptedPopServer server;
    server.addFault({ PopFault::Kind::NoGreeting, {} });
    ASSERT_TRUE(server.start());
    pop.setRemoteHost(QStringLiteral("127.0.0.1"));
    pop.setRemotePort(server.port());
    pop.setReplyTimeout(150);
    ASSERT_TRUE(runRequest(
        pop, [&] { pop.connectToServer(); }, 5000));
    EXPECT_EQ(clock.now(), 150);
    EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
    EXPECT_EQ(pop.lastFailure().reason, PopFailure::Reason::TimedOut);
    // Implicit TLS against a listener that never answers: the handshake wait ends it.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    pop.setRemotePort(silent.serverPort());
    pop.setTlsMode(PopClient::TlsMode::ImplicitTls);
    pop.setTlsHandshakeTimeout(170);
    ASSERT_TRUE(runRequest(
        pop, [&] { pop.connectToServer(); }, 5000));
    EXPECT_EQ(clock.now(), 150 + 170);
    EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
}

// A server that answers every reply just before its time-out would hold the check for days: the
// conversation ends at its time limit, with the request under way failed.
TEST(PopClientFaults, ConversationEndsAtItsTimeLimitHoweverPromptEachReply)
{
    VirtualClock clock;
    clock.setAdvanceWhenIdle(true);
    ScriptedPopServer server;
    server.setClock(clock);
    server.addUser(QStringLiteral("bob"), QStringLiteral("pw"), MailboxGenerator(5).generateRaw(2));
    for (const char* verb : { "CAPA", "USER", "PASS", "STAT", "LIST", "TOP" })
        server.addFault({ PopFault::Kind::Delay, verb, PopClient::kDefaultReplyTimeout - 1000 });
    ASSERT_TRUE(server.start());
    PopClient pop(clock);
    pop.setRemoteHost(QStringLiteral("127.0.0.1"));
    pop.setRemotePort(server.port());
    pop.setUserId(QStringLiteral("bob"));
    pop.setPassword(QStringLiteral("pw"));
    pop.setConversationTimeLimit(200'000);
    PopRecorder rec(pop);
    ASSERT_TRUE(runRequest(
        pop, [&] { pop.connectToServer(); }, 5000));
    EXPECT_EQ(statePair(pop), QStringLiteral("1,4")); // CAPA at 59 s
    ASSERT_TRUE(runRequest(
        pop, [&] { pop.authenticate(); }, 5000));
    // USER, PASS and STAT at 118 s, 177 s and 236 s: STAT never comes.
    EXPECT_EQ(clock.now(), 200'000);
    EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
    EXPECT_EQ(pop.lastFailure().reason, PopFailure::Reason::TimeLimit);
    EXPECT_FALSE(pop.lastFailure().duringLogin());
    EXPECT_EQ(rec.log.last(), QStringLiteral("idle"));
    // The next conversation gets its own time.
    pop.setConversationTimeLimit(0);
    server.clearFaults();
    ASSERT_TRUE(runRequest(
        pop, [&] { pop.connectToServer(); }, 5000));
    ASSERT_TRUE(runRequest(
        pop, [&] { pop.authenticate(); }, 5000));
    EXPECT_EQ(statePair(pop), QStringLiteral("2,4"));
}

// A conversation given up on is still ended with QUIT, unless a deletion is unanswered: QUIT would
// commit a deletion the caller was told had failed.
TEST(PopClientFaults, AbandonedConversationsEndWithQuitUnlessADeletionIsOpen)
{
    using K = PopFault::Kind;
    struct Row {
        const char* name;
        PopFault fault;
        Step failingStep;
        bool quitExpected;
    };
    const QList<Row> rows = {
        { "USER refused", { K::ErrReply, "USER" }, Step::Authenticate, true },
        { "garbage for STAT", { K::CustomReply, "STAT", 0, 0, "* what?\r\n" }, Step::Authenticate, true },
        { "TOP answered too late", { K::Delay, "TOP", 1000 }, Step::Header, true },
        { "DELE answered too late", { K::Delay, "DELE", 1000 }, Step::Delete, false },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        VirtualClock clock;
        clock.setAdvanceWhenIdle(true);
        ScriptedPopServer server;
        server.setClock(clock);
        server.addUser(QStringLiteral("bob"), QStringLiteral("pw"), MailboxGenerator(5).generateRaw(2));
        server.addFault(row.fault);
        ASSERT_TRUE(server.start());
        PopClient pop(clock);
        pop.setRemoteHost(QStringLiteral("127.0.0.1"));
        pop.setRemotePort(server.port());
        pop.setUserId(QStringLiteral("bob"));
        pop.setPassword(QStringLiteral("pw"));
        pop.setReplyTimeout(200);
        for (const Step step : { Step::Connect, Step::Authenticate, Step::Header, Step::Delete }) {
            ASSERT_TRUE(runRequest(
                pop, [&] { run(pop, step); }, 5000));
            if (step == row.failingStep)
                break;
        }
        EXPECT_EQ(statePair(pop), QStringLiteral("0,6"));
        // The server answers what was left when its delay is over, then reads what came after.
        EXPECT_EQ(QTest::qWaitFor([&] { return server.openSessions() == 0; }, 3000), true);
        EXPECT_EQ(server.sawCommand("QUIT"), row.quitExpected);
        EXPECT_EQ(server.messages(QStringLiteral("bob")).size(), 2);
    }
}
