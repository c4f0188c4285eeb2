#include "engine/HeaderDecoding.h"

#include <gtest/gtest.h>

using namespace ormisk;

TEST(HeaderDecoding, EncodedWords)
{
    struct Row {
        const char* name;
        QByteArray raw;
        QString expected;
    };
    const QList<Row> rows = {
        { "plain ascii", "Minutes of the meeting", QStringLiteral("Minutes of the meeting") },
        { "utf-8 B", "=?UTF-8?B?R3LDvMOfZSBhdXMgTcO8bmNoZW4=?=", QStringLiteral("Grüße aus München") },
        { "utf-8 Q with underscores", "=?utf-8?q?J=C3=BCrgen_M=C3=BCller?= <jm@example.de>",
            QStringLiteral("Jürgen Müller <jm@example.de>") },
        { "iso-8859-1 Q", "=?ISO-8859-1?Q?Caf=E9_cr=E8me?=", QStringLiteral("Café crème") },
        { "iso-8859-2", "=?ISO-8859-2?Q?=E8esky?=", QStringLiteral("česky") },
        { "windows-1252 euro", "=?windows-1252?Q?=80_5?=", QStringLiteral("€ 5") },
        { "koi8-r B", "=?KOI8-R?B?8NLJ18XU?=", QStringLiteral("Привет") },
        { "adjacent words joined", "=?UTF-8?Q?a?= =?UTF-8?Q?b?=", QStringLiteral("ab") },
        { "adjacent words over a fold", "=?UTF-8?Q?a?=\t  =?ISO-8859-1?Q?=E9?=", QStringLiteral("aé") },
        { "character split over two words", "=?UTF-8?B?w6k=?= =?UTF-8?B?w6k=?=", QStringLiteral("éé") },
        { "utf-8 bytes split mid-character", "=?UTF-8?Q?=C3?= =?UTF-8?Q?=A9?=", QStringLiteral("é") },
        { "blank between word and text kept", "=?UTF-8?Q?Re:?= hello", QStringLiteral("Re: hello") },
        { "text between words kept", "=?UTF-8?Q?a?= - =?UTF-8?Q?b?=", QStringLiteral("a - b") },
        { "language suffix", "=?UTF-8*en?Q?hi?=", QStringLiteral("hi") },
        { "unknown charset left as sent", "=?x-unknown?Q?abc?=", QStringLiteral("=?x-unknown?Q?abc?=") },
        { "broken base64 left as sent", "=?UTF-8?B?!!!?=", QStringLiteral("=?UTF-8?B?!!!?=") },
        { "not an encoded word", "a =? b ?= c", QStringLiteral("a =? b ?= c") },
        { "raw utf-8",
            "Gr\xc3\xbc\xc3\x9f"
            "e",
            QStringLiteral("Grüße") },
        { "raw latin-1", "Caf\xe9", QStringLiteral("Café") },
        { "line breaks smuggled in an encoded word",
            "=?UTF-8?Q?a=0D=0AMessage-Id_:_x?=", QStringLiteral("a  Message-Id : x") },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(decodeHeaderValue(row.raw), row.expected);
    }
}

TEST(HeaderDecoding, HeaderLinesBecomeItemsInServerOrder)
{
    const QList<QByteArray> lines = {
        "Received: from a",
        "\tby b;",
        "Received: from c",
        "SUBJECT: =?UTF-8?Q?caf=C3=A9?=",
        " continued",
        "X-Empty:",
        "Obsolete : spaced name",
        "not a field at all",
        "From: Ann <ann@example.com>",
        "",
        "Body: is not header",
    };
    const QList<HeaderItem> items = parseHeaderLines(lines);
    ASSERT_EQ(items.size(), 6);
    EXPECT_EQ(items[0].name, QStringLiteral("Received"));
    EXPECT_EQ(items[0].value, QStringLiteral("from a\tby b;"));
    EXPECT_EQ(items[1].value, QStringLiteral("from c"));
    EXPECT_EQ(items[2].name, QStringLiteral("SUBJECT")); // spelt as sent
    EXPECT_EQ(items[2].value, QStringLiteral("café continued"));
    EXPECT_EQ(items[3].name, QStringLiteral("X-Empty"));
    EXPECT_EQ(items[3].value, QString());
    EXPECT_EQ(items[4].name, QStringLiteral("Obsolete"));
    EXPECT_EQ(items[5].name, QStringLiteral("From"));
}

TEST(HeaderDecoding, CapsHoldAgainstAbsurdHeaders)
{
    QList<QByteArray> lines;
    for (int i = 0; i < 100; ++i)
        lines << "X-" + QByteArray::number(i) + ": v";
    lines << "Subject: start";
    for (int i = 0; i < 100; ++i)
        lines << " " + QByteArray(100, 'z');
    HeaderLimits limits;
    limits.maxItems = 50;
    limits.maxValueLength = 1000;
    EXPECT_EQ(parseHeaderLines(lines, limits).size(), 50);
    limits.maxItems = 500;
    const auto items = parseHeaderLines(lines, limits);
    ASSERT_EQ(items.size(), 101);
    EXPECT_LE(items.last().value.size(), 1000);
}
