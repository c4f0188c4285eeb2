#include "app/AboutDialog.h"

#include <QLabel>
#include <QPushButton>
#include <QSysInfo>
#include <QTest>
#include <gtest/gtest.h>

using namespace ormisk;

TEST(AboutBox, ShowsNameVersionAndThisPlatform)
{
    AboutDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Ormisk"));
    EXPECT_EQ(VersionLine(), QStringLiteral("Version 2.0"));
    const QString platform = PlatformLine();
    EXPECT_TRUE(platform.startsWith(QString::number(QSysInfo::WordSize) + QStringLiteral(" bit for ")))
        << platform.toStdString();
#ifdef Q_OS_LINUX
    EXPECT_EQ(platform, QString::number(QSysInfo::WordSize) + QStringLiteral(" bit for Linux"));
#endif
    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        texts.append(label->text());
    EXPECT_TRUE(texts.contains(QStringLiteral("Ormisk")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Version 2.0")));
    EXPECT_TRUE(texts.contains(platform));
    const auto* icon = dialog.findChild<QLabel*>(QStringLiteral("picIcon"));
    ASSERT_NE(icon, nullptr);
    EXPECT_FALSE(icon->pixmap().isNull());
}

TEST(AboutBox, OkCloses)
{
    AboutDialog dialog;
    dialog.show();
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("Command1"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_EQ(ok->toolTip(), QStringLiteral("Click here to return"));
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
}
