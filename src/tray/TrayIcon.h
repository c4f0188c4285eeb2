#pragma once
// The program's icon in the desktop's notification area: shows the monitoring state and turns
// clicks on it into requests to the main window.
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <QTimer>

namespace ormisk {

class TrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(QObject* parent = nullptr);
    ~TrayIcon() override;

    // Whether the desktop offers a notification area right now.
    [[nodiscard]] static bool available();

    // Puts the icon into the tray or takes it out; a repeated value changes nothing. When the
    // desktop has no tray, or its tray goes away later, trayUnavailable() is emitted and the icon
    // waits for one to appear.
    void setInTray(bool inTray);
    [[nodiscard]] bool inTray() const { return m_inTray; }
    // True only when the icon really is in a tray: the one case where hiding the main window
    // leaves the user a way back.
    [[nodiscard]] bool canHideWindow() const { return m_inTray && available(); }

    // 0 idle, 1 checking, 2 mail waiting, 3 suspended; any other number is ignored.
    void setPicture(int picture);
    [[nodiscard]] int picture() const { return m_picture; }

    void setTip(const QString& tip);
    [[nodiscard]] QString tip() const { return m_icon.toolTip(); }

    // Delay between a right click and menuRequested(): the menu opens outside the click's own
    // handling (100 ms, short enough to feel immediate).
    QTimer mnuTimer;

    // For tests that emit activated() themselves.
    [[nodiscard]] QSystemTrayIcon& systemTrayIcon() { return m_icon; }

signals:
    // Left click: bring the main window back.
    void restoreRequested();
    // Right click, about 100 ms later: open the Monitoring menu at the pointer.
    void menuRequested();
    // setInTray(true) found no notification area, or the one it used went away: the main window
    // must stay reachable.
    void trayUnavailable();

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon m_icon;
    // Notices a tray host that quits or crashes; Qt tells nobody but keeps its availability current.
    QTimer m_trayWatch;
    bool m_trayWasAvailable = false;
    bool m_inTray = false;
    int m_picture = 0;
};

} // namespace ormisk
