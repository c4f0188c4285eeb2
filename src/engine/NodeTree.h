#pragma once
// The account tree as the engine sees it: nodes addressed by unique keys ("P…" accounts,
// "C…" messages), each with a text, an image key and a tag. The main window implements it over a
// QTreeWidget; tests and `--once` use MemoryTree.
#include <QString>

namespace ormisk {

namespace Image {
inline const QString NoMail = QStringLiteral("NoMail");
inline const QString HaveMail = QStringLiteral("HaveMail");
inline const QString Closed = QStringLiteral("Closed");
inline const QString Mail = QStringLiteral("Mail");
inline const QString NewMail = QStringLiteral("NewMail");
inline const QString Deleted = QStringLiteral("Deleted");
} // namespace Image

class NodeTree {
public:
    virtual ~NodeTree() = default;

    // Adds a root node (parentKey empty) or a last child of parentKey. Keys are unique.
    virtual void add(const QString& parentKey, const QString& key, const QString& text, const QString& image) = 0;
    virtual void remove(const QString& key) = 0; // with everything below it
    virtual void clear() = 0;
    [[nodiscard]] virtual int count() const = 0;
    // Key of node index (1..count), in tree order: each account followed by its messages.
    [[nodiscard]] virtual QString keyAt(int index) const = 0;
    [[nodiscard]] virtual bool contains(const QString& key) const = 0;

    [[nodiscard]] virtual QString text(const QString& key) const = 0;
    virtual void setText(const QString& key, const QString& text) = 0;
    // False when nodes below a root keep no text (their texts are shown from elsewhere): a caller
    // need not make them.
    [[nodiscard]] virtual bool keepsChildTexts() const { return true; }
    [[nodiscard]] virtual QString image(const QString& key) const = 0;
    virtual void setImage(const QString& key, const QString& image) = 0;
    virtual void setExpandedImage(const QString& key, const QString& image) = 0;
    [[nodiscard]] virtual bool expanded(const QString& key) const = 0;
    virtual void setExpanded(const QString& key, bool expanded) = 0;
    [[nodiscard]] virtual QString tag(const QString& key) const = 0;
    virtual void setTag(const QString& key, const QString& tag) = 0;
    // What the pointer shows over the node (why an account's check failed); empty for none.
    [[nodiscard]] virtual QString toolTip(const QString& key) const = 0;
    virtual void setToolTip(const QString& key, const QString& text) = 0;

    [[nodiscard]] virtual QString parent(const QString& key) const = 0; // empty for a root
    [[nodiscard]] virtual QString firstChild(const QString& key) const = 0; // empty if none
    [[nodiscard]] virtual int children(const QString& key) const = 0;
    [[nodiscard]] virtual QString next(const QString& key) const = 0; // next sibling or empty
    virtual void ensureVisible(const QString& key) = 0;

    [[nodiscard]] virtual QString selected() const = 0; // empty when none
    virtual void setSelected(const QString& key) = 0; // empty clears the selection
    virtual void clearDropHighlight() = 0;
};

} // namespace ormisk
