#pragma once
// The account tree of the main window: a QTreeWidget offering the keyed node operations the
// engine works with, and reporting the user's mouse and keyboard actions by node key. Built for
// 100,000 messages: in a large tree new messages reach the widget in batches (every keyed
// operation sees them at once), and nothing costs a search of a node's siblings.
#include "engine/NodeTree.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>

namespace ormisk {

class AccountTree : public QTreeWidget, public NodeTree {
    Q_OBJECT
public:
    explicit AccountTree(QWidget* parent = nullptr);
    ~AccountTree() override;
    AccountTree(const AccountTree&) = delete;
    AccountTree& operator=(const AccountTree&) = delete;

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
    [[nodiscard]] QString toolTip(const QString& key) const override;
    void setToolTip(const QString& key, const QString& text) override;
    void setTag(const QString& key, const QString& tag) override;
    [[nodiscard]] QString parent(const QString& key) const override;
    [[nodiscard]] QString firstChild(const QString& key) const override;
    [[nodiscard]] int children(const QString& key) const override;
    [[nodiscard]] QString next(const QString& key) const override;
    void ensureVisible(const QString& key) override;
    [[nodiscard]] QString selected() const override;
    void setSelected(const QString& key) override;
    void clearDropHighlight() override;

    [[nodiscard]] QString keyAtPosition(const QPoint& pos) const;
    [[nodiscard]] QString expandedImage(const QString& key) const;

    // A hint shown in the empty tree, as on the first start before any account exists.
    void setEmptyHint(const QString& hint);
    [[nodiscard]] QString emptyHint() const { return m_emptyHint; }
    [[nodiscard]] bool showsEmptyHint() const { return topLevelItemCount() == 0 && !m_emptyHint.isEmpty(); }

signals:
    // The user pressed a mouse button over a node (empty key: over empty space).
    void nodePressed(const QString& key, Qt::MouseButton button, const QPoint& globalPos);
    void nodeExpandedByUser(const QString& key);
    void treeClicked();
    void treeDoubleClicked();
    // The user moved the selection with the keyboard.
    void nodeSelectedByKeyboard(const QString& key);
    // The context-menu key was pressed on the selected node (empty key: nothing selected).
    void contextKeyPressed(const QString& key, const QPoint& globalPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    class Node;
    QString m_emptyHint;
    [[nodiscard]] Node* item(const QString& key) const;
    [[nodiscard]] static QString keyOf(const QTreeWidgetItem* item);
    void repaintIfShown(const QTreeWidgetItem* item);
    void forget(QTreeWidgetItem* item);
    void onUserExpandedOrCollapsed(QTreeWidgetItem* item);
    void restoreKeptScroll();
    [[nodiscard]] bool large() const;
    // Puts children queued in a large tree into the widget and scrolls as last asked; every
    // operation that depends on the widget's structure calls it first.
    void flushPending() const;
    void scrollNow(QTreeWidgetItem* item);
    // Items to put in, a scroll, or the column width to fit: done once, a tenth of a second on.
    void scheduleBatch();

    QHash<QString, Node*> m_items;
    mutable QStringList m_order;
    mutable bool m_orderValid = false;
    int m_programmatic = 0; // expand changes made by the program, not the user
    // Children made while the tree is large, in the order added, not yet in the widget, and the
    // node to scroll to once they are. Being const-callable, flushPending() changes them.
    struct Queued {
        QTreeWidgetItem* parent;
        Node* child;
    };
    mutable QList<Queued> m_queued;
    mutable QString m_scrollTarget;
    QTimer m_flushTimer;
    // The node next() or firstChild() gave last, and its row among its siblings.
    struct Walk {
        const QTreeWidgetItem* item = nullptr;
        int row = -1;
    };
    mutable Walk m_walk;
    bool m_fitPending = false;
    int m_keptScroll = -1; // the scroll position to restore after the tree was cleared, or -1
};

} // namespace ormisk
