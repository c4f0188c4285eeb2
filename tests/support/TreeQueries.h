#pragma once
// Reading an account's message nodes back out of a tree, for assertions.
#include "engine/NodeTree.h"

#include <QStringList>

namespace ormisk::testing {

inline QStringList childKeys(const NodeTree& tree, const QString& parentKey)
{
    QStringList keys;
    for (QString k = tree.firstChild(parentKey); !k.isEmpty(); k = tree.next(k))
        keys << k;
    return keys;
}

inline QStringList childTexts(const NodeTree& tree, const QString& parentKey)
{
    QStringList out;
    for (const QString& k : childKeys(tree, parentKey))
        out << tree.text(k);
    return out;
}

inline QStringList childImages(const NodeTree& tree, const QString& parentKey)
{
    QStringList out;
    for (const QString& k : childKeys(tree, parentKey))
        out << tree.image(k);
    return out;
}

} // namespace ormisk::testing
