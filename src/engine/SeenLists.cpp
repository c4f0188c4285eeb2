#include "engine/SeenLists.h"

#include "engine/NodeTree.h"
#include "engine/TreeOps.h"
#include "store/AppState.h"

#include <QSet>

#include <algorithm>

namespace ormisk {

namespace {

// The tags of all message nodes, in tree order (shared with the tree, not copied).
QStringList messageTags(const NodeTree& tree)
{
    QStringList tags;
    const qint32 nodes = tree.count();
    tags.reserve(nodes);
    for (qint32 index = 1; index <= nodes; ++index) {
        const QString key = tree.keyAt(index);
        if (isMessageKey(key))
            tags.append(tree.tag(key));
    }
    return tags;
}

// "C" and the number, made in one piece: one is made for every message of every check.
QString messageKey(qint64 n)
{
    char digits[24];
    qsizetype length = 0;
    for (quint64 rest = quint64(n); rest > 0 || length == 0; rest /= 10)
        digits[length++] = char('0' + rest % 10);
    QString key(length + 1, Qt::Uninitialized);
    QChar* out = key.data();
    out[0] = u'C';
    for (qsizetype i = 0; i < length; ++i)
        out[i + 1] = QLatin1Char(digits[length - 1 - i]);
    return key;
}

} // namespace

bool IsSeen(const AppState& state, const QString& header) { return state.SeenHeaders.containsIdentityOf(header); }

const QString* FindSeen(const AppState& state, const QString& header)
{
    return state.SeenHeaders.findIdentityOf(header);
}

bool IsRead(const AppState& state, const QString& header) { return state.ReadHeaders.containsIdentityOf(header); }

void RememberSeen(AppState& state, const NodeTree& tree)
{
    const QStringList shown = messageTags(tree);
    // Each shown header's identity is worked out once, for both questions below.
    QList<Identity> shownIdentities; // the texts the set's views point into
    shownIdentities.reserve(shown.size());
    QSet<QStringView> onDisplay;
    onDisplay.reserve(shown.size());
    for (const QString& tag : shown) {
        shownIdentities.append(identityOf(tag));
        const QStringView identity = shownIdentities.last().text;
        onDisplay.insert(identity);
        if (!state.SeenHeaders.containsIdentity(identity))
            state.SeenHeaders.append(tag);
    }
    // Every message on display stays known, however many there are: forgetting one would log it
    // and sound the alarm for it again at the next check. The oldest entries no longer on display
    // go first. The file keeps only the newest kSeenFileLimit, so beyond that many on display only
    // a restart forgets the oldest; the list itself is bounded by what the server may list.
    const qsizetype limit = std::max<qsizetype>(shown.size(), kSeenLimit);
    qsizetype excess = state.SeenHeaders.size() - limit;
    if (excess <= 0)
        return;
    // Every shown identity is in the list by now: when the list has no other, every entry is on
    // display and there is nothing to choose.
    if (onDisplay.size() < state.SeenHeaders.identityCount()) {
        state.SeenHeaders.removeUnless([&](const QString& entry) {
            if (excess > 0 && !onDisplay.contains(identityOf(entry).text)) {
                --excess;
                return false;
            }
            return true;
        });
    }
}

void SnapshotRead(AppState& state, const NodeTree& tree)
{
    RememberSeen(state, tree);
    state.ReadHeaders = messageTags(tree);
}

void MarkAllRead(AppState& state, NodeTree& tree, bool inConversation)
{
    if (inConversation)
        return;
    SnapshotRead(state, tree);
    const qint32 nodes = tree.count();
    for (qint32 index = 1; index <= nodes; ++index) {
        const QString key = tree.keyAt(index);
        if (tree.image(key) == Image::NewMail)
            tree.setImage(key, Image::Mail);
    }
}

QString NewMessageKey(AppState& state, const NodeTree& tree)
{
    // Draws stay within C1..C32766 while the tree fills at most half of that range; beyond, the
    // range grows with the tree so that at least half of it is always free: a free key takes two
    // draws at most on average, however many messages are on display.
    const qint64 range = std::max<qint64>(kMessageKeyRange, 2 * (qint64(tree.count()) + 1));
    for (int attempt = 0; attempt < 64; ++attempt) {
        const qint64 n = static_cast<qint64>(state.nextRandom() * double(range)) + 1;
        const QString key = messageKey(n);
        if (!tree.contains(key))
            return key;
    }
    // Reached only with a broken random source (64 misses in a row at odds of one half or
    // better). Keys above the range are never drawn, and fewer nodes exist than the range holds.
    for (qint64 n = range + 1;; ++n) {
        const QString key = QLatin1Char('C') + QString::number(n);
        if (!tree.contains(key))
            return key;
    }
}

} // namespace ormisk
