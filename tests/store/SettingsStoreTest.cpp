#include "store/SettingsStore.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ormisk;

TEST(SettingsStore, AwkwardTextsComeBackExactly)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Ormisk.conf"));
    const QStringList texts = { QStringLiteral("a=b;c"), QStringLiteral("\"quoted\""), QStringLiteral("back\\slash\\"),
        QStringLiteral("  leading and trailing  "), QStringLiteral("comma, separated, list"),
        QStringLiteral("@Variant(weird)"), QStringLiteral("Grüße ☃ 日本"), QStringLiteral("#hash ;semi"),
        QStringLiteral("tab\there"), QStringLiteral("line\nbreak\r\n"), QStringLiteral(""), QStringLiteral("True"),
        QStringLiteral("[Section]"), QStringLiteral("@@"), QStringLiteral(",") };
    {
        SettingsStore store(file);
        for (int i = 0; i < texts.size(); ++i)
            store.write(Section::Config, QStringLiteral("Key%1").arg(i), texts[i]);
        ASSERT_TRUE(store.sync());
    }
    SettingsStore again(file);
    for (int i = 0; i < texts.size(); ++i)
        EXPECT_EQ(again.read(Section::Config, QStringLiteral("Key%1").arg(i), QStringLiteral("<none>")), texts[i]) << i;
}
