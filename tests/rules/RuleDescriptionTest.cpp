#include "engine/RuleDescription.h"

#include <gtest/gtest.h>

using namespace ormisk;

namespace {

FilterRule rule(const char* sender, bool senderExact, const char* subject, bool subjectExact, bool andMode)
{
    FilterRule r;
    r.SenderText = QString::fromUtf8(sender);
    r.SenderMatch = senderExact;
    r.SubjectText = QString::fromUtf8(subject);
    r.SubjectMatch = subjectExact;
    r.AndMode = andMode;
    return r;
}

} // namespace

TEST(DescribeFilter, EachShapeOfRule)
{
    // One condition: no joiner, whatever AndMode says.
    EXPECT_EQ(DescribeFilter(rule("joe", false, "", true, false)), QStringLiteral("Sender include \"joe\""));
    EXPECT_EQ(DescribeFilter(rule("joe", true, "", false, true)), QStringLiteral("Sender equal \"joe\""));
    EXPECT_EQ(DescribeFilter(rule("", false, "text", true, false)), QStringLiteral("Subject equal \"text\""));
    EXPECT_EQ(DescribeFilter(rule("", true, "sale", false, true)), QStringLiteral("Subject include \"sale\""));
    // Both conditions, both joiners.
    EXPECT_EQ(DescribeFilter(rule("joe", true, "sale", false, false)),
        QStringLiteral("Sender equal \"joe\" OR Subject include \"sale\""));
    EXPECT_EQ(DescribeFilter(rule("joe", false, "hello", true, true)),
        QStringLiteral("Sender include \"joe\" AND Subject equal \"hello\""));
    EXPECT_EQ(DescribeFilter(FilterRule {}), QString());
}

TEST(DescribeFilter, TextsGoInUnchangedAndDisabledIsNotShown)
{
    FilterRule r = rule(" a \"b\" ", false, "", true, true);
    r.Disabled = true;
    EXPECT_EQ(DescribeFilter(r), QStringLiteral("Sender include \" a \"b\" \""));
}

TEST(DescribeWavAction, AppendsTheFileOnlyWhenNamed)
{
    WavAction a;
    static_cast<FilterRule&>(a) = rule("joe", false, "hello", true, true);
    a.WavFile = QStringLiteral("/home/u/Sounds/joe.wav");
    EXPECT_EQ(DescribeWavAction(a),
        QStringLiteral("Sender include \"joe\" AND Subject equal \"hello\" Play \"/home/u/Sounds/joe.wav\""));
    a.WavFile.clear();
    EXPECT_EQ(DescribeWavAction(a), QStringLiteral("Sender include \"joe\" AND Subject equal \"hello\""));
}
