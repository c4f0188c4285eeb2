#pragma once
// New-mail notices through the desktop's notification service (org.freedesktop.Notifications on
// the session bus), so they follow the desktop's own settings: do-not-disturb, history, placement.
// Every call is asynchronous: a hung service must never freeze the window.
#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace ormisk {

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    // Shows the notice, replacing the one shown before if it is still up. An unchanged notice that
    // is still up is left alone, so a check that found nothing newer does not pop it up again.
    void show(const QString& summary, const QString& body);
    // Withdraws the notice if one is up.
    void close();

signals:
    // The user chose the notice itself (its default action).
    void activated();
    // No service took the notice (none on the bus, or it refused): the caller shows it its own way.
    void failed();

private slots:
    void onActionInvoked(uint id, const QString& actionKey);
    void onClosed(uint id, uint reason);

private:
    struct Notice {
        QString summary;
        QString body;
        bool operator==(const Notice&) const = default;
    };
    // Brings the service in line with m_wanted, one call at a time: a notice asked for while
    // the previous call is still under way follows when it returns, replacing instead of stacking.
    void sync();
    void notify();

    QDBusConnection m_bus;
    // What should be up (nothing when empty) and what the service was last given.
    std::optional<Notice> m_wanted;
    Notice m_sent;
    // The service's id of the notice that is up, 0 when none.
    uint m_id = 0;
    bool m_busy = false;
    // Asked once; the body is escaped only for services that read markup.
    std::optional<QStringList> m_capabilities;
};

} // namespace ormisk
