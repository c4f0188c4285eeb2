#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the GUI thread (self-pipe), so a kill or
// Ctrl+C goes through the same shutdown as the close box.
#include <QObject>

class QSocketNotifier;

namespace ormisk {

class SignalBridge : public QObject {
    Q_OBJECT
public:
    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

signals:
    void terminationRequested();

private:
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace ormisk
