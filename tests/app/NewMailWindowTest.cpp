// The new-mail window: its texts, its size rules and whether it counts as shown.
#include "app/NewMailWindow.h"
#include "dialogs/DialogRoutines.h"
#include "store/AppState.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace ormisk;

namespace {

class NewMailTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        delete window.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    NewMailWindow* open()
    {
        window = new NewMailWindow(state, newMail);
        return window;
    }
    [[nodiscard]] QLabel* label() const { return window->findChild<QLabel*>(QStringLiteral("lblMsg")); }
    [[nodiscard]] QPushButton* button(const char* name) const
    {
        return window->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    AppState state;
    qint32 newMail = 0; // what the checks left new
    QPointer<NewMailWindow> window;
};

} // namespace

TEST_F(NewMailTest, ShowsTheFilledInMessageWithItsButtons)
{
    newMail = 3;
    open();
    EXPECT_TRUE(window->isShown());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Ormisk"));
    EXPECT_EQ(label()->text(), QStringLiteral("You have 3 new messages"));
    EXPECT_EQ(window->notice(), QStringLiteral("You have # new message[s]"));
    EXPECT_EQ(button("ButOK")->text(), QStringLiteral("OK"));
    EXPECT_EQ(button("ButOK")->toolTip(), QStringLiteral("Click here to return"));
    EXPECT_EQ(button("butView")->text(), QStringLiteral("View Mail"));
    EXPECT_EQ(button("butView")->toolTip(), QStringLiteral("View the message window"));
    EXPECT_TRUE(label()->font().bold());
}

TEST_F(NewMailTest, EmptyTemplateKeepsTheDesignedText)
{
    state.options.DialogMessage.clear();
    newMail = 2;
    open();
    EXPECT_EQ(label()->text(), QStringLiteral("You have 2 messages"));
}

TEST_F(NewMailTest, ShortMessageGivesTheMinimumWidthAndEvenlySpacedButtons)
{
    state.options.DialogMessage = QStringLiteral("# new");
    newMail = 1;
    open();
    const int width = window->twipsToPixels(NewMailWindow::kMinimumWidthTwips);
    EXPECT_EQ(window->width(), width);
    const QRect ok = button("ButOK")->geometry();
    const QRect view = button("butView")->geometry();
    EXPECT_EQ(ok.width(), window->twipsToPixels(NewMailWindow::kButtonWidthTwips));
    EXPECT_EQ(view.width(), ok.width());
    EXPECT_EQ(ok.top(), view.top());
    const int gap = ok.left();
    EXPECT_GT(gap, 0);
    EXPECT_EQ(view.left() - ok.right() - 1, gap);
    const int after = width - view.right() - 1;
    EXPECT_GE(after, gap);
    EXPECT_LE(after, gap + 2) << "only the remainder of the division may be left over";
    EXPECT_GT(ok.top(), label()->geometry().bottom());
}

TEST_F(NewMailTest, LongMessageWidensTheWindowBeyondTheLabel)
{
    state.options.DialogMessage = QStringLiteral("There are # new messages waiting for you on your mail servers[.]");
    newMail = 5;
    open();
    EXPECT_EQ(window->width(), label()->width() + window->twipsToPixels(NewMailWindow::kLabelMarginTwips));
    EXPECT_GT(window->width(), window->twipsToPixels(NewMailWindow::kMinimumWidthTwips));
    EXPECT_LE(label()->geometry().right(), window->width());
}

TEST_F(NewMailTest, UpdateRefreshesTheTextButKeepsTheSize)
{
    newMail = 1;
    open();
    const QSize size = window->size();
    newMail = 12;
    window->Update(newMail);
    EXPECT_EQ(label()->text(), QStringLiteral("You have 12 new messages"));
    EXPECT_EQ(window->size(), size);
    EXPECT_TRUE(window->isShown());
}

TEST_F(NewMailTest, UpdateFormatsFromTheTemplateEveryTime)
{
    // Without "#" a refresh that started from the shown text would take away the second pair.
    state.options.DialogMessage = QStringLiteral("New mail[s] [!]");
    newMail = 1;
    open();
    EXPECT_EQ(label()->text(), QStringLiteral("New mail [!]"));
    window->Update(newMail);
    EXPECT_EQ(label()->text(), QStringLiteral("New mail [!]"));
}

TEST_F(NewMailTest, UpdateWithNothingNewClosesTheWindow)
{
    newMail = 2;
    open();
    window->show();
    newMail = 0;
    window->Update(newMail);
    EXPECT_FALSE(window->isShown());
    flushDeletes();
    EXPECT_TRUE(window.isNull());
}

TEST_F(NewMailTest, ButtonsCloseTheWindowAndViewMailCallsTheMainWindowFirst)
{
    newMail = 1;
    open();
    window->show();
    bool shownWhenAsked = false;
    QObject::connect(window, &NewMailWindow::viewMailRequested, [&] { shownWhenAsked = window->isShown(); });
    QSignalSpy view(window.data(), &NewMailWindow::viewMailRequested);
    button("butView")->click();
    EXPECT_EQ(view.count(), 1);
    EXPECT_TRUE(shownWhenAsked);
    EXPECT_FALSE(window->isShown());
    flushDeletes();
    EXPECT_TRUE(window.isNull());

    open();
    window->show();
    EXPECT_TRUE(window->isShown());
    button("ButOK")->click();
    EXPECT_FALSE(window->isShown());
}

TEST_F(NewMailTest, ReturnAndEnterPressTheFocusedButton)
{
    newMail = 1;
    open();
    window->show();
    button("ButOK")->setFocus();
    QTest::keyClick(window->focusWidget(), Qt::Key_Return);
    EXPECT_FALSE(window->isShown());

    open();
    window->show();
    QSignalSpy view(window.data(), &NewMailWindow::viewMailRequested);
    button("butView")->setFocus();
    QTest::keyClick(window->focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(view.count(), 1);
    EXPECT_FALSE(window->isShown());
}

TEST(CenterForm, PutsTheWindowInTheMiddleOfItsScreen)
{
    QWidget small;
    small.resize(200, 100);
    CenterForm(&small);
    const QRect screen = small.screen()->geometry();
    EXPECT_EQ(small.x(), screen.x() + (screen.width() - 200) / 2);
    EXPECT_EQ(small.y(), screen.y() + (screen.height() - 100) / 2);

    QWidget large;
    large.resize(screen.width() + 100, screen.height() + 60);
    CenterForm(&large);
    EXPECT_EQ(large.x(), screen.x() - 50);
    EXPECT_EQ(large.y(), screen.y() - 30);
}
