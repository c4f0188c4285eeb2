// The tray icon: four distinct pictures and clicks turned into requests.
#include "tray/TrayIcon.h"
#include "tray/TrayPictures.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace ormisk;

namespace {

int visiblePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    return count;
}

int differingPixels(const QImage& a, const QImage& b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
    return count;
}

} // namespace

TEST(TrayPictures, FourDistinctPicturesAtEveryTraySize)
{
    for (const int size : { 16, 22, 24, 32, 48 }) {
        QList<QImage> pictures;
        for (int i = 0; i < kTrayPictureCount; ++i) {
            pictures.append(drawTrayPicture(i, size));
            EXPECT_EQ(pictures.last().size(), QSize(size, size));
            // Most of the square is used, and a transparent corner shows it is not a filled block.
            EXPECT_GT(visiblePixels(pictures.last()), size * size / 3) << i << " at " << size;
            EXPECT_EQ(qAlpha(pictures.last().pixel(0, 0)), 0);
        }
        for (int i = 0; i < kTrayPictureCount; ++i)
            for (int j = i + 1; j < kTrayPictureCount; ++j)
                EXPECT_GT(differingPixels(pictures[i], pictures[j]), size * size / 10)
                    << i << " and " << j << " look alike at " << size;
    }
    EXPECT_TRUE(trayPicture(kTrayPictureCount).isNull());
    EXPECT_FALSE(trayPicture(0).isNull());
}

TEST(TrayIcon, TipPictureAndUnknownPictures)
{
    TrayIcon tray;
    EXPECT_EQ(tray.tip(), QStringLiteral("Ormisk"));
    EXPECT_EQ(tray.picture(), 0);
    tray.setPicture(2);
    EXPECT_EQ(tray.picture(), 2);
    tray.setPicture(4);
    tray.setPicture(-1);
    EXPECT_EQ(tray.picture(), 2) << "an unknown picture keeps the previous one";
    const QImage shown = tray.systemTrayIcon().icon().pixmap(22, 22).toImage().convertToFormat(QImage::Format_ARGB32);
    const QImage expected = drawTrayPicture(2, 22).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(shown, expected);
}

TEST(TrayIcon, LeftClickRestoresRightClickOpensTheMenuALittleLater)
{
    TrayIcon tray;
    QSignalSpy restore(&tray, &TrayIcon::restoreRequested);
    QSignalSpy menu(&tray, &TrayIcon::menuRequested);

    emit tray.systemTrayIcon().activated(QSystemTrayIcon::Trigger);
    EXPECT_EQ(restore.count(), 1);
    EXPECT_EQ(menu.count(), 0);

    emit tray.systemTrayIcon().activated(QSystemTrayIcon::Context);
    EXPECT_EQ(menu.count(), 0) << "the menu must open outside the click's own handling";
    EXPECT_TRUE(tray.mnuTimer.isActive());
    EXPECT_EQ(tray.mnuTimer.interval(), 100);
    ASSERT_TRUE(menu.wait(2000));
    EXPECT_EQ(menu.count(), 1);
    EXPECT_FALSE(tray.mnuTimer.isActive());

    // Double and middle clicks do nothing.
    emit tray.systemTrayIcon().activated(QSystemTrayIcon::DoubleClick);
    emit tray.systemTrayIcon().activated(QSystemTrayIcon::MiddleClick);
    EXPECT_FALSE(tray.mnuTimer.isActive());
    EXPECT_EQ(restore.count(), 1);
    EXPECT_EQ(menu.count(), 1);
}

TEST(TrayIcon, WithoutATrayTheWindowMustNotHide)
{
    if (TrayIcon::available())
        GTEST_SKIP() << "this desktop has a tray; the no-tray case cannot be shown here";
    TrayIcon tray;
    QSignalSpy unavailable(&tray, &TrayIcon::trayUnavailable);
    tray.setInTray(true);
    EXPECT_TRUE(tray.inTray());
    EXPECT_FALSE(tray.canHideWindow());
    EXPECT_EQ(unavailable.count(), 1);
    tray.setInTray(true);
    EXPECT_EQ(unavailable.count(), 1) << "writing the same value again has no effect";
}

TEST(TrayIcon, InAndOutOfTheTray)
{
    if (!TrayIcon::available())
        GTEST_SKIP() << "no system tray on this desktop (offscreen or no tray host)";
    TrayIcon tray;
    QSignalSpy unavailable(&tray, &TrayIcon::trayUnavailable);
    tray.setPicture(3);
    tray.setInTray(true);
    EXPECT_TRUE(tray.systemTrayIcon().isVisible());
    EXPECT_TRUE(tray.canHideWindow());
    EXPECT_EQ(tray.picture(), 3);
    tray.setInTray(false);
    tray.setInTray(false);
    EXPECT_FALSE(tray.systemTrayIcon().isVisible());
    EXPECT_FALSE(tray.canHideWindow());
    EXPECT_EQ(unavailable.count(), 0);
}
