#include "tray/TrayIcon.h"

#include "tray/TrayPictures.h"

namespace ormisk {

TrayIcon::TrayIcon(QObject* parent)
    : QObject(parent)
{
    icon_.setToolTip(QStringLiteral("Ormisk"));
    icon_.setIcon(trayPicture(picture_));
    mnuTimer.setSingleShot(true);
    mnuTimer.setInterval(100);
    connect(&mnuTimer, &QTimer::timeout, this, [this] {
        mnuTimer.stop();
        emit menuRequested();
    });
    connect(&icon_, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated);
    // Once a second is soon enough for a user looking for the window, and costs nothing.
    trayWatch_.setInterval(1000);
    connect(&trayWatch_, &QTimer::timeout, this, [this] {
        const bool now = available();
        if (trayWasAvailable_ && !now)
            emit trayUnavailable();
        trayWasAvailable_ = now;
    });
}

TrayIcon::~TrayIcon() { setInTray(false); }

bool TrayIcon::available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TrayIcon::setInTray(bool inTray)
{
    if (inTray == inTray_)
        return;
    inTray_ = inTray;
    if (inTray) {
        icon_.show();
        trayWasAvailable_ = available();
        trayWatch_.start();
        if (!trayWasAvailable_)
            emit trayUnavailable();
    } else {
        trayWatch_.stop();
        icon_.hide();
    }
}

void TrayIcon::setPicture(int picture)
{
    if (picture < 0 || picture >= kTrayPictureCount)
        return;
    picture_ = picture;
    icon_.setIcon(trayPicture(picture));
}

void TrayIcon::setTip(const QString& tip) { icon_.setToolTip(tip); }

void TrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    // Only plain clicks act; double and middle clicks are ignored.
    if (reason == QSystemTrayIcon::Trigger)
        emit restoreRequested();
    else if (reason == QSystemTrayIcon::Context)
        mnuTimer.start();
}

} // namespace ormisk
