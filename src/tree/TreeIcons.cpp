#include "tree/TreeIcons.h"

#include "engine/NodeTree.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace ormisk {

namespace {

void envelope(QPainter& p, const QRectF& r, const QColor& paper, const QColor& ink)
{
    p.setPen(QPen(ink, 1.0));
    p.setBrush(paper);
    p.drawRect(r);
    QPainterPath flap;
    flap.moveTo(r.left(), r.top());
    flap.lineTo(r.center().x(), r.top() + r.height() * 0.6);
    flap.lineTo(r.right(), r.top());
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}

// An account: a small server tray; `full` shows letters in it.
void tray(QPainter& p, bool full, const QColor& body)
{
    p.setPen(QPen(QColor(0x33, 0x33, 0x33), 1.0));
    if (full) {
        p.setBrush(QColor(0xfa, 0xfa, 0xf0));
        p.drawRect(QRectF(3.5, 2.5, 9, 7));
        p.drawLine(QPointF(5, 5), QPointF(11, 5));
        p.drawLine(QPointF(5, 7), QPointF(10, 7));
    }
    p.setBrush(body);
    QPainterPath box;
    box.moveTo(1.5, 7.5);
    box.lineTo(4.5, 7.5);
    box.lineTo(5.5, 9.5);
    box.lineTo(10.5, 9.5);
    box.lineTo(11.5, 7.5);
    box.lineTo(14.5, 7.5);
    box.lineTo(14.5, 13.5);
    box.lineTo(1.5, 13.5);
    box.closeSubpath();
    p.drawPath(box);
}

QPixmap draw(const QString& key)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (key == Image::NoMail) {
        tray(p, false, QColor(0x7f, 0xa7, 0xd6));
    } else if (key == Image::HaveMail) {
        tray(p, true, QColor(0x4a, 0x86, 0xc8));
    } else if (key == Image::Closed) {
        tray(p, false, QColor(0xb0, 0xb0, 0xb0));
        p.setPen(QPen(QColor(0xc0, 0x20, 0x20), 2.0));
        p.drawLine(QPointF(3, 3), QPointF(13, 13));
    } else if (key == Image::Mail) {
        envelope(p, QRectF(1.5, 3.5, 13, 9), QColor(0xe8, 0xe8, 0xe8), QColor(0x60, 0x60, 0x60));
    } else if (key == Image::NewMail) {
        envelope(p, QRectF(1.5, 3.5, 13, 9), QColor(0xff, 0xe0, 0x60), QColor(0x80, 0x50, 0x00));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xe0, 0x30, 0x20));
        p.drawEllipse(QRectF(10, 0, 6, 6));
    } else if (key == Image::Deleted) {
        envelope(p, QRectF(1.5, 3.5, 13, 9), QColor(0xe8, 0xe8, 0xe8), QColor(0x90, 0x90, 0x90));
        p.setPen(QPen(QColor(0xd0, 0x10, 0x10), 2.0));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
    }
    return pm;
}

} // namespace

QIcon treeIcon(const QString& imageKey)
{
    static QHash<QString, QIcon> cache;
    auto it = cache.find(imageKey);
    if (it == cache.end()) {
        const QPixmap pm = draw(imageKey);
        it = cache.insert(imageKey, pm.isNull() ? QIcon() : QIcon(pm));
    }
    return *it;
}

} // namespace ormisk
