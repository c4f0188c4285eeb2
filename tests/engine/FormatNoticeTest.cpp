#include "engine/FormatNotice.h"

#include <gtest/gtest.h>

using namespace ormisk;

namespace {

struct Case {
    const char* notice;
    qint16 count;
    const char* shown;
};

} // namespace

TEST(FormatNotice, CountAndPluralBrackets)
{
    const Case cases[] = {
        { "You have # new message[s]", 1, "You have 1 new message" },
        { "You have # new message[s]", 3, "You have 3 new messages" },
        // The brackets are found after the count went in, so a longer count changes nothing.
        { "You have # new message[s]", 12, "You have 12 new messages" },
        { "You have # new message[s]", 0, "You have 0 new message" },
        { "Mail[s] waiting", 2, "Mails waiting" },
        { "Mail[s] waiting", 1, "Mail waiting" },
        { "No count here", 5, "No count here" },
        // Only the first "#" and the first bracket pair are treated.
        { "# of # [a] [b]", 2, "2 of # a [b]" },
        { "[s] before #", 1, " before 1" },
        { "[s] before #", 4, "s before 4" },
        // "]" before "[" leaves the brackets alone.
        { "odd ]x[ # here", 3, "odd ]x[ 3 here" },
        { "just [ open #", 3, "just [ open 3" },
        { "#", 7, "7" },
        { "", 7, "" },
        { "[]#", 2, "2" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatNotice(QString::fromUtf8(c.notice), c.count), QString::fromUtf8(c.shown))
            << c.notice << " / " << c.count;
}
