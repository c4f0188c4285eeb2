#include "dialogs/DialogRoutines.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace ormisk {

void CenterForm(QWidget* window)
{
    if (!window)
        return;
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    // Before the first show the frame is not known yet; the window's own size stands in for it.
    const QSize size = window->isVisible() ? window->frameGeometry().size() : window->size();
    window->move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

} // namespace ormisk
