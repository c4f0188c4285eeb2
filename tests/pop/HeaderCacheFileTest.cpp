// The header cache's file: what it keeps across a save and a load, and files of an earlier
// format.
#include "pop/HeaderCache.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

using namespace ormisk;

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
