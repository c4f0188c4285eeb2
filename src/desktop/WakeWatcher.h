#pragma once
// Tells when a check is worth making at once: the network came back, or the machine woke from
// sleep. Mail that arrived meanwhile should not wait for the rest of the countdown.
#include <QDBusConnection>
#include <QNetworkInformation>
#include <QObject>

namespace ormisk {

class WakeWatcher : public QObject {
    Q_OBJECT
public:
    // Listens for logind's PrepareForSleep on `systemBus` (the real one, or a test's own).
    explicit WakeWatcher(const QDBusConnection& systemBus, QObject* parent = nullptr);

    // Follows Qt's network information, when a backend for this desktop exists.
    void watchNetwork();

signals:
    void checkWanted();

public slots:
    // The reachability sources feed these; only a change to Online wants a check.
    void reachabilityChanged(QNetworkInformation::Reachability reachability);
    // PrepareForSleep(false) is the machine waking up.
    void prepareForSleep(bool sleeping);

private:
    QNetworkInformation::Reachability m_reachability = QNetworkInformation::Reachability::Unknown;
};

} // namespace ormisk
