#include "engine/HeaderList.h"

#include "engine/HeaderText.h"

namespace ormisk {

namespace {

const QString kMessageId = QStringLiteral("Message-Id : ");

} // namespace

QString MessageIdentity(const QString& header)
{
    const QString line = GetHeaderField(kMessageId, header);
    return line.isEmpty() ? header : line;
}

QStringView MessageIdentityView(const QString& header)
{
    const QString line = GetHeaderField(kMessageId, header);
    if (line.isEmpty())
        return header;
    // The line is a piece of the header: any place the same characters stand will do.
    return QStringView(header).mid(header.indexOf(line), line.size());
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
    if (m_identities.isEmpty())
        return false;
    const QString line = GetHeaderField(kMessageId, header);
    return m_identities.contains(line.isEmpty() ? QStringView(header) : QStringView(line));
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
    const QStringView identity = MessageIdentityView(entry);
    auto it = m_identities.find(identity);
    if (it == m_identities.end())
        m_identities.insert(identity, Holder { entry, 1 });
    else
        ++it->count;
}

void HeaderList::forget(const QString& entry)
{
    const QString line = GetHeaderField(kMessageId, entry);
    auto it = m_identities.find(line.isEmpty() ? QStringView(entry) : QStringView(line));
    if (it != m_identities.end() && --it->count <= 0)
        m_identities.erase(it);
}

} // namespace ormisk
