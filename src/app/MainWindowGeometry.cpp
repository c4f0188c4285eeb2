// The window's place and size: read from the store at start-up, written back in twips (the unit
// the settings file has always used) whenever it is resized or changes state, and what follows
// such a change (into the tray, mail marked read, the countdown box placed).
#include "app/MainWindow.h"

#include "engine/AccountCheck.h"
#include "engine/SeenLists.h"
#include "engine/ShellHost.h"
#include "store/AppState.h"
#include "store/Options.h"
#include "store/SettingsStore.h"
#include "store/WindowGeometry.h"
#include "tray/TrayIcon.h"
#include "tree/AccountTree.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

namespace ormisk {

double MainWindow::twipsPerPixelX() const { return 1440.0 / logicalDpiX(); }
double MainWindow::twipsPerPixelY() const { return 1440.0 / logicalDpiY(); }

void MainWindow::restoreGeometryFromStore()
{
    // Centred at the designed size first; stored values then override it one by one.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.x() + (avail.width() - width()) / 2, avail.y() + (avail.height() - height()) / 2);
    }
    const StoredGeometry g = ReadGeometry(m_store);
    const double tx = twipsPerPixelX();
    const double ty = twipsPerPixelY();
    QPoint pos = this->pos();
    QSize size = this->size();
    if (g.top)
        pos.setY(qRound(*g.top / ty));
    if (g.left)
        pos.setX(qRound(*g.left / tx));
    if (g.width && *g.width > 0)
        size.setWidth(qRound(*g.width / tx));
    if (g.height && *g.height > 0)
        size.setHeight(qRound(*g.height / ty));
    move(pos);
    resize(size);
    if (g.state) {
        if (*g.state == 2)
            setWindowState(Qt::WindowMaximized);
        else if (*g.state == 1)
            setWindowState(Qt::WindowMinimized);
    }
}

void MainWindow::SaveWindowGeometry()
{
    if (QMainWindow::isMinimized() || isHiddenInTray())
        return;
    if (isMaximized()) {
        WriteMaximizedState(m_store);
        return;
    }
    const double tx = twipsPerPixelX();
    const double ty = twipsPerPixelY();
    WriteNormalGeometry(m_store, y() * ty, x() * tx, height() * ty, width() * tx);
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    onResize();
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        onResize();
}

void MainWindow::onResize()
{
    if (m_startingUp)
        return;
    SaveWindowGeometry();
    if (QMainWindow::isMinimized()) {
        // Hidden only when a tray icon exists to bring the window back.
        if (m_state.options.RunInTray && m_tray->canHideWindow()) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (QMainWindow::isMinimized())
                        hide();
                },
                Qt::QueuedConnection);
        }
        if (!m_engine->inConversation())
            m_mailCounts.newMail = 0;
        MarkAllRead(m_state, *m_tree, m_engine->inConversation());
    } else {
        closeNewMailWindow();
        m_restoreMaximized = isMaximized();
    }
    setTrayPicture(TrayPicture::Idle);
    placeTimeLeftBox();
    hideSelection();
}

void MainWindow::placeTimeLeftBox()
{
    // One pixel below the tree's top edge, three pixels inside its right edge.
    const int left = m_tree->width() - m_timeLeft->width() - 3;
    m_timeLeft->move(qMax(0, left), 1);
    m_timeLeft->raise();
}

} // namespace ormisk
