#include "engine/SeenListFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ormisk;

TEST(SeenListFile, ExactBytes)
{
    const QString header250 = QString(248, QLatin1Char('x')) + QStringLiteral("\r\n");
    const QByteArray bytes = FormatSeenList({ header250, QStringLiteral("Ä\r\n") });
    EXPECT_EQ(bytes.left(10), QByteArray("    2  250"));
    EXPECT_EQ(bytes.mid(260, 5), QByteArray("    4")) << "lengths count bytes of UTF-8";
    EXPECT_EQ(bytes.size(), 5 + 5 + 250 + 5 + 4);
    EXPECT_EQ(ParseSeenList(bytes), QStringList({ header250, QStringLiteral("Ä\r\n") }));
    EXPECT_EQ(FormatSeenList({ QString() }), QByteArray("    1    0")) << "the empty tag of a failed header";
}

TEST(SeenListFile, AHundredThousandEntriesKeepTheNewestTheCountCanHold)
{
    QStringList entries;
    for (int i = 0; i < 100000; ++i)
        entries << QStringLiteral("Message-Id : <%1>\r\n").arg(i);
    const QByteArray bytes = FormatSeenList(entries);
    EXPECT_EQ(bytes.left(5), QByteArray("99999"));
    EXPECT_EQ(ParseSeenList(bytes), entries.mid(1));
}

TEST(SeenListFile, DamagedFilesYieldTheWholeEntriesBeforeTheDamage)
{
    const QStringList entries = { QStringLiteral("Message-Id : <1>\r\n"), QStringLiteral("Message-Id : <2>\r\n"),
        QStringLiteral("Message-Id : <3>\r\n") };
    const QByteArray good = FormatSeenList(entries);
    for (qsizetype cut = 0; cut < good.size(); ++cut) {
        const QStringList got = ParseSeenList(good.left(cut));
        ASSERT_LE(got.size(), 3);
        for (int i = 0; i < got.size(); ++i)
            ASSERT_EQ(got[i], entries[i]) << "cut at " << cut;
    }
    EXPECT_TRUE(ParseSeenList("     ").isEmpty()) << "a count of blanks is no entries";
    EXPECT_TRUE(ParseSeenList("abcde").isEmpty());
    EXPECT_TRUE(ParseSeenList("   -1").isEmpty());
    // A count that promises far more than the file holds reads what is there, no huge allocation.
    QByteArray lying = good;
    lying.replace(0, 5, "32000");
    EXPECT_EQ(ParseSeenList(lying), entries);
    QByteArray badLength = good;
    badLength.replace(5 + 5 + entries[0].size(), 5, "99999");
    EXPECT_EQ(ParseSeenList(badLength), QStringList({ entries[0] }));
}

TEST(SeenListFile, WriteReplacesAtomicallyAndEmptyLeavesNoFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.tmp"));
    ASSERT_TRUE(WriteSeenListFile(path, { QStringLiteral("a\r\n") }));
    EXPECT_EQ(ReadSeenListFile(path), QStringList({ QStringLiteral("a\r\n") }));
    ASSERT_TRUE(WriteSeenListFile(path, {}));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(ReadSeenListFile(path).isEmpty());
    // An entry too long for its 5-digit length field keeps only its Message-Id line, or is left
    // out without one, instead of corrupting the rest.
    const QString huge(100000, QLatin1Char('h'));
    const QString hugeWithId = QStringLiteral("X : ") + huge + QStringLiteral("\r\nMessage-Id : <big>\r\n");
    ASSERT_TRUE(WriteSeenListFile(path, { huge, hugeWithId, QStringLiteral("b\r\n") }));
    EXPECT_EQ(
        ReadSeenListFile(path), QStringList({ QStringLiteral("Message-Id : <big>\r\n"), QStringLiteral("b\r\n") }));
    // A folder that cannot be written keeps the old file untouched.
    EXPECT_FALSE(WriteSeenListFile(dir.filePath(QStringLiteral("missing/log.tmp")), { QStringLiteral("c") }));
}
