#include "engine/SeenLists.h"

#include "engine/HeaderText.h"
#include "engine/NodeTree.h"
#include "engine/TreeOps.h"
#include "store/AppState.h"

#include <QSet>

namespace ormisk {

namespace {

const QString kMessageId = QStringLiteral("Message-Id : ");

bool inList(const QStringList& list, const QString& header)
{
    const QString id = MessageIdentity(header);
    for (const QString& entry : list) {
        if (MessageIdentity(entry) == id)
            return true;
    }
    return false;
}

} // namespace

QString MessageIdentity(const QString& header)
{
    return GetHeaderField(kMessageId, header);
}

bool IsSeen(const AppState& state, const QString& header)
{
    return inList(state.SeenHeaders, header);
}

bool IsRead(const AppState& state, const QString& header)
{
    return inList(state.ReadHeaders, header);
}

void RememberSeen(AppState& state, const NodeTree& tree)
{
    // Each identity is taken once: compared pair by pair, a thousand messages on display kept the
    // window's thread busy for a second at the end of every cycle, growing with the square.
    QSet<QString> known;
    for (const QString& entry : std::as_const(state.SeenHeaders))
        known.insert(MessageIdentity(entry));
    const int nodes = tree.count();
    for (int index = 1; index <= nodes; ++index) {
        const QString key = tree.keyAt(index);
        if (!isMessageKey(key))
            continue;
        const QString tag = tree.tag(key);
        const QString identity = MessageIdentity(tag);
        if (known.contains(identity))
            continue;
        known.insert(identity);
        state.SeenHeaders.append(tag);
    }
    if (state.SeenHeaders.size() > kSeenLimit)
        state.SeenHeaders.remove(0, state.SeenHeaders.size() - kSeenLimit);
}

void SnapshotRead(AppState& state, const NodeTree& tree)
{
    RememberSeen(state, tree);
    state.ReadHeaders.clear();
    const int nodes = tree.count();
    for (int index = 1; index <= nodes; ++index) {
        const QString key = tree.keyAt(index);
        if (isMessageKey(key))
            state.ReadHeaders.append(tree.tag(key));
    }
    state.NewMailCount = 0;
}

void MarkAllRead(AppState& state, NodeTree& tree)
{
    if (!state.menus.mnuAccounts.enabled)
        return;
    SnapshotRead(state, tree);
    const int nodes = tree.count();
    for (int index = 1; index <= nodes; ++index) {
        const QString key = tree.keyAt(index);
        if (tree.image(key) == Image::NewMail)
            tree.setImage(key, Image::Mail);
    }
    state.NewMailCount = 0;
}

QString NewMessageKey(AppState& state, const NodeTree& tree)
{
    constexpr int kHighest = 32766;
    // Random draws find a free key at once in any real tree; the walk afterwards only guarantees
    // an end when nearly every key is in use.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const double r = state.nextRandom();
        const QString key = QLatin1Char('C') + QString::number(static_cast<int>(r * kHighest + 1.0));
        if (!tree.contains(key))
            return key;
    }
    for (int n = 1; n <= kHighest; ++n) {
        const QString key = QLatin1Char('C') + QString::number(n);
        if (!tree.contains(key))
            return key;
    }
    return {};
}

} // namespace ormisk
