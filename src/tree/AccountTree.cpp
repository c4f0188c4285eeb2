#include "tree/AccountTree.h"

#include "tree/TreeIcons.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace ormisk {

namespace {
constexpr int KeyRole = Qt::UserRole;
constexpr int TagRole = Qt::UserRole + 1;
constexpr int ImageRole = Qt::UserRole + 2;
constexpr int ExpandedImageRole = Qt::UserRole + 3;

struct ProgrammaticGuard {
    explicit ProgrammaticGuard(int& depth)
        : depth(depth)
    {
        ++depth;
    }
    ~ProgrammaticGuard() { --depth; }
    int& depth;
};
} // namespace

AccountTree::AccountTree(QWidget* parent)
    : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("AccntList"));
    setColumnCount(1);
    header()->hide();
    // Whole texts with a horizontal scroll bar: the end of a node text (the sender) matters.
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    setTextElideMode(Qt::ElideNone);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    connect(this, &QTreeWidget::itemExpanded, this, &AccountTree::onUserExpandedOrCollapsed);
    connect(this, &QTreeWidget::itemCollapsed, this, &AccountTree::onUserExpandedOrCollapsed);
}

QTreeWidgetItem* AccountTree::item(const QString& key) const
{
    return m_items.value(key, nullptr);
}

QString AccountTree::keyOf(const QTreeWidgetItem* item)
{
    return item ? item->data(0, KeyRole).toString() : QString();
}

void AccountTree::refreshIcon(QTreeWidgetItem* it)
{
    const QString expandedKey = it->data(0, ExpandedImageRole).toString();
    const bool useExpanded = it->isExpanded() && !expandedKey.isEmpty();
    it->setIcon(0, treeIcon(useExpanded ? expandedKey : it->data(0, ImageRole).toString()));
}

void AccountTree::add(const QString& parentKey, const QString& key, const QString& text, const QString& image)
{
    if (key.isEmpty() || m_items.contains(key))
        return;
    QTreeWidgetItem* parentItem = parentKey.isEmpty() ? nullptr : item(parentKey);
    auto* it = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
    it->setData(0, KeyRole, key);
    it->setData(0, ImageRole, image);
    it->setData(0, TagRole, QString());
    it->setText(0, text);
    refreshIcon(it);
    m_items.insert(key, it);
    m_orderValid = false;
}

void AccountTree::forget(QTreeWidgetItem* it)
{
    for (int i = 0; i < it->childCount(); ++i)
        forget(it->child(i));
    m_items.remove(keyOf(it));
}

void AccountTree::remove(const QString& key)
{
    QTreeWidgetItem* it = item(key);
    if (!it)
        return;
    forget(it);
    delete it;
    m_orderValid = false;
}

void AccountTree::clear()
{
    m_items.clear();
    QTreeWidget::clear();
    m_orderValid = false;
}

int AccountTree::count() const
{
    return static_cast<int>(m_items.size());
}

QString AccountTree::keyAt(int index) const
{
    if (!m_orderValid) {
        m_order.clear();
        for (QTreeWidgetItemIterator it(const_cast<AccountTree*>(this)); *it; ++it)
            m_order.append(keyOf(*it));
        m_orderValid = true;
    }
    return index >= 1 && index <= m_order.size() ? m_order.at(index - 1) : QString();
}

bool AccountTree::contains(const QString& key) const
{
    return m_items.contains(key);
}

QString AccountTree::text(const QString& key) const
{
    const auto* it = item(key);
    return it ? it->text(0) : QString();
}

void AccountTree::setText(const QString& key, const QString& text)
{
    if (auto* it = item(key))
        it->setText(0, text);
}

QString AccountTree::image(const QString& key) const
{
    const auto* it = item(key);
    return it ? it->data(0, ImageRole).toString() : QString();
}

void AccountTree::setImage(const QString& key, const QString& image)
{
    if (auto* it = item(key)) {
        it->setData(0, ImageRole, image);
        refreshIcon(it);
    }
}

void AccountTree::setExpandedImage(const QString& key, const QString& image)
{
    if (auto* it = item(key)) {
        it->setData(0, ExpandedImageRole, image);
        refreshIcon(it);
    }
}

QString AccountTree::expandedImage(const QString& key) const
{
    const auto* it = item(key);
    return it ? it->data(0, ExpandedImageRole).toString() : QString();
}

bool AccountTree::expanded(const QString& key) const
{
    const auto* it = item(key);
    return it && it->isExpanded();
}

void AccountTree::setExpanded(const QString& key, bool expanded)
{
    if (auto* it = item(key)) {
        ProgrammaticGuard guard(m_programmatic);
        it->setExpanded(expanded);
        refreshIcon(it);
    }
}

QString AccountTree::tag(const QString& key) const
{
    const auto* it = item(key);
    return it ? it->data(0, TagRole).toString() : QString();
}

void AccountTree::setTag(const QString& key, const QString& tag)
{
    if (auto* it = item(key))
        it->setData(0, TagRole, tag);
}

QString AccountTree::parent(const QString& key) const
{
    const auto* it = item(key);
    return it ? keyOf(it->parent()) : QString();
}

QString AccountTree::firstChild(const QString& key) const
{
    const auto* it = item(key);
    return it && it->childCount() > 0 ? keyOf(it->child(0)) : QString();
}

int AccountTree::children(const QString& key) const
{
    const auto* it = item(key);
    return it ? it->childCount() : 0;
}

QString AccountTree::next(const QString& key) const
{
    auto* it = item(key);
    if (!it)
        return {};
    if (QTreeWidgetItem* p = it->parent()) {
        const int at = p->indexOfChild(it);
        return at + 1 < p->childCount() ? keyOf(p->child(at + 1)) : QString();
    }
    const int at = indexOfTopLevelItem(it);
    return at + 1 < topLevelItemCount() ? keyOf(topLevelItem(at + 1)) : QString();
}

void AccountTree::ensureVisible(const QString& key)
{
    auto* it = item(key);
    if (!it)
        return;
    ProgrammaticGuard guard(m_programmatic);
    for (QTreeWidgetItem* p = it->parent(); p; p = p->parent()) {
        p->setExpanded(true);
        refreshIcon(p);
    }
    scrollToItem(it);
}

QString AccountTree::selected() const
{
    return keyOf(currentItem() && currentItem()->isSelected() ? currentItem() : nullptr);
}

void AccountTree::setSelected(const QString& key)
{
    QSignalBlocker block(this);
    if (key.isEmpty()) {
        clearSelection();
        setCurrentItem(nullptr);
        return;
    }
    if (auto* it = item(key)) {
        setCurrentItem(it);
        it->setSelected(true);
    }
}

void AccountTree::clearDropHighlight()
{
    setDropIndicatorShown(false);
}

QString AccountTree::keyAtPosition(const QPoint& pos) const
{
    return keyOf(itemAt(pos));
}

void AccountTree::onUserExpandedOrCollapsed(QTreeWidgetItem* it)
{
    refreshIcon(it);
    if (m_programmatic == 0)
        emit nodeExpandedByUser(keyOf(it));
}

void AccountTree::mousePressEvent(QMouseEvent* event)
{
    const QString key = keyAtPosition(event->position().toPoint());
    if (event->button() == Qt::RightButton) {
        // The selection rules and the pop-up menu are the window's; the widget only reports.
        emit nodePressed(key, event->button(), event->globalPosition().toPoint());
        return;
    }
    QTreeWidget::mousePressEvent(event);
    emit nodePressed(key, event->button(), event->globalPosition().toPoint());
}

void AccountTree::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit treeClicked();
}

void AccountTree::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click opens nothing: expanding stays on the +/- sign and the keyboard.
    emit treeDoubleClicked();
    event->accept();
}

void AccountTree::keyPressEvent(QKeyEvent* event)
{
    const QString before = keyOf(currentItem());
    QTreeWidget::keyPressEvent(event);
    const QString after = keyOf(currentItem());
    if (after != before && !after.isEmpty())
        emit nodeSelectedByKeyboard(after);
}

void AccountTree::contextMenuEvent(QContextMenuEvent* event)
{
    if (event->reason() == QContextMenuEvent::Keyboard) {
        QPoint at = event->globalPos();
        if (auto* it = currentItem())
            at = viewport()->mapToGlobal(visualItemRect(it).center());
        emit contextKeyPressed(selected(), at);
    }
    event->accept();
}

} // namespace ormisk
