#pragma once
// A plain in-memory NodeTree: used by `--once` and by the engine's tests.
#include "engine/NodeTree.h"

#include <QHash>
#include <QStringList>

#include <functional>

namespace ormisk {

class MemoryTree : public NodeTree {
public:
    void add(const QString& parentKey, const QString& key, const QString& text, const QString& image) override;
    void remove(const QString& key) override;
    void clear() override;
    [[nodiscard]] int count() const override;
    [[nodiscard]] QString keyAt(int index) const override;
    [[nodiscard]] bool contains(const QString& key) const override;
    [[nodiscard]] QString text(const QString& key) const override;
    void setText(const QString& key, const QString& text) override;
    [[nodiscard]] QString image(const QString& key) const override;
    void setImage(const QString& key, const QString& image) override;
    void setExpandedImage(const QString& key, const QString& image) override;
    [[nodiscard]] bool expanded(const QString& key) const override;
    void setExpanded(const QString& key, bool expanded) override;
    [[nodiscard]] QString tag(const QString& key) const override;
    void setTag(const QString& key, const QString& tag) override;
    [[nodiscard]] QString toolTip(const QString& key) const override { return m_toolTips.value(key); }
    void setToolTip(const QString& key, const QString& text) override;
    [[nodiscard]] QString parent(const QString& key) const override;
    [[nodiscard]] QString firstChild(const QString& key) const override;
    [[nodiscard]] int children(const QString& key) const override;
    [[nodiscard]] QString next(const QString& key) const override;
    void ensureVisible(const QString& key) override;
    [[nodiscard]] QString selected() const override { return m_selected; }
    void setSelected(const QString& key) override { m_selected = key; }
    void clearDropHighlight() override { }

    [[nodiscard]] QString expandedImage(const QString& key) const;
    // The root nodes' keys, in order.
    [[nodiscard]] const QStringList& roots() const { return m_roots; }
    // Off: nodes below a root keep no text (text() gives an empty string), for a caller that
    // shows them from elsewhere. On by default.
    void setKeepsChildTexts(bool keeps) { m_keepsChildTexts = keeps; }
    [[nodiscard]] bool keepsChildTexts() const override { return m_keepsChildTexts; }
    // One line per node, indented by level: its text, then its image key in brackets.
    [[nodiscard]] QString dump() const;
    // The same lines, handed to `write` one at a time (each ends in a line feed).
    void dump(const std::function<void(const QString& line)>& write) const;

private:
    struct Node {
        QString parent;
        QStringList children;
        QString text, image, expandedImage, tag;
        bool expanded = false;
        qsizetype position = 0; // among the parent's children (or the roots)
    };
    [[nodiscard]] const QStringList& order() const;
    [[nodiscard]] const Node* node(const QString& key) const; // null when there is none
    [[nodiscard]] Node* find(const QString& key); // null when there is none
    [[nodiscard]] const QStringList& siblingsOf(const QString& parentKey) const;
    void eraseSubtree(const QString& key);
    void invalidate() { m_orderValid = false; }
    // The node last looked up: a message's node is set up by a run of calls with the same key,
    // each of which would otherwise search a hash of 100,000 nodes. Cleared when nodes come or
    // go (the hash may move them), and never copied.
    struct RecentNode {
        QString key;
        const Node* node = nullptr;
        RecentNode() = default;
        RecentNode(const RecentNode&) { }
        RecentNode& operator=(const RecentNode&)
        {
            key.clear();
            node = nullptr;
            return *this;
        }
    };
    QHash<QString, Node> m_nodes;
    QHash<QString, QString> m_toolTips; // only the few nodes that have one
    mutable RecentNode m_recent;
    QStringList m_roots;
    QString m_selected;
    mutable QStringList m_order; // keys in display order
    mutable bool m_orderValid = false;
    bool m_keepsChildTexts = true;
};

} // namespace ormisk
