#include "tray/TrayPictures.h"

#include <QPainter>
#include <QPainterPath>

namespace ormisk {

namespace {

// Every picture is an envelope; the state shows in its colour and a badge in the lower right.
struct Look {
    QColor paper;
    QColor edge;
};

Look lookOf(int picture)
{
    switch (picture) {
    case 1: // checking: light blue paper
        return { QColor(0xd6, 0xe8, 0xff), QColor(0x1f, 0x4e, 0x9a) };
    case 2: // mail waiting: warm yellow paper
        return { QColor(0xff, 0xe0, 0x66), QColor(0x7a, 0x4a, 0x00) };
    case 3: // suspended: grey paper
        return { QColor(0xc8, 0xc8, 0xc8), QColor(0x50, 0x50, 0x50) };
    default: // idle: white paper
        return { QColor(0xff, 0xff, 0xff), QColor(0x3c, 0x3c, 0x3c) };
    }
}

void drawEnvelope(QPainter& p, const QRectF& r, const Look& look, qreal pen)
{
    p.setPen(QPen(look.edge, pen, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    p.setBrush(look.paper);
    p.drawRect(r);
    QPainterPath flap;
    flap.moveTo(r.topLeft());
    flap.lineTo(r.center().x(), r.top() + r.height() * 0.55);
    flap.lineTo(r.topRight());
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
}

} // namespace

QImage drawTrayPicture(int picture, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (picture < 0 || picture >= kTrayPictureCount || size < 8)
        return image;

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal unit = size / 16.0;
    const qreal pen = qMax<qreal>(1.0, qRound(unit));
    // Half-pixel offsets put one-pixel lines exactly on pixels at the small sizes.
    const qreal half = pen / 2.0;
    const QRectF body(half, 3 * unit + half, size - pen, 9 * unit);
    drawEnvelope(p, body, lookOf(picture), pen);

    const QRectF badge(size - 8 * unit, size - 8 * unit, 8 * unit, 8 * unit);
    switch (picture) {
    case 1: { // checking: a blue disc with a white clock hand
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1f, 0x6f, 0xeb));
        p.drawEllipse(badge);
        p.setPen(QPen(Qt::white, pen, Qt::SolidLine, Qt::FlatCap));
        const QPointF c = badge.center();
        p.drawLine(c, QPointF(c.x(), badge.top() + 1.5 * unit));
        p.drawLine(c, QPointF(badge.right() - 1.5 * unit, c.y()));
        break;
    }
    case 2: { // mail waiting: a red disc
        p.setPen(QPen(Qt::white, qMax<qreal>(1.0, unit * 0.75)));
        p.setBrush(QColor(0xe0, 0x1b, 0x24));
        p.drawEllipse(badge.adjusted(unit * 0.5, unit * 0.5, 0, 0));
        break;
    }
    case 3: { // suspended: two dark pause bars on an orange square
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xf5, 0x79, 0x00));
        p.drawRect(badge);
        p.setBrush(QColor(0x20, 0x20, 0x20));
        const qreal barW = qMax<qreal>(1.0, qRound(2 * unit));
        const qreal barH = badge.height() - 3 * unit;
        p.drawRect(QRectF(badge.left() + 1.5 * unit, badge.top() + 1.5 * unit, barW, barH));
        p.drawRect(QRectF(badge.right() - 1.5 * unit - barW, badge.top() + 1.5 * unit, barW, barH));
        break;
    }
    default: // idle: the envelope alone
        break;
    }
    return image;
}

QIcon trayPicture(int picture)
{
    if (picture < 0 || picture >= kTrayPictureCount)
        return {};
    QIcon icon;
    for (const int size : { 16, 22, 24, 32, 48, 64, 128 })
        icon.addPixmap(QPixmap::fromImage(drawTrayPicture(picture, size)));
    return icon;
}

} // namespace ormisk
