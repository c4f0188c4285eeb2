#include "pop/PopReplyParser.h"

#include <gtest/gtest.h>

using ormisk::PopReply;
using ormisk::PopReplyParser;
using Kind = PopReplyParser::Kind;
using Status = PopReplyParser::Status;

namespace {

struct Outcome {
    QList<PopReply> replies;
    bool failed = false;
};

// Feeds the chunks in order, expecting the kinds one after another.
Outcome parse(const QList<Kind>& kinds, const QList<QByteArray>& chunks, PopReplyParser::Limits limits = {})
{
    PopReplyParser parser(limits);
    Outcome out;
    qsizetype next = 0;
    if (next < kinds.size())
        parser.expect(kinds[next++]);
    for (const QByteArray& chunk : chunks) {
        parser.append(chunk);
        while (true) {
            PopReply reply;
            const Status status = parser.next(&reply);
            if (status == Status::Failed) {
                out.failed = true;
                return out;
            }
            if (status == Status::NeedMore)
                break;
            out.replies << reply;
            if (next >= kinds.size())
                break;
            parser.expect(kinds[next++]);
        }
    }
    return out;
}

QList<QByteArray> byteByByte(const QByteArray& bytes)
{
    QList<QByteArray> chunks;
    for (const char c : bytes)
        chunks << QByteArray(1, c);
    return chunks;
}

struct Row {
    const char* name;
    QList<Kind> kinds;
    QList<QByteArray> chunks;
    bool failed;
    QList<bool> ok; // status of each reply
    QList<QList<QByteArray>> lines; // body of each reply
    QList<QByteArray> texts; // status text of each reply
};

} // namespace

TEST(PopReplyParser, TableOfReplies)
{
    const QByteArray multi = "+OK header follows\r\nSubject: a\r\n..dotted\r\n.\r\n";
    const QList<Row> rows = {
        { "single ok", { Kind::SingleLine }, { "+OK 2 320\r\n" }, false, { true }, { {} }, { "2 320" } },
        { "single err", { Kind::SingleLine }, { "-ERR no such message\r\n" }, false, { false }, { {} },
            { "no such message" } },
        { "bare LF", { Kind::SingleLine }, { "+OK ready\n" }, false, { true }, { {} }, { "ready" } },
        { "status without text", { Kind::SingleLine }, { "+OK\r\n" }, false, { true }, { {} }, { "" } },
        { "lower-case status", { Kind::SingleLine }, { "+ok fine\r\n" }, false, { true }, { {} }, { "fine" } },
        { "CR LF split between chunks", { Kind::SingleLine }, { "+OK a\r", "\n" }, false, { true }, { {} }, { "a" } },
        { "multi-line with dot-stuffing", { Kind::MultiLine }, { multi }, false, { true },
            { { "Subject: a", ".dotted" } }, { "header follows" } },
        { "multi-line split at every byte", { Kind::MultiLine }, byteByByte(multi), false, { true },
            { { "Subject: a", ".dotted" } }, { "header follows" } },
        { "multi-line err has no body", { Kind::MultiLine, Kind::SingleLine }, { "-ERR no TOP\r\n+OK next\r\n" }, false,
            { false, true }, { {}, {} }, { "no TOP", "next" } },
        { "empty lines and lone CR kept", { Kind::MultiLine }, { "+OK\r\nA: b\r\n\r\nx\ry\n.\n" }, false, { true },
            { { "A: b", "", "x\ry" } }, { "" } },
        { "a stuffed lone dot is not the end", { Kind::MultiLine }, { "+OK\r\n..\r\n.\r\n" }, false, { true },
            { { "." } }, { "" } },
        { "two replies in one chunk", { Kind::SingleLine, Kind::MultiLine }, { "+OK\r\n+OK\r\nTOP\r\n.\r\n" }, false,
            { true, true }, { {}, { "TOP" } }, { "", "" } },
        { "status lines inside a body are body", { Kind::MultiLine, Kind::SingleLine },
            { "+OK\r\n+OK 1 2\r\n-ERR x\r\n.\r\n+OK next\r\n" }, false, { true, true }, { { "+OK 1 2", "-ERR x" }, {} },
            { "", "next" } },
        { "garbage greeting", { Kind::SingleLine }, { "* OK IMAP4 ready\r\n" }, true, {}, {}, {} },
        { "empty status line", { Kind::SingleLine }, { "\r\n" }, true, {}, {}, {} },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome out = parse(row.kinds, row.chunks);
        EXPECT_EQ(out.failed, row.failed);
        ASSERT_EQ(out.replies.size(), row.ok.size());
        for (qsizetype i = 0; i < out.replies.size(); ++i) {
            EXPECT_EQ(out.replies[i].ok, row.ok[i]);
            EXPECT_EQ(out.replies[i].lines, row.lines[i]);
            EXPECT_EQ(out.replies[i].text, row.texts[i]);
            EXPECT_FALSE(out.replies[i].truncated);
        }
    }
}

TEST(PopReplyParser, OverlongLinesAreCutInABodyAndFatalOnlyWhereNothingEnds)
{
    PopReplyParser::Limits limits;
    limits.maxLineLength = 100;
    limits.maxBodySize = 200;
    limits.maxSkippedBytes = 1000;
    // A status line that is too long is no status line.
    EXPECT_TRUE(parse({ Kind::SingleLine }, { "+OK " + QByteArray(200, 'x') + "\r\n" }, limits).failed);
    EXPECT_FALSE(parse({ Kind::SingleLine }, { "+OK " + QByteArray(96, 'x') + "\r\n" }, limits).failed);
    // A body line that is too long keeps its start, the rest is dropped, the next reply is found,
    // whether the bytes come one by one or all at once.
    const QByteArray body = "+OK\r\nSubject: s\r\nX-Long: " + QByteArray(500, 'x') + "\r\nFrom: f\r\n.\r\n+OK next\r\n";
    for (const auto& chunks : { QList<QByteArray> { body }, byteByByte(body) }) {
        const Outcome out = parse({ Kind::MultiLine, Kind::SingleLine }, chunks, limits);
        ASSERT_FALSE(out.failed);
        ASSERT_EQ(out.replies.size(), 2);
        EXPECT_TRUE(out.replies[0].truncated);
        EXPECT_EQ(
            out.replies[0].lines, QList<QByteArray>({ "Subject: s", "X-Long: " + QByteArray(92, 'x'), "From: f" }));
        EXPECT_EQ(out.replies[1].text, "next");
    }
    // A line that never ends: dropped as it comes, and given up once far past the cap.
    PopReplyParser parser(limits);
    parser.expect(Kind::MultiLine);
    parser.append("+OK\r\n");
    PopReply reply;
    Status status = Status::NeedMore;
    int chunks = 0;
    while (status == Status::NeedMore && chunks < 10000) {
        parser.append(QByteArray(64, 'y'));
        status = parser.next(&reply);
        ++chunks;
        EXPECT_LE(parser.bufferedBytes(), 200);
    }
    EXPECT_EQ(status, Status::Failed);
    EXPECT_LT(chunks, 100);
    EXPECT_FALSE(parser.errorText().isEmpty());
}

TEST(PopReplyParser, BodyOverTheCapIsReadToItsEndAndMarkedTruncated)
{
    PopReplyParser::Limits limits;
    limits.maxBodySize = 50;
    QByteArray bytes = "+OK\r\n";
    for (int i = 0; i < 20; ++i)
        bytes += "X-Line: " + QByteArray::number(i) + "\r\n";
    bytes += ".\r\n+OK next\r\n";
    const Outcome out = parse({ Kind::MultiLine, Kind::SingleLine }, byteByByte(bytes), limits);
    ASSERT_FALSE(out.failed);
    ASSERT_EQ(out.replies.size(), 2);
    EXPECT_TRUE(out.replies[0].truncated);
    EXPECT_LT(out.replies[0].lines.size(), 20);
    EXPECT_EQ(out.replies[1].text, "next"); // still in step with the server
}

TEST(PopReplyParser, UnrequestedBytesWaitForTheNextReplyAndClearDropsThem)
{
    PopReplyParser parser;
    parser.append("+OK early\r\n");
    PopReply reply;
    EXPECT_EQ(parser.next(&reply), Status::NeedMore);
    parser.expect(Kind::SingleLine);
    ASSERT_EQ(parser.next(&reply), Status::Complete);
    EXPECT_EQ(reply.text, "early");

    // After STLS nothing that came in plain text may be read.
    parser.append("+OK injected\r\n");
    parser.clear();
    parser.expect(Kind::SingleLine);
    EXPECT_EQ(parser.next(&reply), Status::NeedMore);
}
