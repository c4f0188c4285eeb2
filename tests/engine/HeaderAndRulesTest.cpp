#include "engine/HeaderText.h"
#include "engine/RuleMatching.h"
#include "pop/DocOutput.h"
#include "store/AppState.h"
#include "support/QtPrinters.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <algorithm>

using namespace ormisk;

namespace {
const QString kSubject = QStringLiteral("Subject : ");
const QString kFrom = QStringLiteral("From : ");

QString hdr(const QString& from, const QString& subject)
{
    return QStringLiteral("From : ") + from + QStringLiteral("\r\nSubject : ") + subject + QStringLiteral("\r\n");
}

FilterRule rule(const QString& sender, bool senderEquals, const QString& subject, bool subjectEquals, bool andMode)
{
    FilterRule r;
    r.SenderText = sender;
    r.SenderMatch = senderEquals;
    r.SubjectText = subject;
    r.SubjectMatch = subjectEquals;
    r.AndMode = andMode;
    return r;
}
} // namespace

TEST(HeaderCapture, BuildsLinesAndHonoursErrorState)
{
    QString text = QStringLiteral("old");
    DocOutput other;
    other.state = 3;
    CaptureDocOutput(other, text);
    EXPECT_EQ(text, QStringLiteral("old"));

    DocOutput doc;
    doc.state = DocOutput::HeadersAvailable;
    doc.headers = { { QStringLiteral("Received"), QStringLiteral("a") },
        { QStringLiteral("Received"), QStringLiteral("b") }, { QStringLiteral("Subject"), QString() } };
    CaptureDocOutput(doc, text);
    EXPECT_EQ(text, QStringLiteral("Received : a\r\nReceived : b\r\nSubject : \r\n"));
    CaptureDocOutput(doc, text); // a second notification rebuilds, never appends
    EXPECT_EQ(text, QStringLiteral("Received : a\r\nReceived : b\r\nSubject : \r\n"));

    DocOutput error;
    error.state = DocOutput::TransferError;
    CaptureDocOutput(error, text);
    EXPECT_TRUE(text.isEmpty());
}

TEST(GetHeaderField, LineStartsCaseAndEndOfSearch)
{
    const QString two = QStringLiteral("Subject : A\r\nFrom : B\r\n");
    EXPECT_EQ(GetHeaderField(kFrom, two), QStringLiteral("From : B"));
    EXPECT_EQ(GetHeaderField(QStringLiteral("subject : "), two), QStringLiteral("Subject : A"));
    EXPECT_EQ(GetHeaderField(kSubject, QStringLiteral("SUBJECT : Minutes\r\n")), QStringLiteral("SUBJECT : Minutes"));
    EXPECT_EQ(GetHeaderField(kFrom, QString()), QString());
    EXPECT_EQ(GetHeaderField(kFrom, QStringLiteral("From: B\r\nX-From : B\r\n")), QString());
    EXPECT_EQ(GetHeaderField(kFrom, QStringLiteral("From : one\r\nFrom : two\r\n")), QStringLiteral("From : one"));
    // An empty line ends the search.
    EXPECT_EQ(GetHeaderField(kFrom, QStringLiteral("Subject : A\r\n\r\nFrom : B\r\n")), QString());
    EXPECT_EQ(GetHeaderField(kFrom, QStringLiteral("\r\nFrom : B\r\n")), QString());
    // A final line without CR LF counts from two characters on; a one-character one is not examined.
    EXPECT_EQ(GetHeaderField(QStringLiteral("B"), QStringLiteral("A\r\nBC")), QStringLiteral("BC"));
    EXPECT_EQ(GetHeaderField(QStringLiteral("B"), QStringLiteral("A\r\nB")), QString());
    EXPECT_EQ(GetHeaderField(kFrom, QStringLiteral("From : B")), QStringLiteral("From : B"));
    // A line shorter than the name never matches.
    EXPECT_EQ(GetHeaderField(kFrom, QStringLiteral("From\r\n")), QString());
    // Beyond ASCII the comparison is in full upper case, even where that changes the length.
    EXPECT_EQ(GetHeaderField(QStringLiteral("\u00e4x"), QStringLiteral("A\r\n\u00c4X : 1\r\n")),
        QStringLiteral("\u00c4X : 1"));
    EXPECT_EQ(
        GetHeaderField(QStringLiteral("strasse"), QStringLiteral("stra\u00dfe\r\n")), QStringLiteral("stra\u00dfe"));
    EXPECT_EQ(GetHeaderField(QStringLiteral("strasse"), QStringLiteral("stra\u00dfe : 1\r\n")), QString());
}

TEST(RuleMatching, EqualsAgainstContainsIgnoringCase)
{
    AppState s;
    s.filters = { rule(QStringLiteral("joe"), false, {}, true, true) };
    EXPECT_TRUE(MatchFilters(s, hdr(QStringLiteral("Joe Smith <joe@x>"), QStringLiteral("hi"))));
    EXPECT_FALSE(MatchFilters(s, hdr(QStringLiteral("Ann"), QStringLiteral("joe"))));
    s.filters = { rule(QStringLiteral("joe"), true, {}, true, true) };
    EXPECT_TRUE(MatchFilters(s, hdr(QStringLiteral("JOE"), QStringLiteral("hi"))));
    EXPECT_FALSE(MatchFilters(s, hdr(QStringLiteral("Joe <joe@x>"), QStringLiteral("hi"))));
    EXPECT_FALSE(MatchFilters(s, hdr(QStringLiteral(" joe"), QStringLiteral("hi")))); // no trimming
    s.filters = { rule({}, true, QStringLiteral("Minutes"), true, false) };
    EXPECT_TRUE(MatchFilters(s, hdr(QStringLiteral("x"), QStringLiteral("minutes"))));
    EXPECT_FALSE(MatchFilters(s, hdr(QStringLiteral("x"), QStringLiteral("minutes 2"))));
    EXPECT_FALSE(MatchFilters(s, QString()));
}

TEST(RuleMatching, AndOrAndEmptyRules)
{
    AppState s;
    const QString lunch = hdr(QStringLiteral("Joe"), QStringLiteral("Lunch"));
    const QString sale = hdr(QStringLiteral("Joe"), QStringLiteral("Big sale"));
    s.filters = { rule(QStringLiteral("joe"), false, QStringLiteral("sale"), false, true) };
    EXPECT_FALSE(MatchFilters(s, lunch));
    EXPECT_TRUE(MatchFilters(s, sale));
    s.filters[0].AndMode = false;
    EXPECT_TRUE(MatchFilters(s, lunch));
    EXPECT_TRUE(MatchFilters(s, hdr(QStringLiteral("Ann"), QStringLiteral("sale"))));
    s.filters = { rule({}, false, {}, false, false) };
    EXPECT_FALSE(MatchFilters(s, lunch));
}

TEST(RuleMatching, DisabledSkippedAndFirstActionWins)
{
    AppState s;
    WavAction off;
    static_cast<FilterRule&>(off) = rule(QStringLiteral("joe"), false, {}, true, true);
    off.Disabled = true;
    off.WavFile = QStringLiteral("off.wav");
    WavAction first = off;
    first.Disabled = false;
    first.WavFile = QStringLiteral("first.wav");
    WavAction second = first;
    second.WavFile = QStringLiteral("second.wav");
    s.wavActions = { off, first, second };
    QString wav = QStringLiteral("kept");
    bool found = true;
    MatchActions(s, hdr(QStringLiteral("Ann"), QStringLiteral("x")), wav, found);
    EXPECT_FALSE(found);
    EXPECT_EQ(wav, QStringLiteral("kept"));
    MatchActions(s, hdr(QStringLiteral("Joe"), QStringLiteral("x")), wav, found);
    EXPECT_TRUE(found);
    EXPECT_EQ(wav, QStringLiteral("first.wav"));

    FilterRule disabled = rule(QStringLiteral("joe"), false, {}, true, true);
    disabled.Disabled = true;
    s.filters = { disabled };
    EXPECT_FALSE(MatchFilters(s, hdr(QStringLiteral("Joe"), QStringLiteral("x"))));
}

TEST(SortArray, AgreesWithStdSortOnRandomRangesWithDuplicates)
{
    QRandomGenerator rng(7);
    for (int round = 0; round < 500; ++round) {
        const int size = rng.bounded(0, 40);
        QStringList items;
        for (int k = 0; k < size; ++k)
            items << QStringLiteral("f%1").arg(rng.bounded(0, 8))
                    + (rng.bounded(2) ? QStringLiteral("a") : QStringLiteral("B"));
        const int first = size ? rng.bounded(1, size + 1) : 1;
        const int last = size ? rng.bounded(first, size + 1) : 0;
        QStringList expected = items;
        if (size)
            std::sort(expected.begin() + (first - 1), expected.begin() + last);
        SortArray(first, last, items);
        ASSERT_EQ(items, expected) << "round " << round;
    }
    // Sorted, reversed and equal input; ranges reaching past the list are cut to it.
    QStringList sorted, reversed, same(50, QStringLiteral("x"));
    for (int k = 0; k < 2000; ++k)
        sorted << QStringLiteral("%1").arg(k, 5, 10, QLatin1Char('0'));
    reversed = sorted;
    std::reverse(reversed.begin(), reversed.end());
    QStringList check = sorted;
    SortArray(1, 2000, check);
    EXPECT_EQ(check, sorted);
    SortArray(-5, 99999, reversed);
    EXPECT_EQ(reversed, sorted);
    SortArray(1, 50, same);
    EXPECT_EQ(same, QStringList(50, QStringLiteral("x")));
    QStringList untouched = { QStringLiteral("b"), QStringLiteral("a") };
    SortArray(2, 1, untouched);
    EXPECT_EQ(untouched, (QStringList { QStringLiteral("b"), QStringLiteral("a") }));
    QStringList caseOrder = { QStringLiteral("b"), QStringLiteral("B"), QStringLiteral("a"), QStringLiteral("A") };
    SortArray(1, 4, caseOrder);
    EXPECT_EQ(caseOrder,
        (QStringList { QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("a"), QStringLiteral("b") }));
}
