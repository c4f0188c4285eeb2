#include "tree/AccountTree.h"
#include "engine/AccountCheck.h"
#include "engine/PollScheduler.h"
#include "engine/TreeOps.h"
#include "store/AccountTable.h"
#include "store/AppState.h"
#include "store/SettingsStore.h"
#include "support/FakePop.h"
#include "support/RecordingHost.h"
#include "support/ScriptedDialogService.h"
#include "tree/AccountController.h"

#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace ormisk;

namespace {

struct TreeFixture : ::testing::Test {
    AppState state;
    AccountTree tree;
    test::FakePop pop;
    test::RecordingHost host { &engine };
    MailEngine engine { state, tree, pop, host };
    PollScheduler scheduler { engine };
    QTemporaryDir dir;
    SettingsStore store { dir.filePath(QStringLiteral("Ormisk.conf")) };
    ormisk::testing::ScriptedDialogService dialogs;
    AccountController controller { engine, scheduler, store, dialogs, nullptr };

    void SetUp() override
    {
        for (const char* t : { "Work", "Home", "Old" }) {
            AccountRecord a;
            a.Title = QLatin1String(t);
            a.NodeKey = state.accounts.newKey(state.random);
            state.accounts.append(a);
        }
        state.account(2).Disabled = true;
        RebuildTree(state, tree, QStringLiteral(" --- Unchecked."));
        const QString work = state.account(1).NodeKey;
        tree.add(work, QStringLiteral("C1"), QStringLiteral("#1 --- 10 bytes --- "), Image::NewMail);
        tree.add(work, QStringLiteral("C2"), QStringLiteral("(Deleted) ---  --- "), Image::Deleted);
        tree.add(work, QStringLiteral("C3"), QStringLiteral("#2 --- 20 bytes --- "), Image::Mail);
        tree.resize(400, 300);
        tree.show();
        tree.expandAll();
    }
    QPoint centerOf(const QString& key)
    {
        for (QTreeWidgetItemIterator it(&tree); *it; ++it) {
            if ((*it)->data(0, Qt::UserRole).toString() == key)
                return tree.visualItemRect(*it).center();
        }
        return {};
    }
    // Each refresh of the menus reaches the window.
    [[nodiscard]] qsizetype refreshes() const { return host.events.count(QStringLiteral("menus 1111")); }
};

} // namespace

TEST_F(TreeFixture, RebuildGivesOneNodePerAccountWithTextsAndImages)
{
    RebuildTree(state, tree, QStringLiteral(" --- Unchecked."));
    ASSERT_EQ(tree.count(), 3);
    EXPECT_EQ(tree.text(state.account(1).NodeKey), QStringLiteral("Work --- Unchecked."));
    EXPECT_EQ(tree.image(state.account(1).NodeKey), Image::NoMail);
    EXPECT_EQ(tree.text(state.account(2).NodeKey), QStringLiteral("Home--- Disabled."));
    EXPECT_EQ(tree.image(state.account(2).NodeKey), Image::Closed);
    EXPECT_EQ(tree.expandedImage(state.account(2).NodeKey), Image::HaveMail);
    EXPECT_EQ(tree.keyAt(1), state.account(1).NodeKey);
    EXPECT_EQ(tree.keyAt(3), state.account(3).NodeKey);
    EXPECT_FALSE(tree.expanded(state.account(1).NodeKey));
}

TEST_F(TreeFixture, KeyedOperationsFollowTreeOrder)
{
    const QString work = state.account(1).NodeKey;
    EXPECT_EQ(tree.count(), 6);
    EXPECT_EQ(tree.keyAt(2), QStringLiteral("C1"));
    EXPECT_EQ(tree.keyAt(4), QStringLiteral("C3"));
    EXPECT_EQ(tree.keyAt(5), state.account(2).NodeKey);
    EXPECT_EQ(FindNodePosition(tree, QStringLiteral("C1")), 1);
    EXPECT_EQ(FindNodePosition(tree, QStringLiteral("C99")), 0);
    EXPECT_EQ(tree.firstChild(work), QStringLiteral("C1"));
    EXPECT_EQ(tree.next(QStringLiteral("C1")), QStringLiteral("C2"));
    EXPECT_EQ(tree.next(QStringLiteral("C3")), QString());
    EXPECT_EQ(tree.parent(QStringLiteral("C3")), work);
    EXPECT_EQ(tree.children(work), 3);
    tree.remove(work);
    EXPECT_EQ(tree.count(), 2);
    EXPECT_FALSE(tree.contains(QStringLiteral("C2")));
    EXPECT_EQ(tree.keyAt(1), state.account(2).NodeKey);
}

TEST_F(TreeFixture, ClicksSetTheSelection)
{
    QSignalSpy pressed(&tree, &AccountTree::nodePressed);
    const auto press = [&](const QString& key, Qt::MouseButton button) {
        const QPoint at = key.isEmpty() ? QPoint(300, 280) : centerOf(key);
        QTest::mousePress(tree.viewport(), button, {}, at);
        QTest::mouseRelease(tree.viewport(), button, {}, at);
        const QList<QVariant> args = pressed.takeLast();
        return controller.nodePressed(args.at(0).toString(), args.at(1).value<Qt::MouseButton>() == Qt::RightButton);
    };

    const Selection& selection = controller.selection();
    EXPECT_EQ(press(state.account(1).NodeKey, Qt::LeftButton), PopupMenu::None);
    EXPECT_EQ(selection.account, 1);
    EXPECT_EQ(selection.message, 0);

    EXPECT_EQ(press(QStringLiteral("C1"), Qt::RightButton), PopupMenu::Messages);
    EXPECT_EQ(selection.account, 1);
    EXPECT_EQ(selection.message, 1);
    EXPECT_EQ(tree.selected(), QStringLiteral("C1"));

    // A message a filter deleted selects its account's menu, not the message menu.
    EXPECT_EQ(press(QStringLiteral("C2"), Qt::RightButton), PopupMenu::Accounts);
    EXPECT_EQ(selection.message, 0);
    EXPECT_EQ(selection.account, 1);

    EXPECT_EQ(press(QString(), Qt::RightButton), PopupMenu::Monitoring);
    EXPECT_TRUE(selection.isEmpty());
    EXPECT_EQ(tree.selected(), QString());

    // With the Monitoring menu disabled (a check runs) a right click on empty space opens nothing.
    engine.beginConversation();
    EXPECT_EQ(press(QString(), Qt::RightButton), PopupMenu::None);
    engine.endConversation();
}

TEST_F(TreeFixture, ExpandingAnAccountByHandMakesItCurrent)
{
    QSignalSpy expanded(&tree, &AccountTree::nodeExpandedByUser);
    const QString old = state.account(3).NodeKey;
    tree.add(old, QStringLiteral("C9"), QStringLiteral("#1"), Image::NewMail);
    tree.setExpanded(old, true); // the program's own expansion is not the user's
    EXPECT_EQ(expanded.count(), 0);
    tree.setExpanded(old, false);
    for (QTreeWidgetItemIterator it(&tree); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toString() == old)
            (*it)->setExpanded(true); // as a click on the sign does
    }
    ASSERT_EQ(expanded.count(), 1);
    controller.nodeSelectedByKeyboard(QStringLiteral("C1")); // a message was selected before
    controller.nodeExpanded(expanded.first().first().toString());
    EXPECT_EQ(controller.selection().account, 3);
    EXPECT_EQ(controller.selection().message, 0);
    EXPECT_EQ(refreshes(), 2);
}

TEST_F(TreeFixture, KeyboardSelectionUpdatesTheSelectionLikeAClick)
{
    QSignalSpy moved(&tree, &AccountTree::nodeSelectedByKeyboard);
    tree.setFocus();
    tree.setSelected(state.account(1).NodeKey);
    QTest::keyClick(&tree, Qt::Key_Down);
    ASSERT_EQ(moved.count(), 1);
    controller.nodeSelectedByKeyboard(moved.first().first().toString());
    EXPECT_EQ(controller.selection().account, 1);
    EXPECT_EQ(controller.selection().message, 1);
    EXPECT_EQ(refreshes(), 1);
}

TEST_F(TreeFixture, HideSelectionRespectsOpenDialogs)
{
    tree.setSelected(QStringLiteral("C1"));
    {
        const AccountController::SelectionHold editor = controller.holdSelection();
        const AccountController::SelectionHold nested = controller.holdSelection();
        controller.hideSelection();
        EXPECT_EQ(tree.selected(), QStringLiteral("C1"));
    }
    controller.hideSelection();
    EXPECT_EQ(tree.selected(), QString());
}

// Past a few hundred nodes, messages reach the widget in batches; every keyed operation still
// sees them at once and in the order they were added.
TEST_F(TreeFixture, LargeTreesAddInBatchesWithoutLosingOrder)
{
    const QString old = state.account(3).NodeKey;
    const QString work = state.account(1).NodeKey;
    QStringList keys;
    for (int i = 1; i <= 700; ++i) {
        keys << QStringLiteral("C%1").arg(1000 + i);
        tree.add(old, keys.last(), QStringLiteral("#%1").arg(i), Image::NewMail);
        tree.setTag(keys.last(), QStringLiteral("tag %1").arg(i));
        tree.setExpanded(old, true);
        tree.ensureVisible(keys.last());
    }
    tree.add(work, QStringLiteral("C4"), QStringLiteral("late"), Image::NewMail);
    EXPECT_EQ(tree.count(), 6 + 700 + 1);
    EXPECT_EQ(tree.text(keys.last()), QStringLiteral("#700"));
    EXPECT_EQ(tree.tag(keys.first()), QStringLiteral("tag 1"));
    EXPECT_EQ(tree.parent(keys.last()), old);
    EXPECT_EQ(tree.keyAt(5), QStringLiteral("C4"));
    EXPECT_EQ(tree.keyAt(8), keys.first());
    QStringList walked;
    for (QString k = tree.firstChild(old); !k.isEmpty(); k = tree.next(k))
        walked << k;
    EXPECT_EQ(walked, keys);
    EXPECT_EQ(tree.children(old), 700);
    // The widget itself holds them all once the batch is in, scrolled to the last one asked for.
    tree.add(old, QStringLiteral("C9999"), QStringLiteral("#701"), Image::NewMail);
    tree.ensureVisible(QStringLiteral("C9999"));
    QTest::qWait(300);
    int rows = 0;
    QTreeWidgetItem* last = nullptr;
    for (QTreeWidgetItemIterator it(&tree); *it; ++it, ++rows)
        last = *it;
    EXPECT_EQ(rows, tree.count());
    ASSERT_EQ(last->text(0), QStringLiteral("#701"));
    EXPECT_TRUE(tree.viewport()->rect().contains(tree.visualItemRect(last)));

    // Removing an account or clearing the tree takes messages still waiting for their batch too.
    tree.add(old, QStringLiteral("C9998"), QString(), Image::NewMail);
    tree.remove(old);
    EXPECT_FALSE(tree.contains(QStringLiteral("C9998")));
    for (int i = 1; i <= 600; ++i)
        tree.add(work, QStringLiteral("C%1").arg(20000 + i), QString(), Image::NewMail);
    tree.clear();
    EXPECT_EQ(tree.count(), 0);
    EXPECT_EQ(tree.keyAt(1), QString());
}

// A check clears and rebuilds the tree: the view comes back where the user had scrolled to,
// unless the program itself moves it (AutoExpand's ensureVisible).
TEST_F(TreeFixture, ARebuildKeepsTheScrollPositionUnlessTheProgramMovesTheView)
{
    const auto rebuild = [&](bool ensureVisible) {
        tree.clear();
        for (int i = 1; i <= 80; ++i) {
            const QString key = QStringLiteral("P%1").arg(i);
            tree.add(QString(), key, QStringLiteral("Account %1 --- Checking...").arg(i), Image::NoMail);
            if (ensureVisible)
                tree.ensureVisible(key);
        }
        QTest::qWait(300);
    };
    rebuild(false);
    QScrollBar* bar = tree.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 20);
    bar->setValue(20);
    rebuild(false);
    EXPECT_EQ(bar->value(), 20);
    rebuild(true);
    EXPECT_EQ(bar->value(), bar->maximum()) << "the last node asked for is in view";
}
