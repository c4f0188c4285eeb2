#pragma once
// A QStringList written as plain literals, for expectations in tests.
#include <QStringList>

#include <initializer_list>

namespace ormisk::testing {

inline QStringList strings(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* item : items)
        out << QString::fromLatin1(item);
    return out;
}

} // namespace ormisk::testing
