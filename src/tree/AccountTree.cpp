#include "tree/AccountTree.h"

#include "tree/TreeIcons.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <utility>

namespace ormisk {

namespace {
constexpr int KeyRole = Qt::UserRole;

// From this many nodes on, messages reach the widget in batches. The view lays out every expanded
// row after each change, and the check lets events run every few messages: one row at a time,
// 100,000 messages would cost the square of that in layout work.
constexpr qsizetype kLargeTree = 512;
constexpr qint64 kBatchMs = 100;

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

// A node keeps its key, images and tag itself, out of the model's sight: a change the model is told
// of makes it search the node's siblings for its row, so marking 100,000 messages read would cost
// the square of that. The icon is worked out when the view paints.
class AccountTree::Node : public QTreeWidgetItem {
public:
    explicit Node(const QString& key)
        : QTreeWidgetItem(UserType)
        , key(key)
    {
    }
    [[nodiscard]] QVariant data(int column, int role) const override
    {
        if (column == 0 && role == KeyRole)
            return key;
        if (column == 0 && role == Qt::DecorationRole)
            return treeIcon(!expandedImage.isEmpty() && isExpanded() ? expandedImage : image);
        return QTreeWidgetItem::data(column, role);
    }

    const QString key;
    QString image;
    QString expandedImage;
    QString tag;
};

AccountTree::AccountTree(QWidget* parent)
    : QTreeWidget(parent)
{
    setObjectName(QStringLiteral("AccntList"));
    setColumnCount(1);
    header()->hide();
    // Whole texts with a horizontal scroll bar: the end of a node text (the sender) matters. The
    // column is fitted to its texts after changes, at most once per batch: fitting it on every
    // change (ResizeToContents) measures up to a thousand texts each time a message is added,
    // seconds of work for a few hundred messages.
    header()->setStretchLastSection(false);
    setTextElideMode(Qt::ElideNone);
    setRootIsDecorated(true);
    setUniformRowHeights(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    connect(this, &QTreeWidget::itemExpanded, this, &AccountTree::onUserExpandedOrCollapsed);
    connect(this, &QTreeWidget::itemCollapsed, this, &AccountTree::onUserExpandedOrCollapsed);
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(int(kBatchMs));
    // The user's own scrolling wins over the position kept across a rebuild.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] { m_keptScroll = -1; });
    connect(&m_flushTimer, &QTimer::timeout, this, [this] {
        QElapsedTimer spent;
        spent.start();
        flushPending();
        if (std::exchange(m_fitPending, false))
            resizeColumnToContents(0);
        restoreKeptScroll();
        // A batch lays out every row: with 100,000 rows that takes a good part of the interval,
        // so the interval grows with it and batches never take more than a fifth of the time.
        m_flushTimer.setInterval(std::max<qint64>(kBatchMs, 4 * spent.elapsed()));
    });
}

AccountTree::~AccountTree()
{
    for (const Queued& q : std::as_const(m_queued))
        delete q.child;
}

bool AccountTree::large() const { return m_items.size() >= kLargeTree; }

void AccountTree::restoreKeptScroll()
{
    if (m_keptScroll < 0)
        return;
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(std::min(m_keptScroll, bar->maximum()));
    // Until the rows are back the position is followed as far as they reach.
    if (bar->maximum() >= m_keptScroll)
        m_keptScroll = -1;
}

void AccountTree::flushPending() const
{
    auto* self = const_cast<AccountTree*>(this);
    // One insertion per run of children of the same parent: one layout for the whole batch.
    qsizetype i = 0;
    while (i < m_queued.size()) {
        QTreeWidgetItem* parent = m_queued.at(i).parent;
        QList<QTreeWidgetItem*> run;
        for (; i < m_queued.size() && m_queued.at(i).parent == parent; ++i)
            run.append(m_queued.at(i).child);
        parent->addChildren(run);
    }
    m_queued.clear();
    if (!m_scrollTarget.isEmpty()) {
        QTreeWidgetItem* target = item(std::exchange(m_scrollTarget, QString()));
        if (target)
            self->scrollNow(target);
    }
}

AccountTree::Node* AccountTree::item(const QString& key) const { return m_items.value(key, nullptr); }

QString AccountTree::keyOf(const QTreeWidgetItem* item)
{
    return item && item->type() == QTreeWidgetItem::UserType ? static_cast<const Node*>(item)->key : QString();
}

void AccountTree::repaintIfShown(const QTreeWidgetItem* it)
{
    if (it->treeWidget())
        viewport()->update();
}

void AccountTree::add(const QString& parentKey, const QString& key, const QString& text, const QString& image)
{
    if (key.isEmpty() || m_items.contains(key))
        return;
    QTreeWidgetItem* parentItem = parentKey.isEmpty() ? nullptr : item(parentKey);
    const bool queue = parentItem && large();
    if (!queue)
        flushPending(); // keeps the order of children added before
    auto* it = new Node(key);
    it->image = image;
    it->setText(0, text);
    if (!queue) {
        if (parentItem)
            parentItem->addChild(it);
        else
            addTopLevelItem(it);
    }
    m_items.insert(key, it);
    m_orderValid = false;
    if (queue)
        m_queued.append(Queued { parentItem, it });
    scheduleBatch();
}

void AccountTree::scheduleBatch()
{
    m_fitPending = true;
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
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
    flushPending();
    forget(it);
    delete it;
    m_orderValid = false;
    scheduleBatch();
}

void AccountTree::clear()
{
    m_flushTimer.stop();
    for (const Queued& q : std::as_const(m_queued))
        delete q.child;
    m_queued.clear();
    m_scrollTarget.clear();
    // A check rebuilds the tree from scratch: where the user had scrolled to comes back with it.
    m_keptScroll = verticalScrollBar()->value();
    m_items.clear();
    QTreeWidget::clear();
    m_orderValid = false;
}

int AccountTree::count() const { return static_cast<int>(m_items.size()); }

QString AccountTree::keyAt(int index) const
{
    if (!m_orderValid) {
        flushPending();
        m_order.clear();
        m_order.reserve(m_items.size());
        for (QTreeWidgetItemIterator it(const_cast<AccountTree*>(this)); *it; ++it)
            m_order.append(keyOf(*it));
        m_orderValid = true;
    }
    return index >= 1 && index <= m_order.size() ? m_order.at(index - 1) : QString();
}

bool AccountTree::contains(const QString& key) const { return m_items.contains(key); }

QString AccountTree::text(const QString& key) const
{
    const auto* it = item(key);
    return it ? it->text(0) : QString();
}

void AccountTree::setText(const QString& key, const QString& text)
{
    if (auto* it = item(key)) {
        it->setText(0, text);
        scheduleBatch();
    }
}

QString AccountTree::image(const QString& key) const
{
    const auto* it = item(key);
    return it ? it->image : QString();
}

void AccountTree::setImage(const QString& key, const QString& image)
{
    if (auto* it = item(key)) {
        it->image = image;
        repaintIfShown(it);
    }
}

void AccountTree::setExpandedImage(const QString& key, const QString& image)
{
    if (auto* it = item(key)) {
        it->expandedImage = image;
        repaintIfShown(it);
    }
}

QString AccountTree::expandedImage(const QString& key) const
{
    const auto* it = item(key);
    return it ? it->expandedImage : QString();
}

bool AccountTree::expanded(const QString& key) const
{
    const auto* it = item(key);
    return it && it->isExpanded();
}

void AccountTree::setExpanded(const QString& key, bool expanded)
{
    auto* it = item(key);
    if (!it)
        return;
    if (!it->treeWidget())
        flushPending();
    // The check expands the account for every message it adds.
    if (it->isExpanded() == expanded)
        return;
    ProgrammaticGuard guard(m_programmatic);
    it->setExpanded(expanded);
    repaintIfShown(it);
    scheduleBatch();
}

QString AccountTree::tag(const QString& key) const
{
    const auto* it = item(key);
    return it ? it->tag : QString();
}

void AccountTree::setTag(const QString& key, const QString& tag)
{
    if (auto* it = item(key))
        it->tag = tag;
}

QString AccountTree::toolTip(const QString& key) const
{
    const auto* it = item(key);
    return it ? it->toolTip(0) : QString();
}

void AccountTree::setToolTip(const QString& key, const QString& text)
{
    if (auto* it = item(key))
        it->setToolTip(0, text);
}

QString AccountTree::parent(const QString& key) const
{
    flushPending();
    const auto* it = item(key);
    return it ? keyOf(it->parent()) : QString();
}

QString AccountTree::firstChild(const QString& key) const
{
    flushPending();
    const auto* it = item(key);
    if (!it || it->childCount() == 0)
        return {};
    m_walk = { it->child(0), 0 };
    return keyOf(m_walk.item);
}

int AccountTree::children(const QString& key) const
{
    flushPending();
    const auto* it = item(key);
    return it ? it->childCount() : 0;
}

QString AccountTree::next(const QString& key) const
{
    flushPending();
    auto* it = item(key);
    if (!it)
        return {};
    // A walk from child to child asks for the node it was just given: its row is known. Any other
    // row costs a search of the siblings, and a walk over 100,000 messages would cost their square.
    QTreeWidgetItem* p = it->parent();
    auto sibling = [&](int row) { return p ? p->child(row) : topLevelItem(row); };
    const int siblings = p ? p->childCount() : topLevelItemCount();
    int at = m_walk.item == it && sibling(m_walk.row) == it ? m_walk.row : -1;
    if (at < 0)
        at = p ? p->indexOfChild(it) : indexOfTopLevelItem(it);
    if (at < 0 || at + 1 >= siblings)
        return {};
    m_walk = { sibling(at + 1), at + 1 };
    return keyOf(m_walk.item);
}

void AccountTree::ensureVisible(const QString& key)
{
    auto* it = item(key);
    if (!it)
        return;
    m_keptScroll = -1; // the program moves the view on purpose
    // Every scroll lays out all rows first: in a large tree only the last request of a batch counts.
    if (large()) {
        m_scrollTarget = key;
        scheduleBatch();
        return;
    }
    flushPending();
    scrollNow(it);
    scheduleBatch();
}

void AccountTree::scrollNow(QTreeWidgetItem* it)
{
    ProgrammaticGuard guard(m_programmatic);
    for (QTreeWidgetItem* p = it->parent(); p; p = p->parent())
        p->setExpanded(true);
    scrollToItem(it);
}

QString AccountTree::selected() const
{
    return keyOf(currentItem() && currentItem()->isSelected() ? currentItem() : nullptr);
}

void AccountTree::setSelected(const QString& key)
{
    flushPending();
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

void AccountTree::clearDropHighlight() { setDropIndicatorShown(false); }

QString AccountTree::keyAtPosition(const QPoint& pos) const
{
    flushPending();
    return keyOf(itemAt(pos));
}

void AccountTree::onUserExpandedOrCollapsed(QTreeWidgetItem* it)
{
    repaintIfShown(it);
    scheduleBatch(); // the column fits the rows now shown
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

void AccountTree::setEmptyHint(const QString& hint)
{
    m_emptyHint = hint;
    viewport()->update();
}

void AccountTree::paintEvent(QPaintEvent* event)
{
    QTreeWidget::paintEvent(event);
    if (!showsEmptyHint())
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    const int margin = fontMetrics().height() * 2;
    painter.drawText(
        viewport()->rect().adjusted(margin, margin, -margin, -margin), Qt::AlignCenter | Qt::TextWordWrap, m_emptyHint);
}

} // namespace ormisk
