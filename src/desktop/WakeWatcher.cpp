#include "desktop/WakeWatcher.h"

namespace ormisk {

WakeWatcher::WakeWatcher(const QDBusConnection& systemBus, QObject* parent)
    : QObject(parent)
{
    QDBusConnection bus = systemBus;
    if (bus.isConnected()) {
        bus.connect(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
            SLOT(prepareForSleep(bool)));
    }
}

void WakeWatcher::watchNetwork()
{
    if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return;
    const QNetworkInformation* info = QNetworkInformation::instance();
    m_reachability = info->reachability();
    connect(info, &QNetworkInformation::reachabilityChanged, this, &WakeWatcher::reachabilityChanged);
}

void WakeWatcher::reachabilityChanged(QNetworkInformation::Reachability reachability)
{
    const bool cameOnline = reachability == QNetworkInformation::Reachability::Online
        && m_reachability != QNetworkInformation::Reachability::Online;
    m_reachability = reachability;
    if (cameOnline)
        emit checkWanted();
}

void WakeWatcher::prepareForSleep(bool sleeping)
{
    if (!sleeping)
        emit checkWanted();
}

} // namespace ormisk
