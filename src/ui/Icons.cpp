#include "Icons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>

namespace vantry::ui {

namespace {

const QColor Gold(0xe8, 0xb9, 0x2e);
const QColor Lambda(0xf0, 0x7c, 0x14);
const QColor Navy(0x1c, 0x2d, 0x6b);
const QColor Ink(0x22, 0x22, 0x22);

QPen pen(const QColor& c, qreal w)
{
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void soldier(QPainter& p, const QColor& ground)
{
    if (ground.isValid()) {
        p.setPen(Qt::NoPen);
        p.setBrush(ground);
        p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawEllipse(QPointF(6, 3.5), 2, 2);          // head
    p.drawRoundedRect(QRectF(4, 6, 4, 5.5), 1, 1); // body
    p.setPen(pen(Ink, 1.6));
    p.drawLine(QPointF(5, 11.5), QPointF(4, 15)); // legs
    p.drawLine(QPointF(7, 11.5), QPointF(8.5, 15));
    p.setPen(pen(QColor(0x3a, 0x2a, 0x1a), 1.3));
    p.drawLine(QPointF(4.5, 9.5), QPointF(15, 5.5)); // rifle
    p.setPen(pen(Ink, 1.2));
    p.drawLine(QPointF(7.5, 7.5), QPointF(11, 7)); // arm on the rifle
}

void lambdaSign(QPainter& p, bool two)
{
    p.setPen(pen(Lambda, 1.4));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setPen(pen(Lambda, 2));
    p.drawLine(QPointF(5, 4), QPointF(11, 12.5));
    p.drawLine(QPointF(8, 8), QPointF(4.5, 12.5));
    if (two) {
        QFont f = p.font();
        f.setPixelSize(7);
        f.setBold(true);
        p.setFont(f);
        p.setPen(Navy);
        p.drawText(QRectF(9, 0, 7, 8), Qt::AlignCenter, QStringLiteral("2"));
    }
}

void monitor(QPainter& p, const QColor& screen)
{
    p.setPen(pen(Ink, 1));
    p.setBrush(QColor(0xd8, 0xd8, 0xd8));
    p.drawRoundedRect(QRectF(1.5, 2, 13, 9.5), 1, 1);
    p.setBrush(screen);
    p.drawRect(QRectF(3, 3.5, 10, 6.5));
    p.drawLine(QPointF(8, 11.5), QPointF(8, 13.5));
    p.drawLine(QPointF(5, 14), QPointF(11, 14));
}

void draw(QPainter& p, int index)
{
    switch (index) {
    case 0: // Counter-Strike
        soldier(p, QColor(0xc9, 0xd3, 0xb2));
        break;
    case 1: // Condition Zero
        soldier(p, Gold);
        break;
    case 2:
        lambdaSign(p, false);
        break;
    case 3: { // Source: a dark blue emblem
        QPainterPath shield;
        shield.moveTo(8, 1);
        shield.lineTo(14.5, 3.5);
        shield.cubicTo(14.5, 10, 11, 13.5, 8, 15);
        shield.cubicTo(5, 13.5, 1.5, 10, 1.5, 3.5);
        shield.closeSubpath();
        p.setPen(pen(QColor(0x0b, 0x16, 0x3d), 1));
        p.setBrush(Navy);
        p.drawPath(shield);
        p.setPen(pen(QColor(0xf2, 0xa9, 0x00), 1.6));
        p.drawLine(QPointF(5, 6), QPointF(11, 6));
        p.drawLine(QPointF(8, 6), QPointF(8, 12));
        break;
    }
    case 4: // HLTV relay
        monitor(p, QColor(0x3a, 0x7b, 0xd5));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xe0, 0x30, 0x30));
        p.drawEllipse(QPointF(11, 5.5), 1.2, 1.2);
        break;
    case 5:
        lambdaSign(p, true);
        break;
    case 6: { // demo playback: film strip
        p.setPen(Qt::NoPen);
        p.setBrush(Ink);
        p.drawRect(QRectF(1, 3, 14, 10));
        p.setBrush(Qt::white);
        for (int i = 0; i < 4; ++i) {
            p.drawRect(QRectF(2 + i * 3.4, 3.8, 1.6, 1.4));
            p.drawRect(QRectF(2 + i * 3.4, 10.8, 1.6, 1.4));
        }
        p.setBrush(QColor(0x9e, 0xc9, 0xf0));
        p.drawRect(QRectF(2.5, 6, 4.5, 4));
        p.drawRect(QRectF(9, 6, 4.5, 4));
        break;
    }
    case 7: // globe
        p.setPen(pen(QColor(0x1d, 0x5f, 0x9e), 1));
        p.setBrush(QColor(0x8c, 0xc8, 0xf5));
        p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(5, 1.5, 6, 13));
        p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
        p.drawLine(QPointF(8, 1.5), QPointF(8, 14.5));
        break;
    case 8: // open
        p.setPen(pen(QColor(0x1f, 0x9d, 0x3a), 2.4));
        p.drawLine(QPointF(3, 8.5), QPointF(6.5, 12));
        p.drawLine(QPointF(6.5, 12), QPointF(13, 4));
        break;
    case 9: // full
        p.setPen(pen(QColor(0xd3, 0x22, 0x22), 2.4));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
        break;
    case 10: // password
        p.setPen(pen(QColor(0x6b, 0x55, 0x10), 1.6));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(4.5, 1.5, 7, 9), 0, 180 * 16);
        p.drawLine(QPointF(4.5, 6), QPointF(4.5, 7.5));
        p.drawLine(QPointF(11.5, 6), QPointF(11.5, 7.5));
        p.setPen(pen(QColor(0x6b, 0x55, 0x10), 1));
        p.setBrush(Gold);
        p.drawRoundedRect(QRectF(3, 7, 10, 7.5), 1.2, 1.2);
        p.setBrush(Ink);
        p.drawEllipse(QPointF(8, 10.5), 1, 1);
        break;
    case 11: // a player's head
        p.setPen(pen(Ink, 1));
        p.setBrush(QColor(0xf1, 0xc2, 0x8f));
        p.drawEllipse(QRectF(4.5, 1.5, 7, 8));
        p.setBrush(QColor(0x4a, 0x6f, 0xa5));
        p.drawChord(QRectF(2, 10, 12, 10), 0, 180 * 16);
        break;
    case 12:
        break;
    case 13: { // Windows
        const QColor colours[4] = {QColor(0xf2, 0x50, 0x22), QColor(0x7f, 0xba, 0x00),
                                   QColor(0x00, 0xa4, 0xef), QColor(0xff, 0xb9, 0x00)};
        p.setPen(Qt::NoPen);
        for (int i = 0; i < 4; ++i) {
            p.setBrush(colours[i]);
            p.drawRect(QRectF(1.5 + (i % 2) * 7, 1.5 + (i / 2) * 7, 6, 6));
        }
        break;
    }
    case 14: // Linux: a penguin
        p.setPen(Qt::NoPen);
        p.setBrush(Ink);
        p.drawEllipse(QRectF(3.5, 1, 9, 14));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(5.5, 5.5, 5, 8.5));
        p.drawEllipse(QPointF(6.8, 3.8), 1, 1);
        p.drawEllipse(QPointF(9.2, 3.8), 1, 1);
        p.setBrush(QColor(0xf5, 0xb4, 0x00));
        p.drawEllipse(QRectF(6.5, 4.6, 3, 1.6));
        p.drawEllipse(QRectF(3.5, 13.5, 3.5, 2));
        p.drawEllipse(QRectF(9, 13.5, 3.5, 2));
        break;
    case 15: // computer
        monitor(p, QColor(0x6c, 0xb6, 0x5a));
        break;
    case 16: // satellite dish
        p.setPen(pen(Ink, 1));
        p.setBrush(QColor(0xd0, 0xd0, 0xd0));
        p.drawChord(QRectF(1, 1, 12, 12), 45 * 16, 180 * 16);
        p.drawLine(QPointF(7, 7), QPointF(11, 3));
        p.drawLine(QPointF(6, 10), QPointF(4, 15));
        p.drawLine(QPointF(4, 15), QPointF(10, 15));
        p.setPen(pen(QColor(0xd3, 0x22, 0x22), 1));
        p.drawArc(QRectF(9, -1, 6, 6), 270 * 16, 90 * 16);
        break;
    case 17: // name header: a monitor
        monitor(p, QColor(0x2f, 0x4f, 0x8f));
        break;
    default:
        break;
    }
}

} // namespace

QPixmap pixmap(int index, int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(size / 16.0, size / 16.0);
    draw(p, index);
    return pm;
}

QIcon icon(int index)
{
    static QHash<int, QIcon> cache;
    auto it = cache.find(index);
    if (it == cache.end()) {
        QIcon made;
        made.addPixmap(pixmap(index, 16));
        made.addPixmap(pixmap(index, 32));
        it = cache.insert(index, made);
    }
    return *it;
}

} // namespace vantry::ui
