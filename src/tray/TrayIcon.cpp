#include "tray/TrayIcon.h"

#include "tray/TrayPictures.h"

namespace ormisk {

TrayIcon::TrayIcon(QObject* parent)
    : QObject(parent)
{
    m_icon.setToolTip(QStringLiteral("Ormisk"));
    m_icon.setIcon(trayPicture(m_picture));
    mnuTimer.setSingleShot(true);
    mnuTimer.setInterval(100);
    connect(&mnuTimer, &QTimer::timeout, this, [this] {
        mnuTimer.stop();
        emit menuRequested();
    });
    connect(&m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::onActivated);
    // Once a second is soon enough for a user looking for the window, and costs nothing.
    m_trayWatch.setInterval(1000);
    connect(&m_trayWatch, &QTimer::timeout, this, [this] {
        const bool now = available();
        if (m_trayWasAvailable && !now)
            emit trayUnavailable();
        m_trayWasAvailable = now;
    });
}

TrayIcon::~TrayIcon() { setInTray(false); }

bool TrayIcon::available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TrayIcon::setInTray(bool inTray)
{
    if (inTray == m_inTray)
        return;
    m_inTray = inTray;
    if (inTray) {
        m_icon.show();
        m_trayWasAvailable = available();
        m_trayWatch.start();
        if (!m_trayWasAvailable)
            emit trayUnavailable();
    } else {
        m_trayWatch.stop();
        m_icon.hide();
    }
}

void TrayIcon::setPicture(int picture)
{
    if (picture < 0 || picture >= kTrayPictureCount)
        return;
    m_picture = picture;
    m_icon.setIcon(trayPicture(picture));
}

void TrayIcon::setTip(const QString& tip) { m_icon.setToolTip(tip); }

void TrayIcon::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    // Only plain clicks act; double and middle clicks are ignored.
    if (reason == QSystemTrayIcon::Trigger)
        emit restoreRequested();
    else if (reason == QSystemTrayIcon::Context)
        mnuTimer.start();
}

} // namespace ormisk
