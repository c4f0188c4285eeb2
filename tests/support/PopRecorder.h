#pragma once
// Watches a POP client and writes down everything it reports, in order, so tests can compare
// whole sequences; and runs one request to its end with a bounded wait.
#include "pop/PopComponent.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>

namespace ormisk::testing {

class PopRecorder : public QObject {
public:
    explicit PopRecorder(PopComponent& pop);

    // "busy", "idle", "state P,C", "size N", "doc S", "deleted", in the order they happened.
    QStringList log;
    QList<qint32> sizes;
    QList<DocOutput> docs;
    int deletes = 0;
    bool eventWhileIdle = false; // an event outside a request breaks the contract

    void clear();

private:
    PopComponent& m_pop;
    bool m_busy = false;
    qint16 m_protocol = 0;
    qint16 m_connection = 6;
};

// Calls request, checks that busy() turned true before it returned, and waits (event loop) until
// the client is idle again. False when busy was not set, or when it did not end within timeoutMs.
bool runRequest(PopComponent& pop, const std::function<void()>& request, int timeoutMs = 10'000);

// The (protocol, connection) pair as "P,C".
QString statePair(const PopComponent& pop);

} // namespace ormisk::testing
