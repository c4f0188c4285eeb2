// Pipelined and cached fetching against the scriptable server: whichever way sizes and headers
// come, the check sees the same events in the same order, and faults end as they would one
// request at a time.
#include "demo/MailboxGenerator.h"
#include "demo/ScriptedPopServer.h"
#include "pop/HeaderCache.h"
#include "pop/PopClient.h"
#include "support/CheckRun.h"
#include "support/PopRecorder.h"
#include "support/Strings.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

using namespace ormisk;
using namespace ormisk::testing;

namespace {

const QString kUser = QStringLiteral("alice");
const QString kPassword = QStringLiteral("secret");
const QString kHost = QStringLiteral("127.0.0.1");
using Caps = ScriptedPopServer::Capabilities;
constexpr Caps kFull
    = Caps(ScriptedPopServer::Top | ScriptedPopServer::Uidl | ScriptedPopServer::User | ScriptedPopServer::Pipelining);

struct Mode {
    bool pipelining = true;
    QString cacheFile; // empty: no cache
    qsizetype window = PopClient::kDefaultPipelineBytes; // bytes of commands in flight
    int replyTimeoutMs = 5000;
};

PopClient::TlsMode plain() { return PopClient::TlsMode::Plain; }

void configure(PopClient& pop, const Mode& mode)
{
    pop.setTlsMode(plain());
    pop.setPipelining(mode.pipelining);
    pop.setCacheFile(mode.cacheFile);
    pop.setPipelineBytes(mode.window);
    pop.setReplyTimeout(mode.replyTimeoutMs);
}

// A check, and then the server's side of the conversation to its end (a QUIT with nothing to
// commit is not waited for by the client).
CheckOutcome check(PopClient& pop, const ScriptedPopServer& server)
{
    CheckOutcome outcome = runCheck(pop, kHost, server.port(), kUser, kPassword);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openSessions() == 0; }, 5000));
    return outcome;
}

CheckOutcome check(const ScriptedPopServer& server, const Mode& mode)
{
    PopClient pop;
    configure(pop, mode);
    return check(pop, server);
}

// The command verbs (with "LIST" split into "LIST" and "LIST n") the server got from index on.
QStringList verbsSince(const ScriptedPopServer& server, qsizetype from)
{
    QStringList out;
    const auto& all = server.received();
    for (qsizetype i = from; i < all.size(); ++i) {
        const QList<QByteArray> words = all[i].line.split(' ');
        QString verb = QString::fromLatin1(words.value(0).toUpper());
        if ((verb == u"LIST" || verb == u"UIDL") && words.size() > 1)
            verb += QStringLiteral(" n");
        out << verb;
    }
    return out;
}

QList<QByteArray> mailbox(int count, quint32 seed = 5) { return MailboxGenerator(seed).generateRaw(count); }

void expectSame(const CheckOutcome& got, const CheckOutcome& want, const char* what)
{
    EXPECT_EQ(got.events, want.events) << what;
    EXPECT_EQ(got.messageTexts, want.messageTexts) << what;
    EXPECT_EQ(got.headerTags, want.headerTags) << what;
    EXPECT_EQ(got.accountText, want.accountText) << what;
    EXPECT_FALSE(got.eventWhileIdle) << what;
}

struct Fixture {
    explicit Fixture(const QList<QByteArray>& messages, Caps caps = kFull)
    {
        server.addUser(kUser, kPassword, messages);
        server.setCapabilities(caps);
        EXPECT_TRUE(server.start());
    }
    ScriptedPopServer server;
};

// What a plain one-at-a-time client sees on a fresh server with the same mail and faults.
CheckOutcome baseline(const QList<QByteArray>& messages, const QList<PopFault>& faults = {}, int replyTimeoutMs = 5000)
{
    Fixture f(messages);
    for (const PopFault& fault : faults)
        f.server.addFault(fault);
    return check(f.server, Mode { false, {}, 1, replyTimeoutMs });
}

} // namespace

TEST(PopPipelining, SameEventsWhicheverWayHeadersCome)
{
    QTemporaryDir dir;
    const QString cacheFile = dir.filePath(QStringLiteral("data/header-cache"));
    const auto mail = mailbox(40);
    Fixture f(mail);
    auto& server = f.server;

    qsizetype mark = server.received().size();
    const CheckOutcome want = check(server, Mode { false, {} });
    ASSERT_EQ(want.messageTexts.size(), 40);
    EXPECT_EQ(verbsSince(server, mark).count(QStringLiteral("LIST n")), 40);
    EXPECT_EQ(server.maxCommandsAhead(), 1);

    mark = server.received().size();
    expectSame(check(server, Mode { true, {}, 80 }), want, "pipelined");
    QStringList verbs = verbsSince(server, mark);
    EXPECT_EQ(verbs.count(QStringLiteral("TOP")), 40);
    EXPECT_EQ(verbs.count(QStringLiteral("LIST")), 1);
    EXPECT_EQ(verbs.count(QStringLiteral("LIST n")), 3); // one closing check per batch: 8, 16, 16
    EXPECT_FALSE(verbs.contains(QStringLiteral("UIDL")));
    EXPECT_GT(server.maxCommandsAhead(), 1);
    EXPECT_LE(server.maxCommandsAhead(), 10); // 80 bytes: "TOP n 0" takes 9 or 10

    mark = server.received().size();
    expectSame(check(server, Mode { true, cacheFile }), want, "pipelined, empty cache");
    EXPECT_EQ(verbsSince(server, mark).count(QStringLiteral("TOP")), 40);
    const QFileInfo info(cacheFile);
    ASSERT_TRUE(info.exists());
    EXPECT_EQ(info.permissions(),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);

    mark = server.received().size();
    expectSame(check(server, Mode { true, cacheFile }), want, "pipelined, full cache");
    EXPECT_EQ(verbsSince(server, mark), strings({ "CAPA", "USER", "PASS", "STAT", "CAPA", "UIDL", "LIST", "QUIT" }));

    mark = server.received().size();
    expectSame(check(server, Mode { false, cacheFile }), want, "one at a time, full cache");
    EXPECT_EQ(verbsSince(server, mark), strings({ "CAPA", "USER", "PASS", "STAT", "CAPA", "UIDL", "LIST", "QUIT" }));
}

TEST(PopPipelining, MailboxChangesBetweenChecks)
{
    QTemporaryDir dir;
    const QString cacheFile = dir.filePath(QStringLiteral("header-cache"));
    auto mail = mailbox(10);
    Fixture f(mail);
    auto& server = f.server;
    check(server, Mode { true, cacheFile });

    // One message gone, one new: only the new one's header is fetched.
    mail.removeAt(2);
    mail << mailbox(1, 99).constFirst();
    server.setMessages(kUser, mail);
    qsizetype mark = server.received().size();
    expectSame(check(server, Mode { true, cacheFile }), baseline(mail), "after a change");
    EXPECT_EQ(verbsSince(server, mark).count(QStringLiteral("TOP")), 1);
    HeaderCache cache(cacheFile);
    ASSERT_TRUE(cache.load());
    const QString account = HeaderCache::accountKey(kHost, server.port(), kUser);
    EXPECT_EQ(cache.size(account), 10); // the vanished message is forgotten

    // A deletion the server confirms drops the entry, even in a conversation that never listed.
    const QByteArray deletedUid = server.uids(kUser).value(3);
    ASSERT_TRUE(cache.find(account, deletedUid));
    {
        PopClient pop;
        configure(pop, Mode { true, cacheFile });
        pop.setRemoteHost(kHost);
        pop.setRemotePort(server.port());
        pop.setUserId(kUser);
        pop.setPassword(kPassword);
        ASSERT_TRUE(runRequest(pop, [&] { pop.connectToServer(); }));
        ASSERT_TRUE(runRequest(pop, [&] { pop.authenticate(); }));
        PopRecorder rec(pop);
        ASSERT_TRUE(runRequest(pop, [&] { pop.deleteMessage(4); }));
        EXPECT_EQ(rec.deletes, 1);
        ASSERT_TRUE(runRequest(pop, [&] { pop.quit(); }));
    }
    ASSERT_TRUE(cache.load());
    EXPECT_FALSE(cache.find(account, deletedUid));
    EXPECT_EQ(cache.size(account), 9);

    // Same id, other size: fetched afresh and not kept under that id.
    mail = server.messages(kUser);
    QList<QByteArray> uids = server.uids(kUser);
    mail[0] += "one more line\n";
    server.setMessages(kUser, mail, uids);
    mark = server.received().size();
    expectSame(check(server, Mode { true, cacheFile }), baseline(mail), "after a size change");
    EXPECT_EQ(verbsSince(server, mark).count(QStringLiteral("TOP")), 1);
    ASSERT_TRUE(cache.load());
    EXPECT_FALSE(cache.find(account, uids[0]));
}

TEST(PopPipelining, AnswersFromTheCacheStillLetOtherEventsRun)
{
    QTemporaryDir dir;
    const QString cacheFile = dir.filePath(QStringLiteral("header-cache"));
    MailboxGenerator small(5);
    small.setMaxSize(2048);
    Fixture f(small.generateRaw(1000));
    (void)check(f.server, Mode { true, cacheFile }); // fills the cache

    // Every header of the re-check is already here; the window's events must still get turns.
    PopClient pop;
    configure(pop, Mode { true, cacheFile });
    int headers = 0;
    int ticks = 0;
    int ticksWhileAnswering = 0;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, [&] { ++ticks; });
    QObject::connect(&pop, &PopComponent::docOutput, [&](const DocOutput&) {
        if (++headers == 1)
            ticksWhileAnswering = -ticks;
        else if (headers == 1000)
            ticksWhileAnswering += ticks;
    });
    other.start(0);
    const CheckOutcome outcome = check(pop, f.server);
    EXPECT_EQ(outcome.messageTexts.size(), 1000);
    EXPECT_EQ(headers, 1000);
    EXPECT_GE(ticksWhileAnswering, 5);
}

TEST(PopPipelining, ServersWithoutPipeliningOrUidl)
{
    QTemporaryDir dir;
    const auto mail = mailbox(12);
    const CheckOutcome want = baseline(mail);
    struct Row {
        const char* name;
        Caps caps;
        QStringList firstVerbs; // what the first check sends after STAT, TOPs and checks counted
        int recheckTops;
        int maxAhead;
    };
    const QList<Row> rows = {
        { "no pipelining", Caps(ScriptedPopServer::Top | ScriptedPopServer::Uidl | ScriptedPopServer::User),
            strings({ "UIDL", "LIST", "TOP" }), 0, 1 },
        { "no UIDL", Caps(ScriptedPopServer::Top | ScriptedPopServer::User | ScriptedPopServer::Pipelining),
            strings({ "LIST", "TOP", "LIST n" }), 12, 14 }, // 12 TOPs in two batches, each closed by a LIST n
        { "neither", Caps(ScriptedPopServer::Top | ScriptedPopServer::User), strings({ "LIST n", "TOP" }), 12, 1 },
    };
    for (const Row& row : rows) {
        Fixture f(mail, row.caps);
        const QString cacheFile = dir.filePath(QString::fromLatin1(row.name));
        qsizetype mark = f.server.received().size();
        expectSame(check(f.server, Mode { true, cacheFile }), want, row.name);
        QStringList verbs = verbsSince(f.server, mark);
        verbs.removeDuplicates();
        verbs = verbs.mid(verbs.indexOf(QStringLiteral("STAT")) + 1);
        verbs.removeAll(QStringLiteral("QUIT"));
        EXPECT_EQ(verbs, row.firstVerbs) << row.name;
        mark = f.server.received().size();
        expectSame(check(f.server, Mode { true, cacheFile }), want, row.name);
        EXPECT_EQ(verbsSince(f.server, mark).count(QStringLiteral("TOP")), row.recheckTops) << row.name;
        EXPECT_GE(f.server.maxCommandsAhead(), 1) << row.name;
        EXPECT_LE(f.server.maxCommandsAhead(), row.maxAhead) << row.name;
    }
}

// The ids only feed the cache and the capability list only tunes the conversation: neither a
// bad answer to them nor capabilities that change at login may cost a message its header.
TEST(PopPipelining, OptionalRepliesDegradeAndCapabilitiesAreAskedAgainAtLogin)
{
    using K = PopFault::Kind;
    QTemporaryDir dir;
    const auto mail = mailbox(12);
    const CheckOutcome want = baseline(mail);
    const QByteArray garbage = "+OK\r\n\x01\xff\xfe junk\r\n" + QByteArray(100'000, 'c') + "\r\n\r\n.\r\n";
    struct Row {
        const char* name;
        QList<PopFault> faults;
        std::optional<Caps> beforeLogin; // what CAPA names before login, if it differs
        bool capaSupported;
        int recheckTops; // 0: the cache served every header
    };
    const QList<Row> rows = {
        { "UIDL refused", { { K::ErrReply, "UIDL" } }, {}, true, 12 },
        { "UIDL malformed",
            { { K::CustomReply, "UIDL", 0, 0, "+OK\r\n1 abc\r\nnot an id\r\n+OK 2 x\r\n3 \x01\r\n.\r\n" } }, {}, true,
            12 },
        { "no CAPA at all", {}, {}, false, 0 },
        { "CAPA garbled", { { K::CustomReply, "CAPA", 0, 0, garbage } }, {}, true, 12 },
        { "TOP named only after login", {},
            Caps(ScriptedPopServer::User | ScriptedPopServer::Uidl | ScriptedPopServer::Pipelining), true, 0 },
        { "empty list before login", {}, Caps(), true, 0 },
    };
    for (const Row& row : rows) {
        Fixture f(mail);
        f.server.setCapaSupported(row.capaSupported);
        if (row.beforeLogin)
            f.server.setCapabilitiesBeforeLogin(*row.beforeLogin);
        for (const PopFault& fault : row.faults)
            f.server.addFault(fault);
        const QString cacheFile = dir.filePath(QString::fromLatin1(row.name));
        expectSame(check(f.server, Mode { true, cacheFile }), want, row.name);
        const qsizetype mark = f.server.received().size();
        expectSame(check(f.server, Mode { true, cacheFile }), want, row.name);
        EXPECT_EQ(verbsSince(f.server, mark).count(QStringLiteral("TOP")), row.recheckTops) << row.name;
    }
}

TEST(PopPipelining, LinkLostMidPipelineEndsAsOneAtATime)
{
    using K = PopFault::Kind;
    const auto mail = mailbox(20);
    struct Row {
        const char* name;
        PopFault fault;
        bool refusesPipelining;
    };
    const QList<Row> rows = {
        { "dropped before the 5th header", { K::DropBeforeReply, "TOP", 0, 5 }, false },
        { "dropped inside the 12th header", { K::DropMidReply, "TOP", 0, 12 }, false },
    };
    for (const Row& row : rows) {
        const CheckOutcome want = baseline(mail, { row.fault }, 300);
        ASSERT_TRUE(want.events.contains(QStringLiteral("state 0,6"))) << row.name;
        for (qsizetype window : { 30, 300 }) {
            Fixture f(mail);
            f.server.addFault(row.fault);
            PopClient pop;
            configure(pop, Mode { true, {}, window, 300 });
            expectSame(check(pop, f.server), want, row.name);
            EXPECT_EQ(pop.pipeliningRefused(kHost, f.server.port()), row.refusesPipelining) << row.name;
        }
    }
}

TEST(PopPipelining, MisbehavingServerGetsOneAtATimeNextTime)
{
    using K = PopFault::Kind;
    QTemporaryDir dir;
    const auto mail = mailbox(20);
    const CheckOutcome want = baseline(mail);
    struct Row {
        const char* name;
        PopFault fault;
        bool firstCheckComplete; // the misbehaving conversation still reads everything
    };
    const QList<Row> rows = {
        { "a header answered twice", { K::DuplicateReply, "TOP", 0, 2 }, false },
        { "commands behind the first TOP discarded", { K::DiscardPipelined, "TOP", 0, 1 }, false },
        // A stall looks the same as commands lost: what its batch did not vouch for is dropped.
        { "5th header withheld", { K::Withhold, "TOP", 0, 5 }, false },
        { "LIST of all refused", { K::ErrReply, "LIST", 0, 1 }, true },
    };
    for (const Row& row : rows) {
        Fixture f(mail);
        f.server.addFault(row.fault);
        PopClient pop;
        const QString cacheFile = dir.filePath(QString::fromLatin1(row.name));
        configure(pop, Mode { true, cacheFile, 80, 300 });
        const CheckOutcome first = check(pop, f.server);
        EXPECT_TRUE(pop.pipeliningRefused(kHost, f.server.port())) << row.name;
        if (row.firstCheckComplete) {
            expectSame(first, want, row.name);
        } else {
            // Never a header shown under another message's number.
            for (qsizetype i = 0; i < first.headerTags.size(); ++i) {
                if (!first.headerTags[i].isEmpty()) {
                    EXPECT_EQ(first.headerTags[i], want.headerTags.value(i)) << row.name << " message " << i + 1;
                }
            }
            EXPECT_NE(first.messageTexts, want.messageTexts) << row.name;
        }
        // Nothing wrong was kept either: a cached re-check agrees with the plain client.
        f.server.clearFaults();
        const qsizetype mark = f.server.received().size();
        expectSame(check(pop, f.server), want, row.name);
        EXPECT_FALSE(pop.conversationPipelined()) << row.name;
        EXPECT_FALSE(verbsSince(f.server, mark).isEmpty());
    }
}

TEST(PopPipelining, DamagedOrForeignCacheIsIgnoredAndRebuilt)
{
    QTemporaryDir dir;
    const auto mail = mailbox(6);
    const CheckOutcome want = baseline(mail);
    const QString cacheFile = dir.filePath(QStringLiteral("header-cache"));
    Fixture f(mail);
    check(f.server, Mode { true, cacheFile });
    QFile file(cacheFile);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();

    QByteArray otherVersion = good;
    otherVersion[11] = char(99); // last byte of the version number
    QByteArray flipped = good;
    flipped[good.size() / 2] = char(flipped[good.size() / 2] ^ 0x20);
    const QList<QPair<const char*, QByteArray>> damages = {
        { "garbage", QByteArray("not a cache at all") },
        { "cut short", good.left(good.size() - 7) },
        { "one byte changed", flipped },
        { "another format version", otherVersion },
        { "empty", QByteArray() },
    };
    for (const auto& [name, bytes] : damages) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        HeaderCache probe(cacheFile);
        EXPECT_FALSE(probe.load()) << name;
        const qsizetype mark = f.server.received().size();
        expectSame(check(f.server, Mode { true, cacheFile }), want, name);
        EXPECT_EQ(verbsSince(f.server, mark).count(QStringLiteral("TOP")), 6) << name;
        ASSERT_TRUE(probe.load()) << name;
        EXPECT_EQ(probe.size(HeaderCache::accountKey(kHost, f.server.port(), kUser)), 6) << name;
        EXPECT_EQ(QFileInfo(cacheFile).permissions(),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
    }
}

TEST(HeaderCache, KeepsEveryMessageStillOnTheServerAndComesBackExactly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("c"));
    const QString account
        = HeaderCache::accountKey(QStringLiteral("Mail.Example"), 995, QStringLiteral("j\u00fcrgen \u65e5\u672c"));
    const QByteArray odd = "Subject: =?UTF-8?B?w6Q=?=\n\tfolded\n\n" + QByteArray("nul\0byte\n", 9) + "X: \xff\xfe\r\n";
    QFile stale(path + QStringLiteral(".spill-left-by-a-crash"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    auto cache = std::make_unique<HeaderCache>(path);
    QSet<QByteArray> present;
    for (int i = 1; i <= 3000; ++i) {
        cache->put(account, "u" + QByteArray::number(i), i, "Subject: " + QByteArray::number(i) + '\n', false);
        if (i % 5 != 0)
            present << "u" + QByteArray::number(i);
    }
    cache->put(account, "odd", 3'000'000'000LL, odd, true);
    cache->put(account, "empty", 0, {}, false);
    cache->put(account, "big", 1, QByteArray(HeaderCache::kMaxHeaderBytes + 1, 'x'), false);
    cache->put(QStringLiteral("other"), "u", 7, "From: a\n", false);
    EXPECT_FALSE(cache->find(account, "big"));
    cache->retain(account, present + QSet<QByteArray> { "odd", "empty" });
    ASSERT_TRUE(cache->save());
    cache.reset();
    // What waited on disk during the conversation is gone with it, and so is what a crash left.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList { QStringLiteral("c") });

    HeaderCache again(path);
    ASSERT_TRUE(again.load());
    EXPECT_EQ(again.size(account), 2402); // 3000 less every fifth, plus two
    EXPECT_FALSE(again.find(account, "u5"));
    ASSERT_TRUE(again.find(account, "u2999"));
    EXPECT_EQ(again.find(account, "u2999")->text, "Subject: 2999\n");
    ASSERT_TRUE(again.find(account, "odd"));
    EXPECT_EQ(again.find(account, "odd")->text, odd);
    EXPECT_EQ(again.find(account, "odd")->size, 3'000'000'000LL);
    ASSERT_TRUE(again.find(account, "empty"));
    EXPECT_TRUE(again.find(account, "empty")->text.isEmpty());
    EXPECT_EQ(again.size(QStringLiteral("other")), 1);
    EXPECT_TRUE(again.find(account, "odd")->overTls);
    EXPECT_FALSE(again.find(account, "u2999")->overTls);
}

// A file written before entries said how they came is still read; none of them came over TLS,
// and their headers, kept as sent, come back as shown.
TEST(HeaderCache, EntriesOfAVersion3FileCameWithoutTls)
{
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << quint32(1) << QStringLiteral("h:110:u") << quint32(1) << QByteArray("uid1") << quint64(12)
            << QByteArray("Subject: x\n");
    }
    QByteArray file = "ORMISKHC";
    {
        QDataStream out(&file, QIODevice::Append);
        out << quint32(3) << quint64(payload.size());
    }
    file += payload + QCryptographicHash::hash(payload, QCryptographicHash::Blake2b_256);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("c"));
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(file);
    out.close();
    HeaderCache cache(path);
    ASSERT_TRUE(cache.load());
    const HeaderCache::Entry* entry = cache.find(QStringLiteral("h:110:u"), "uid1");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->text, "Subject : x\r\n");
    EXPECT_FALSE(entry->overTls);
    EXPECT_TRUE(cache.dirty()); // written anew in the current format
}
