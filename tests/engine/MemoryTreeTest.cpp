// The in-memory tree behind `--once`: order and sibling walks must survive removals anywhere.
#include "engine/MemoryTree.h"

#include "support/Strings.h"

#include <gtest/gtest.h>

using namespace ormisk;
using ormisk::testing::strings;

namespace {

QStringList walk(const MemoryTree& tree, const QString& first)
{
    QStringList keys;
    for (QString k = first; !k.isEmpty(); k = tree.next(k))
        keys << k;
    return keys;
}

QStringList all(const MemoryTree& tree)
{
    QStringList keys;
    for (int i = 1; i <= tree.count(); ++i)
        keys << tree.keyAt(i);
    return keys;
}

} // namespace

TEST(MemoryTree, SiblingWalksAndOrderAfterRemovals)
{
    MemoryTree tree;
    for (const char* root : { "P1", "P2", "P3" })
        tree.add({}, QString::fromLatin1(root), {}, {});
    for (int i = 1; i <= 5; ++i)
        tree.add(QStringLiteral("P2"), QStringLiteral("M%1").arg(i), {}, {});
    tree.add(QStringLiteral("missing"), QStringLiteral("orphan"), {}, {}); // becomes a root

    EXPECT_EQ(walk(tree, QStringLiteral("P1")), strings({ "P1", "P2", "P3", "orphan" }));
    EXPECT_EQ(walk(tree, tree.firstChild(QStringLiteral("P2"))), strings({ "M1", "M2", "M3", "M4", "M5" }));

    tree.remove(QStringLiteral("M3"));
    tree.remove(QStringLiteral("M1"));
    EXPECT_EQ(walk(tree, tree.firstChild(QStringLiteral("P2"))), strings({ "M2", "M4", "M5" }));
    EXPECT_EQ(tree.next(QStringLiteral("M4")), QStringLiteral("M5"));
    EXPECT_EQ(tree.next(QStringLiteral("M5")), QString());

    tree.add(QStringLiteral("P2"), QStringLiteral("M6"), {}, {});
    EXPECT_EQ(tree.next(QStringLiteral("M5")), QStringLiteral("M6"));

    tree.remove(QStringLiteral("P1"));
    EXPECT_EQ(walk(tree, QStringLiteral("P2")), strings({ "P2", "P3", "orphan" }));
    EXPECT_EQ(all(tree), strings({ "P2", "M2", "M4", "M5", "M6", "P3", "orphan" }));

    tree.remove(QStringLiteral("P2")); // with its children
    EXPECT_EQ(all(tree), strings({ "P3", "orphan" }));
    EXPECT_EQ(tree.next(QStringLiteral("M4")), QString());
    EXPECT_EQ(tree.next(QStringLiteral("P3")), QStringLiteral("orphan"));
}

TEST(MemoryTree, ChangesLandOnTheirNodeWhileNodesComeAndGo)
{
    MemoryTree tree;
    tree.add({}, QStringLiteral("P1"), {}, {});
    tree.add(QStringLiteral("P1"), QStringLiteral("C1"), QStringLiteral("one"), {});
    EXPECT_EQ(tree.text(QStringLiteral("C1")), QStringLiteral("one"));
    for (int i = 2; i <= 2000; ++i) // the hash grows and moves its nodes
        tree.add(QStringLiteral("P1"), QStringLiteral("C%1").arg(i), {}, {});
    tree.setText(QStringLiteral("C1"), QStringLiteral("first"));
    EXPECT_EQ(tree.text(QStringLiteral("C1")), QStringLiteral("first"));

    tree.remove(QStringLiteral("C1"));
    tree.setText(QStringLiteral("C1"), QStringLiteral("gone"));
    EXPECT_FALSE(tree.contains(QStringLiteral("C1")));
    tree.add(QStringLiteral("P1"), QStringLiteral("C1"), QStringLiteral("again"), {});
    EXPECT_EQ(tree.text(QStringLiteral("C1")), QStringLiteral("again"));

    const MemoryTree copy = tree;
    tree.ensureVisible(QStringLiteral("C1"));
    tree.setTag(QStringLiteral("C1"), QStringLiteral("mine"));
    EXPECT_TRUE(tree.expanded(QStringLiteral("P1")));
    EXPECT_EQ(tree.tag(QStringLiteral("C1")), QStringLiteral("mine"));
    EXPECT_FALSE(copy.expanded(QStringLiteral("P1"))) << "a copy keeps its own nodes";
    EXPECT_EQ(copy.tag(QStringLiteral("C1")), QString());
}
