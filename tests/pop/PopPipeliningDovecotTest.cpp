// Pipelined and cached fetching against a real server (a private dovecot, which offers
// PIPELINING and UIDL): the same check either way, and a re-check that fetches no header.
#include "pop/PopClient.h"
#include "demo/MailboxGenerator.h"
#include "support/CheckRun.h"
#include "support/Dovecot.h"

#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace ormisk;
using namespace ormisk::testing;

TEST(PopPipeliningDovecot, SameCheckEveryWayAndNoHeaderFetchedTwice)
{
    ORMISK_REQUIRE_DOVECOT();
    Dovecot dovecot;
    const QString user = QStringLiteral("dora");
    dovecot.addUser(user, user);
    for (const QByteArray& m : MailboxGenerator(17).generateRaw(60))
        dovecot.deliver(user, m);
    QString error;
    ASSERT_TRUE(dovecot.start(&error)) << qPrintable(error);
    QTemporaryDir dir;
    const QString cacheFile = dir.filePath(QStringLiteral("header-cache"));

    auto run = [&](bool pipelining, const QString& cache) {
        PopClient pop;
        pop.setTlsMode(PopClient::TlsMode::Plain);
        pop.setPipelining(pipelining);
        pop.setCacheFile(cache);
        pop.setPipelineBytes(160); // several round trips for 60 messages
        CheckOutcome out = runCheck(pop, QStringLiteral("127.0.0.1"), dovecot.plainPort(), user, user);
        EXPECT_EQ(pop.conversationPipelined(), pipelining);
        return out;
    };
    const CheckOutcome want = run(false, {});
    ASSERT_EQ(want.messageTexts.size(), 60);
    ASSERT_TRUE(dovecot.waitForLog(QStringLiteral("top=60/")));
    for (const auto& [pipelining, cache] : { std::pair { true, QString() }, std::pair { true, cacheFile },
             std::pair { true, cacheFile }, std::pair { false, cacheFile } }) {
        const CheckOutcome got = run(pipelining, cache);
        EXPECT_EQ(got.events, want.events);
        EXPECT_EQ(got.messageTexts, want.messageTexts);
        EXPECT_EQ(got.headerTags, want.headerTags);
        EXPECT_EQ(got.accountText, want.accountText);
    }
    // The last two checks found every header in the cache: their sessions asked for none.
    // Logout lines may be written a little after the client has gone.
    auto logged = [&](const char* needle, qsizetype times) {
        return QTest::qWaitFor([&] { return dovecot.logLines(QString::fromLatin1(needle)).size() == times; }, 5000);
    };
    EXPECT_TRUE(logged("top=0/0", 2));
    EXPECT_TRUE(logged("retr=0/0", 5)); // and no body, ever
}

// The cache keeps a header for every message on the server, however many: an unchanged mailbox
// of 5000 is checked again without a single TOP.
TEST(PopPipeliningDovecot, UnchangedLargeMailboxIsCheckedAgainWithoutTop)
{
    ORMISK_REQUIRE_DOVECOT();
    Dovecot dovecot;
    const QString user = QStringLiteral("many");
    dovecot.addUser(user, user);
    MailboxGenerator generator(23);
    generator.setMaxSize(1024);
    for (const QByteArray& m : generator.generateRaw(5000))
        dovecot.deliver(user, m);
    QString error;
    ASSERT_TRUE(dovecot.start(&error)) << qPrintable(error);
    QTemporaryDir dir;
    auto run = [&] {
        PopClient pop;
        pop.setTlsMode(PopClient::TlsMode::Plain);
        pop.setCacheFile(dir.filePath(QStringLiteral("header-cache")));
        return runCheck(pop, QStringLiteral("127.0.0.1"), dovecot.plainPort(), user, user);
    };
    const CheckOutcome first = run();
    ASSERT_EQ(first.messageTexts.size(), 5000);
    ASSERT_TRUE(dovecot.waitForLog(QStringLiteral("top=5000/")));
    const CheckOutcome again = run();
    EXPECT_EQ(again.messageTexts, first.messageTexts);
    EXPECT_EQ(again.headerTags, first.headerTags);
    EXPECT_TRUE(dovecot.waitForLog(QStringLiteral("top=0/0")));
}
