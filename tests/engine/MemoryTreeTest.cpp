// The in-memory tree behind `--once`: order and sibling walks must survive removals anywhere.
#include "engine/MemoryTree.h"

#include <gtest/gtest.h>

using namespace ormisk;

namespace {

QStringList walk(const MemoryTree& tree, const QString& first)
{
    QStringList keys;
    for (QString k = first; !k.isEmpty(); k = tree.next(k))
        keys << k;
    return keys;
}

QStringList keys(std::initializer_list<const char*> list)
{
    QStringList out;
    for (const char* k : list)
        out << QString::fromLatin1(k);
    return out;
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

    EXPECT_EQ(walk(tree, QStringLiteral("P1")), keys({ "P1", "P2", "P3", "orphan" }));
    EXPECT_EQ(walk(tree, tree.firstChild(QStringLiteral("P2"))), keys({ "M1", "M2", "M3", "M4", "M5" }));

    tree.remove(QStringLiteral("M3"));
    tree.remove(QStringLiteral("M1"));
    EXPECT_EQ(walk(tree, tree.firstChild(QStringLiteral("P2"))), keys({ "M2", "M4", "M5" }));
    EXPECT_EQ(tree.next(QStringLiteral("M4")), QStringLiteral("M5"));
    EXPECT_EQ(tree.next(QStringLiteral("M5")), QString());

    tree.add(QStringLiteral("P2"), QStringLiteral("M6"), {}, {});
    EXPECT_EQ(tree.next(QStringLiteral("M5")), QStringLiteral("M6"));

    tree.remove(QStringLiteral("P1"));
    EXPECT_EQ(walk(tree, QStringLiteral("P2")), keys({ "P2", "P3", "orphan" }));
    EXPECT_EQ(all(tree), keys({ "P2", "M2", "M4", "M5", "M6", "P3", "orphan" }));

    tree.remove(QStringLiteral("P2")); // with its children
    EXPECT_EQ(all(tree), keys({ "P3", "orphan" }));
    EXPECT_EQ(tree.next(QStringLiteral("M4")), QString());
    EXPECT_EQ(tree.next(QStringLiteral("P3")), QStringLiteral("orphan"));
}
