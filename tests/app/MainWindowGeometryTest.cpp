// The main window's place, size and state: what it writes to the store and brings back, and how
// minimizing, maximizing and the tray move it.
#include "support/MainWindowFixture.h"
#include "support/NextDialog.h"
#include "support/Wait.h"

#include "options/OptionsDialog.h"
#include "tray/TrayIcon.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

using namespace ormisk;
using namespace ormisk::test;
using ormisk::testing::NextDialog;

namespace {

class MainWindowGeometryTest : public MainWindowFixture {
protected:
    // Sentinels that only a geometry write replaces.
    void markGeometry()
    {
        for (const char* key : { "Top", "Left", "Height", "Width", "State" })
            store.write(Section::Config, QLatin1String(key), QStringLiteral("untouched"));
    }
    void expectNormalGeometryWritten() const
    {
        const double tx = 1440.0 / window->logicalDpiX();
        const double ty = 1440.0 / window->logicalDpiY();
        EXPECT_DOUBLE_EQ(config("Top").toDouble(), window->y() * ty);
        EXPECT_DOUBLE_EQ(config("Left").toDouble(), window->x() * tx);
        EXPECT_DOUBLE_EQ(config("Height").toDouble(), window->height() * ty);
        EXPECT_DOUBLE_EQ(config("Width").toDouble(), window->width() * tx);
        EXPECT_EQ(config("State"), QStringLiteral("0"));
    }
    void expectCountdownBoxPlaced() const
    {
        const QLineEdit* box = window->timeLeftBox();
        EXPECT_EQ(box->parentWidget(), window->tree());
        EXPECT_EQ(box->y(), 1);
        EXPECT_EQ(box->x(), tree().width() - box->width() - 3);
        EXPECT_TRUE(box->isVisible());
    }
};

} // namespace

TEST_F(MainWindowGeometryTest, ResizingANormalWindowWritesItsGeometryInTwips)
{
    start();
    expectNormalGeometryWritten(); // start-up's own resize pass
    markGeometry();
    window->resize(640, 450);
    ORMISK_WAIT_EQ(window->size(), QSize(640, 450));
    expectNormalGeometryWritten();
    expectCountdownBoxPlaced();

    // Smaller: the box keeps its place at the tree's top right corner.
    window->resize(300, 200);
    ORMISK_WAIT_EQ(window->size(), QSize(300, 200));
    expectCountdownBoxPlaced();
    EXPECT_LE(window->timeLeftBox()->geometry().right(), tree().width() - 1);
}

TEST_F(MainWindowGeometryTest, MaximizedWritesOnlyTheStateAndRestoreStateFollows)
{
    start();
    markGeometry();
    window->showMaximized();
    ORMISK_WAIT_TRUE(window->isMaximized(), 5000);
    QTest::qWait(0);
    EXPECT_EQ(config("State"), QStringLiteral("2"));
    for (const char* key : { "Top", "Left", "Height", "Width" })
        EXPECT_EQ(config(key), QStringLiteral("untouched")) << key;
    EXPECT_TRUE(window->restoresMaximized());
    ORMISK_WAIT_TRUE(window->timeLeftBox()->x() == tree().width() - window->timeLeftBox()->width() - 3, 5000);

    window->showNormal();
    ORMISK_WAIT_TRUE(!window->isMaximized(), 5000);
    EXPECT_FALSE(window->restoresMaximized());
    ORMISK_WAIT_EQ(config("State"), QStringLiteral("0"));
    expectNormalGeometryWritten();
}

TEST_F(MainWindowGeometryTest, MinimizingMarksMailReadAndRestoringClosesTheNewMailWindow)
{
    startWithMail(2);
    QCoro::waitFor(window->scheduler().PollCycle());
    ASSERT_EQ(childImages(workKey()), (QStringList { QStringLiteral("NewMail"), QStringLiteral("NewMail") }));
    EXPECT_EQ(window->trayIcon().picture(), TrayPicture::MailWaiting);
    ASSERT_NE(window->newMailWindow(), nullptr);
    EXPECT_TRUE(window->newMailWindowShown());

    markGeometry();
    window->showMinimized();
    ORMISK_WAIT_TRUE(window->isMinimized(), 5000);
    EXPECT_EQ(childImages(workKey()), (QStringList { QStringLiteral("Mail"), QStringLiteral("Mail") }));
    EXPECT_EQ(window->trayIcon().picture(), TrayPicture::Idle);
    for (const char* key : { "Top", "Left", "Height", "Width", "State" })
        EXPECT_EQ(config(key), QStringLiteral("untouched")) << key;
    EXPECT_NE(window->newMailWindow(), nullptr) << "minimizing leaves the new-mail window alone";
    if (!TrayIcon::available()) {
        EXPECT_TRUE(window->isVisible()) << "without a tray the window stays reachable";
    }

    window->showNormal();
    ORMISK_WAIT_TRUE(!window->isMinimized(), 5000);
    ORMISK_WAIT_EQ(window->newMailWindow(), nullptr);
    EXPECT_FALSE(window->newMailWindowShown());
    EXPECT_FALSE(window->restoresMaximized());
    expectNormalGeometryWritten();
}

TEST_F(MainWindowGeometryTest, OptionsFromTheTrayShowTheWindowFirstAndItStaysWhenTheIconGoes)
{
    start();
    ASSERT_TRUE(state.options.RunInTray);
    window->showMinimized();
    if (TrayIcon::available())
        ORMISK_WAIT_TRUE(!window->isVisible(), 5000);
    else
        window->hide(); // where the tray would put it
    bool shownWhenOpen = false;
    {
        NextDialog<OptionsDialog> next([&](OptionsDialog& d) {
            shownWhenOpen = window->isVisible() && !window->isMinimized();
            d.findChild<QCheckBox*>(QStringLiteral("chkRunInTray"))->setChecked(false);
            d.findChild<QPushButton*>(QStringLiteral("butOK"))->click();
        });
        window->menus().mnuOptions->trigger(); // the tray pops up this same menu
        ASSERT_EQ(next.shown(), 1);
    }
    EXPECT_TRUE(shownWhenOpen);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(state.options.RunInTray);
    EXPECT_EQ(config("RunInTray"), QStringLiteral("False"));
    EXPECT_FALSE(window->trayIcon().inTray());

    // The tray itself going away while the window is hidden brings the window back too.
    window->hide();
    emit window->trayIcon().trayUnavailable();
    EXPECT_TRUE(window->isVisible());
}

TEST_F(MainWindowGeometryTest, StoredGeometryIsReappliedByTheNextWindow)
{
    start();
    window->move(37, 44);
    window->resize(610, 430);
    ORMISK_WAIT_EQ(window->size(), QSize(610, 430));
    ORMISK_WAIT_EQ(window->pos(), QPoint(37, 44));
    ASSERT_TRUE(window->close());
    window.reset();

    start();
    EXPECT_EQ(window->pos(), QPoint(37, 44));
    EXPECT_EQ(window->size(), QSize(610, 430));
    EXPECT_FALSE(window->isMaximized());

    // Closing while maximized keeps the last normal place; the next start opens maximized.
    const double twipsX = 1440.0 / window->logicalDpiX();
    window->showMaximized();
    ORMISK_WAIT_TRUE(window->isMaximized(), 5000);
    ASSERT_TRUE(window->close());
    window.reset();
    EXPECT_EQ(config("State"), QStringLiteral("2"));
    EXPECT_DOUBLE_EQ(config("Left").toDouble(), 37 * twipsX);
    start();
    EXPECT_TRUE(window->isMaximized());
    EXPECT_TRUE(window->restoresMaximized());
}

TEST_F(MainWindowGeometryTest, ClosingWhileMinimizedKeepsTheStoredGeometry)
{
    startWithMail(1);
    window->showMinimized();
    ORMISK_WAIT_TRUE(window->isMinimized(), 5000);
    markGeometry();
    ASSERT_TRUE(window->close());
    for (const char* key : { "Top", "Left", "Height", "Width", "State" })
        EXPECT_EQ(config(key), QStringLiteral("untouched")) << key;
}
