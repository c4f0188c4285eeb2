#include "desktop/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace ormisk {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kDefaultAction = QStringLiteral("default");

QDBusMessage call(const QString& method) { return QDBusMessage::createMethodCall(kService, kPath, kInterface, method); }
} // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{
    if (!m_bus.isConnected())
        return;
    m_bus.connect(
        kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

void DesktopNotifier::show(const QString& summary, const QString& body)
{
    if (!m_bus.isConnected()) {
        emit failed();
        return;
    }
    if (m_id != 0 && summary == m_summary && body == m_body)
        return;
    m_summary = summary;
    m_body = body;
    if (m_capabilities) {
        send();
        return;
    }
    if (m_asking)
        return; // the answer sends what is newest by then
    m_asking = true;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call(QStringLiteral("GetCapabilities"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        m_asking = false;
        const QDBusPendingReply<QStringList> reply = *w;
        if (reply.isError()) {
            emit failed();
            return;
        }
        m_capabilities = reply.value();
        send();
    });
}

void DesktopNotifier::send()
{
    QDBusMessage notify = call(QStringLiteral("Notify"));
    const bool markup = m_capabilities->contains(QStringLiteral("body-markup"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("ormisk"));
    hints.insert(QStringLiteral("category"), QStringLiteral("email.arrived"));
    notify << QStringLiteral("Ormisk") << m_id << QStringLiteral("ormisk") << m_summary
           << (markup ? m_body.toHtmlEscaped() : m_body) << QStringList { kDefaultAction, QStringLiteral("View Mail") }
           << hints << qint32(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            m_id = 0;
            // The service may have gone; ask the next one afresh.
            m_capabilities.reset();
            emit failed();
            return;
        }
        m_id = reply.value();
    });
}

void DesktopNotifier::close()
{
    if (m_id == 0)
        return;
    QDBusMessage message = call(QStringLiteral("CloseNotification"));
    message << m_id;
    m_bus.asyncCall(message);
    m_id = 0;
}

void DesktopNotifier::onActionInvoked(uint id, const QString& actionKey)
{
    if (id != 0 && id == m_id && actionKey == kDefaultAction)
        emit activated();
}

void DesktopNotifier::onClosed(uint id, uint)
{
    // A closed notice cannot be replaced; the next one starts afresh.
    if (id == m_id)
        m_id = 0;
}

} // namespace ormisk
