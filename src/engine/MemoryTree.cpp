#include "engine/MemoryTree.h"

#include <functional>

namespace ormisk {

void MemoryTree::add(const QString& parentKey, const QString& key, const QString& text, const QString& image)
{
    if (key.isEmpty() || m_nodes.contains(key))
        return;
    Node node;
    node.parent = parentKey;
    node.image = image;
    if (parentKey.isEmpty() || !m_nodes.contains(parentKey)) {
        node.text = text;
        node.parent.clear();
        node.position = m_roots.size();
        m_roots.append(key);
    } else {
        if (m_keepsChildTexts)
            node.text = text;
        QStringList& siblings = m_nodes[parentKey].children;
        node.position = siblings.size();
        siblings.append(key);
    }
    m_nodes.insert(key, node);
    m_recent = {};
    invalidate();
}

void MemoryTree::remove(const QString& key)
{
    const auto it = m_nodes.constFind(key);
    if (it == m_nodes.cend())
        return;
    const QString parentKey = it->parent;
    const qsizetype at = it->position;
    QStringList& siblings = parentKey.isEmpty() ? m_roots : m_nodes[parentKey].children;
    siblings.removeAt(at);
    for (qsizetype i = at; i < siblings.size(); ++i)
        m_nodes.find(siblings.at(i))->position = i;
    eraseSubtree(key);
    m_recent = {};
    invalidate();
    if (!m_nodes.contains(m_selected))
        m_selected.clear();
}

// The nodes below a removed node leave with it: no list but the removed node's own is touched, so
// removing an account with 100,000 messages costs as much as the messages, not their square.
void MemoryTree::eraseSubtree(const QString& key)
{
    const auto it = m_nodes.find(key);
    if (it == m_nodes.end())
        return;
    const QStringList children = it->children;
    m_nodes.erase(it);
    m_toolTips.remove(key);
    for (const QString& child : children)
        eraseSubtree(child);
}

void MemoryTree::clear()
{
    m_nodes.clear();
    m_toolTips.clear();
    m_recent = {};
    m_roots.clear();
    m_selected.clear();
    invalidate();
}

int MemoryTree::count() const { return static_cast<int>(m_nodes.size()); }

const QStringList& MemoryTree::order() const
{
    if (m_orderValid)
        return m_order;
    QStringList& out = m_order;
    out.clear();
    out.reserve(m_nodes.size());
    std::function<void(const QString&)> visit = [&](const QString& key) {
        out.append(key);
        for (const QString& child : m_nodes.constFind(key)->children)
            visit(child);
    };
    for (const QString& root : m_roots)
        visit(root);
    m_orderValid = true;
    return out;
}

QString MemoryTree::keyAt(int index) const
{
    const QStringList& keys = order();
    return index >= 1 && index <= keys.size() ? keys.at(index - 1) : QString();
}

bool MemoryTree::contains(const QString& key) const { return m_nodes.contains(key); }
QString MemoryTree::text(const QString& key) const
{
    const Node* n = node(key);
    return n ? n->text : QString();
}
void MemoryTree::setText(const QString& key, const QString& text)
{
    Node* n = find(key);
    if (n && (m_keepsChildTexts || n->parent.isEmpty()))
        n->text = text;
}
QString MemoryTree::image(const QString& key) const
{
    const Node* n = node(key);
    return n ? n->image : QString();
}
void MemoryTree::setImage(const QString& key, const QString& image)
{
    if (Node* n = find(key))
        n->image = image;
}
void MemoryTree::setExpandedImage(const QString& key, const QString& image)
{
    if (Node* n = find(key))
        n->expandedImage = image;
}
QString MemoryTree::expandedImage(const QString& key) const
{
    const Node* n = node(key);
    return n ? n->expandedImage : QString();
}
bool MemoryTree::expanded(const QString& key) const
{
    const Node* n = node(key);
    return n && n->expanded;
}
void MemoryTree::setExpanded(const QString& key, bool expanded)
{
    if (Node* n = find(key))
        n->expanded = expanded;
}
QString MemoryTree::tag(const QString& key) const
{
    const Node* n = node(key);
    return n ? n->tag : QString();
}
void MemoryTree::setTag(const QString& key, const QString& tag)
{
    if (Node* n = find(key))
        n->tag = tag;
}
void MemoryTree::setToolTip(const QString& key, const QString& text)
{
    if (!m_nodes.contains(key))
        return;
    if (text.isEmpty())
        m_toolTips.remove(key);
    else
        m_toolTips.insert(key, text);
}

QString MemoryTree::parent(const QString& key) const
{
    const Node* n = node(key);
    return n ? n->parent : QString();
}
QString MemoryTree::firstChild(const QString& key) const
{
    const Node* n = node(key);
    return n && !n->children.isEmpty() ? n->children.first() : QString();
}
int MemoryTree::children(const QString& key) const
{
    const Node* n = node(key);
    return n ? static_cast<int>(n->children.size()) : 0;
}
const MemoryTree::Node* MemoryTree::node(const QString& key) const
{
    if (m_recent.node && key == m_recent.key)
        return m_recent.node;
    const auto it = m_nodes.constFind(key);
    if (it == m_nodes.cend())
        return nullptr;
    m_recent.key = key;
    m_recent.node = &*it;
    return m_recent.node;
}

MemoryTree::Node* MemoryTree::find(const QString& key)
{
    // Changed in place: the hash is made this tree's own first, so the node the lookup finds is
    // the one to change.
    if (!m_nodes.isDetached()) {
        m_nodes.detach();
        m_recent = {};
    }
    return const_cast<Node*>(node(key));
}

const QStringList& MemoryTree::siblingsOf(const QString& parentKey) const
{
    if (parentKey.isEmpty())
        return m_roots;
    const auto it = m_nodes.constFind(parentKey);
    return it == m_nodes.cend() ? m_roots : it->children;
}

QString MemoryTree::next(const QString& key) const
{
    const Node* n = node(key);
    if (!n)
        return {};
    // Each node knows its place among its siblings: walking a thousand messages one by one must
    // not cost a search of the siblings each step.
    const QStringList& siblings = siblingsOf(n->parent);
    const qsizetype at = n->position;
    return at + 1 < siblings.size() ? siblings.at(at + 1) : QString();
}
void MemoryTree::ensureVisible(const QString& key)
{
    for (const Node* n = node(key); n && !n->parent.isEmpty();) {
        Node* up = find(n->parent);
        if (!up)
            break;
        up->expanded = true;
        n = up;
    }
}

QString MemoryTree::dump() const
{
    QString out;
    dump([&out](const QString& line) { out += line; });
    return out;
}

void MemoryTree::dump(const std::function<void(const QString& line)>& write) const
{
    QString line;
    std::function<void(const QString&, int)> visit = [&](const QString& key, int level) {
        const Node& n = *m_nodes.constFind(key);
        line.clear();
        line.append(QString(level * 2, QLatin1Char(' '))).append(n.text).append(QStringLiteral(" [")).append(n.image);
        line.append(QStringLiteral("]\n"));
        write(line);
        for (const QString& child : n.children)
            visit(child, level + 1);
    };
    for (const QString& root : m_roots)
        visit(root, 0);
}

} // namespace ormisk
