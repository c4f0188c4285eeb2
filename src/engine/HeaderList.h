#pragma once
// An ordered list of message header texts that answers "is this message in the list?" in constant
// time, however long the list. A message is known by its identity: its "Message-Id : " line,
// compared exactly; a header without one is known by its whole text, so two different messages
// without a Message-Id are never taken for each other, leaving out the lines a mailbox server
// keeps its own state in (Status, X-UID and the like), which change while the message stays the
// same. A failed header (empty text) has the empty identity.
//
// The entries are the header texts themselves, shared with the tree's tags (QString is implicitly
// shared), and the index holds views into them: 100,000 entries cost no second copy of any text.
#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <initializer_list>

namespace ormisk {

// The identity's characters are `text`; they live in `owner`, the header itself (shared) or, for a
// header without Message-Id that has state lines, a string of their own.
struct Identity {
    QString owner;
    QStringView text;
};
[[nodiscard]] Identity identityOf(const QString& header);
// The identity as a string of its own.
[[nodiscard]] QString MessageIdentity(const QString& header);

class HeaderList {
public:
    HeaderList() = default;
    HeaderList(const QStringList& entries); // implicit: assigned from plain lists
    HeaderList(std::initializer_list<QString> entries);

    [[nodiscard]] bool containsIdentityOf(const QString& header) const;
    [[nodiscard]] bool containsIdentity(QStringView identity) const { return m_identities.contains(identity); }
    // How many different identities the entries have.
    [[nodiscard]] qsizetype identityCount() const { return m_identities.size(); }
    // An entry with the identity of `header` (the first one added), or null when there is none.
    [[nodiscard]] const QString* findIdentityOf(const QString& header) const;

    void append(const QString& header);
    HeaderList& operator<<(const QString& header)
    {
        append(header);
        return *this;
    }
    void clear();
    // Drops the first (oldest) `count` entries.
    void removeFirst(qsizetype count);
    // Keeps the entries for which keep(entry) holds, in their order.
    template <typename Predicate> void removeUnless(Predicate keep)
    {
        QStringList kept;
        kept.reserve(m_entries.size());
        for (const QString& entry : std::as_const(m_entries)) {
            if (keep(entry))
                kept.append(entry);
            else
                forget(entry);
        }
        m_entries = std::move(kept);
    }

    [[nodiscard]] const QStringList& entries() const { return m_entries; }
    operator const QStringList&() const { return m_entries; } // read as a plain list
    [[nodiscard]] qsizetype size() const { return m_entries.size(); }
    [[nodiscard]] bool isEmpty() const { return m_entries.isEmpty(); }
    [[nodiscard]] const QString& at(qsizetype i) const { return m_entries.at(i); }
    [[nodiscard]] const QString& first() const { return m_entries.first(); }
    [[nodiscard]] const QString& last() const { return m_entries.last(); }
    [[nodiscard]] QStringList::const_iterator begin() const { return m_entries.cbegin(); }
    [[nodiscard]] QStringList::const_iterator end() const { return m_entries.cend(); }

    friend bool operator==(const HeaderList& a, const HeaderList& b) { return a.m_entries == b.m_entries; }
    friend bool operator==(const HeaderList& a, const QStringList& b) { return a.m_entries == b; }

private:
    // The identity's characters live in `owner` (in the entry first added with it, shared, not
    // copied), so the view stays valid whichever entries leave the list; `count` entries have it.
    struct Holder {
        QString owner;
        QString entry; // shared with the list: the first entry that had the identity
        qsizetype count = 0;
    };
    void remember(const QString& entry);
    void forget(const QString& entry);

    QStringList m_entries;
    QHash<QStringView, Holder> m_identities;
};

} // namespace ormisk
