#include "engine/HeaderList.h"

#include "engine/HeaderText.h"

#include <algorithm>

namespace ormisk {

namespace {

const QString kMessageId = QStringLiteral("Message-Id : ");

// Where " : " first stands in the line, or -1. Searched for by its blank: a search for the whole
// string costs several times more, for every line of every header without a Message-Id.
qsizetype separatorIn(QStringView line)
{
    for (qsizetype at = line.indexOf(u' '); at >= 0; at = line.indexOf(u' ', at + 1)) {
        if (line.sliced(at).startsWith(u" : "))
            return at;
    }
    return -1;
}

// Where the line that starts at `start` ends, its CR LF included.
qsizetype lineEnd(QStringView text, qsizetype start)
{
    for (qsizetype cr = text.indexOf(u'\r', start); cr >= 0; cr = text.indexOf(u'\r', cr + 1)) {
        if (cr + 1 < text.size() && text.at(cr + 1) == u'\n')
            return cr + 2;
    }
    return text.size();
}

// Fields a mailbox server writes into a message to keep its own state (read or not, its own
// numbering): the same message shows them differently from one check to the next, and once
// another mail program has read it.
bool isStateLine(QStringView line)
{
    static const QStringList fields { QStringLiteral("Status"), QStringLiteral("X-Status"),
        QStringLiteral("X-Keywords"), QStringLiteral("X-UID"), QStringLiteral("X-UIDL"), QStringLiteral("X-IMAP"),
        QStringLiteral("X-IMAPbase") };
    const qsizetype separator = separatorIn(line);
    if (separator <= 0)
        return false;
    const QStringView name = line.left(separator);
    return std::any_of(fields.cbegin(), fields.cend(),
        [&](const QString& field) { return name.compare(field, Qt::CaseInsensitive) == 0; });
}

// The header without its state lines: the header itself, shared, when it has none.
QString withoutStateLines(const QString& header)
{
    QString kept;
    bool dropped = false;
    for (qsizetype start = 0; start < header.size();) {
        const qsizetype end = lineEnd(header, start);
        const QStringView line = QStringView(header).mid(start, end - start);
        if (isStateLine(line)) {
            if (!dropped)
                kept = header.left(start);
            dropped = true;
        } else if (dropped) {
            kept += line;
        }
        start = end;
    }
    return dropped ? kept : header;
}

} // namespace

Identity identityOf(const QString& header)
{
    const QStringView line = headerFieldLine(kMessageId, header);
    if (!line.isEmpty())
        return { header, line };
    Identity identity;
    identity.owner = withoutStateLines(header);
    identity.text = identity.owner;
    return identity;
}

QString MessageIdentity(const QString& header)
{
    const Identity identity = identityOf(header);
    return identity.text.size() == identity.owner.size() ? identity.owner : identity.text.toString();
}

HeaderList::HeaderList(const QStringList& entries)
    : m_entries(entries)
{
    m_identities.reserve(m_entries.size());
    for (const QString& entry : std::as_const(m_entries))
        remember(entry);
}

HeaderList::HeaderList(std::initializer_list<QString> entries)
{
    for (const QString& entry : entries)
        append(entry);
}

bool HeaderList::containsIdentityOf(const QString& header) const
{
    return !m_identities.isEmpty() && m_identities.contains(identityOf(header).text);
}

const QString* HeaderList::findIdentityOf(const QString& header) const
{
    if (m_identities.isEmpty())
        return nullptr;
    const auto it = m_identities.constFind(identityOf(header).text);
    return it == m_identities.cend() ? nullptr : &it->entry;
}

void HeaderList::append(const QString& header)
{
    m_entries.append(header);
    remember(header);
}

void HeaderList::clear()
{
    m_entries.clear();
    m_identities.clear();
}

void HeaderList::removeFirst(qsizetype count)
{
    count = std::min(count, m_entries.size());
    if (count <= 0)
        return;
    for (qsizetype i = 0; i < count; ++i)
        forget(m_entries.at(i));
    m_entries.remove(0, count);
}

void HeaderList::remember(const QString& entry)
{
    Identity identity = identityOf(entry);
    const auto it = m_identities.find(identity.text);
    if (it == m_identities.end())
        m_identities.insert(identity.text, Holder { std::move(identity.owner), entry, 1 });
    else
        ++it->count;
}

void HeaderList::forget(const QString& entry)
{
    const auto it = m_identities.find(identityOf(entry).text);
    if (it != m_identities.end() && --it->count <= 0)
        m_identities.erase(it);
}

} // namespace ormisk
