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
    m_wanted = Notice { summary, body };
    sync();
}

void DesktopNotifier::close()
{
    m_wanted.reset();
    sync();
}

void DesktopNotifier::sync()
{
    if (m_busy)
        return;
    if (!m_wanted) {
        if (m_id != 0) {
            QDBusMessage message = call(QStringLiteral("CloseNotification"));
            message << m_id;
            m_bus.asyncCall(message);
            m_id = 0;
        }
        return;
    }
    if (m_id != 0 && *m_wanted == m_sent)
        return;
    m_busy = true;
    if (m_capabilities) {
        notify();
        return;
    }
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call(QStringLiteral("GetCapabilities"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        if (reply.isError()) {
            m_busy = false;
            m_wanted.reset();
            emit failed();
            return;
        }
        m_capabilities = reply.value();
        if (m_wanted) {
            notify();
        } else {
            m_busy = false;
        }
    });
}

void DesktopNotifier::notify()
{
    m_sent = *m_wanted;
    QDBusMessage message = call(QStringLiteral("Notify"));
    const bool markup = m_capabilities->contains(QStringLiteral("body-markup"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("ormisk"));
    hints.insert(QStringLiteral("category"), QStringLiteral("email.arrived"));
    message << QStringLiteral("Ormisk") << m_id << QStringLiteral("ormisk") << m_sent.summary
            << (markup ? m_sent.body.toHtmlEscaped() : m_sent.body)
            << QStringList { kDefaultAction, QStringLiteral("View Mail") } << hints << qint32(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        m_busy = false;
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError()) {
            m_id = 0;
            m_wanted.reset();
            // The service may have gone; the next one is asked afresh.
            m_capabilities.reset();
            emit failed();
            return;
        }
        m_id = reply.value();
        sync();
    });
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
