#include "support/PopRecorder.h"

#include <QEventLoop>
#include <QTimer>

namespace ormisk::testing {

PopRecorder::PopRecorder(PopComponent& pop)
    : m_pop(pop)
{
    m_busy = pop.busy();
    m_protocol = pop.protocolState();
    m_connection = pop.connectionState();
    connect(&pop, &PopComponent::changed, this, [this] {
        if (m_pop.busy() != m_busy) {
            m_busy = m_pop.busy();
            log << (m_busy ? QStringLiteral("busy") : QStringLiteral("idle"));
        }
        if (m_pop.protocolState() != m_protocol || m_pop.connectionState() != m_connection) {
            m_protocol = m_pop.protocolState();
            m_connection = m_pop.connectionState();
            log << QStringLiteral("state %1,%2").arg(m_protocol).arg(m_connection);
        }
    });
    connect(&pop, &PopComponent::messageSize, this, [this](qint32 size) {
        eventWhileIdle = eventWhileIdle || !m_pop.busy();
        sizes << size;
        log << QStringLiteral("size %1").arg(size);
    });
    connect(&pop, &PopComponent::docOutput, this, [this](const DocOutput& doc) {
        eventWhileIdle = eventWhileIdle || !m_pop.busy();
        docs << doc;
        log << QStringLiteral("doc %1").arg(doc.state);
    });
    connect(&pop, &PopComponent::deleteConfirmed, this, [this] {
        eventWhileIdle = eventWhileIdle || !m_pop.busy();
        ++deletes;
        log << QStringLiteral("deleted");
    });
}

void PopRecorder::clear()
{
    log.clear();
    sizes.clear();
    docs.clear();
    deletes = 0;
}

bool runRequest(PopComponent& pop, const std::function<void()>& request, int timeoutMs)
{
    request();
    if (!pop.busy())
        return false;
    QEventLoop loop;
    bool timedOut = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        timedOut = true;
        loop.quit();
    });
    QObject::connect(&pop, &PopComponent::changed, &loop, [&] {
        if (!pop.busy())
            loop.quit();
    });
    deadline.start(timeoutMs);
    loop.exec();
    return !timedOut;
}

QString statePair(const PopComponent& pop)
{
    return QStringLiteral("%1,%2").arg(pop.protocolState()).arg(pop.connectionState());
}

} // namespace ormisk::testing
