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
    [[nodiscard]] bool inTray() const { return inTray_; }
    // True only when the icon really is in a tray: the one case where hiding the main window
    // leaves the user a way back.
    [[nodiscard]] bool canHideWindow() const { return inTray_ && available(); }

    // 0 idle, 1 checking, 2 mail waiting, 3 suspended; any other number is ignored.
    void setPicture(int picture);
    [[nodiscard]] int picture() const { return picture_; }

    void setTip(const QString& tip);
    [[nodiscard]] QString tip() const { return icon_.toolTip(); }

    // Delay between a right click and menuRequested(): the menu opens outside the click's own
    // handling (100 ms, short enough to feel immediate).
    QTimer mnuTimer;

    // For tests that emit activated() themselves.
    [[nodiscard]] QSystemTrayIcon& systemTrayIcon() { return icon_; }

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

    QSystemTrayIcon icon_;
    // Notices a tray host that quits or crashes; Qt tells nobody but keeps its availability current.
    QTimer trayWatch_;
    bool trayWasAvailable_ = false;
    bool inTray_ = false;
    int picture_ = 0;
};

} // namespace ormisk
