#include "pop/HeaderDecoding.h"
#include "pop/HeaderCharsets.h"

#include <QStringDecoder>

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
        { "unknown charset read as unlabelled bytes", "=?x-unknown?Q?caf=C3=A9?=", QStringLiteral("café") },
        { "broken base64 left as sent", "=?UTF-8?B?!!!?=", QStringLiteral("=?UTF-8?B?!!!?=") },
        { "not an encoded word", "a =? b ?= c", QStringLiteral("a =? b ?= c") },
        { "unfinished word then a real one", "=?UTF-8?Q?a =?UTF-8?Q?b?=", QStringLiteral("=?UTF-8?Q?a b") },
        { "word inside text", "x=?UTF-8?Q?=C3=A9?=y", QStringLiteral("xéy") },
        { "raw utf-8",
            "Gr\xc3\xbc\xc3\x9f"
            "e",
            QStringLiteral("Grüße") },
        // Lenient forms common mailers send.
        { "blanks inside a Q word", "=?ISO-8859-1?Q?Caf=E9 cr=E8me?=", QStringLiteral("Café crème") },
        { "B word split by a fold", "=?UTF-8?B?R3LDvMOfZSBh dXMgTcO8bmNoZW4=?=", QStringLiteral("Grüße aus München") },
        { "unpadded base64", "=?UTF-8?B?w6lh?= =?UTF-8?B?w6k?=", QStringLiteral("éaé") },
        { "partial padding", "=?UTF-8?B?w6k=?= =?UTF-8?B?YQ=?=", QStringLiteral("éa") },
        // Windows-1252 wherever Latin-1 or ASCII is claimed, and for raw bytes that are not UTF-8.
        { "iso-8859-1 word with Windows quotes",
            "=?iso-8859-1?Q?=93Hi=94_=96_=80=31?=", QStringLiteral("\u201cHi\u201d \u2013 \u20ac1") },
        { "us-ascii word with an apostrophe", "=?us-ascii?Q?don=92t?=", QStringLiteral("don\u2019t") },
        { "latin1 alias", "=?LATIN1?B?hQ==?=", QStringLiteral("\u2026") },
        { "raw latin-1", "Caf\xe9", QStringLiteral("Café") },
        { "raw windows-1252", "\x93quoted\x94 \x80", QStringLiteral("\u201cquoted\u201d \u20ac") },
        // Nothing that breaks a line, hides as a control or reorders the text reaches the display.
        { "line breaks smuggled in an encoded word",
            "=?UTF-8?Q?a=0D=0AMessage-Id_:_x?=", QStringLiteral("a  Message-Id : x") },
        { "C1 controls and separators blanked",
            "=?UTF-8?Q?a=C2=85b=C2=9Bc=E2=80=A8d=7Fe=09f?=", QStringLiteral("a b c d e f") },
        { "undefined Windows-1252 bytes blanked",
            "a\x81\x8d\x8f\x90\x9d"
            "b",
            QStringLiteral("a     b") },
        { "bidi overrides dropped", "=?UTF-8?Q?Ann_=E2=80=AEmoc.evil=E2=80=AC?= \xe2\x80\x8f\xe2\x81\xa6x\xe2\x81\xa9",
            QStringLiteral("Ann moc.evil x") },
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
        "Thread-Topic: =?UTF-8?B?R3LDvMOfZSBh",
        " dXMgTcO8bmNoZW4=?=",
        "X-Empty:",
        "Obsolete : spaced name",
        "not a field at all",
        "From: Ann <ann@example.com>",
        "",
        "Body: is not header",
    };
    QStringList got;
    for (const HeaderItem& item : parseHeaderLines(lines))
        got << item.name + u'=' + item.value;
    EXPECT_EQ(got,
        QStringList({ QStringLiteral("Received=from a by b;"), // the fold's tab is shown as a blank
            QStringLiteral("Received=from c"), QStringLiteral("SUBJECT=café continued"), // spelt as sent
            QStringLiteral("Thread-Topic=Grüße aus München"), QStringLiteral("X-Empty="),
            QStringLiteral("Obsolete=spaced name"), QStringLiteral("From=Ann <ann@example.com>") }));
}

TEST(HeaderDecoding, Windows1252AsBrowsersReadIt)
{
    QByteArray high;
    for (int b = 0x80; b < 0xA0; ++b)
        high += char(b);
    // The undefined bytes decode to the C1 code points of their value, which the display blanks.
    EXPECT_EQ(decodeWindows1252(high),
        QStringLiteral("\u20ac\u0081\u201a\u0192\u201e\u2026\u2020\u2021\u02c6\u2030\u0160\u2039\u0152\u008d"
                       "\u017d\u008f\u0090\u2018\u2019\u201c\u201d\u2022\u2013\u2014\u02dc\u2122\u0161"
                       "\u203a\u0153\u009d\u017e\u0178"));
    // Where the system has a Windows-1252 decoder of its own, both agree on every byte.
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    QStringDecoder system("windows-1252");
    if (system.isValid()) {
        EXPECT_EQ(decodeWindows1252(all), system.decode(all));
    }
}

// Values of a megabyte in the shapes that used to cost time growing with the square of their
// length (tens of seconds each). How fast they go is for the benchmark; here only what they give.
TEST(HeaderDecoding, HugeValuesDecodeWhole)
{
    const qsizetype size = 1024 * 1024;
    QByteArray unfinished;
    while (unfinished.size() < size)
        unfinished += "=?UTF-8?Q?x ";
    EXPECT_EQ(decodeHeaderValue(unfinished), QString::fromLatin1(unfinished));

    QByteArray words;
    QString expected;
    while (words.size() < size) {
        words += "=?UTF-8?B?w6k=?= =?ISO-8859-1?Q?=E9?= =?x-unknown?Q?e?= x ";
        expected += QStringLiteral("éée x ");
    }
    EXPECT_EQ(decodeHeaderValue(words), expected);

    QList<QByteArray> folded { "Subject: =?UTF-8?Q?x" };
    while (folded.size() * 13 < size)
        folded << " =?utf-8?q?ab";
    HeaderLimits limits;
    limits.maxValueLength = 4 * size;
    const QList<HeaderItem> items = parseHeaderLines(folded, limits);
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0].value, QString::fromLatin1(folded.join().sliced(9)));
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
    // A value cut at the limit never ends in half a character.
    limits.maxValueLength = 3;
    const auto cut = parseHeaderLines({ "Subject: \xf0\x9f\x98\x80\xf0\x9f\x98\x80" }, limits);
    EXPECT_EQ(cut.value(0).value, QStringLiteral("\U0001F600"));
}
