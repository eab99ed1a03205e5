#include "LogIcons.h"

#include <QPainter>
#include <QPainterPath>

namespace vq5::emu {

namespace {

void Square(QPainter& p, const QColor& fill) {
    p.setPen(QPen(fill.darker(170), 1.0));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(1.5, 1.5, 12, 12), 1.5, 1.5);
}

void ArrowOn(QPainter& p, const QColor& ground, const QColor& arrow, bool right) {
    Square(p, ground);
    QPainterPath a;
    a.moveTo(3, 7.5);
    a.lineTo(7.5, 3.5);
    a.lineTo(7.5, 5.8);
    a.lineTo(12, 5.8);
    a.lineTo(12, 9.2);
    a.lineTo(7.5, 9.2);
    a.lineTo(7.5, 11.5);
    a.closeSubpath();
    if (right)
        a = QTransform(-1, 0, 0, 1, 15, 0).map(a);
    p.setPen(Qt::NoPen);
    p.setBrush(arrow);
    p.drawPath(a);
}

void DrawIcon(QPainter& p, int index) {
    switch (index) {
    case 0:
        ArrowOn(p, QColor(220, 30, 30), Qt::white, true);
        break; // sent
    case 1:
        ArrowOn(p, QColor(255, 215, 0), QColor(40, 40, 40), false);
        break; // received
    case 2:
        Square(p, QColor(220, 30, 30));
        break; // engine event
    case 3:
        Square(p, QColor(40, 90, 220));
        break;
    case 4:
        Square(p, QColor(255, 215, 0));
        break;
    default:
        Square(p, QColor(150, 150, 150));
        break;
    }
}

QPixmap Render(int first, int count, qreal scale) {
    const int w = qRound(kLogIconSize * count * scale), h = qRound(kLogIconSize * scale);
    QPixmap pm(w, h);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing, true);
    for (int i = 0; i < count; ++i) {
        p.save();
        p.scale(scale, scale);
        p.translate(kLogIconSize * i, 0);
        DrawIcon(p, first + i);
        p.restore();
    }
    return pm;
}

} // namespace

QPixmap LogIconStrip(qreal scale) {
    return Render(0, kLogIconCount, scale);
}

QIcon LogIcon(int index) {
    QIcon icon;
    if (index < 0 || index >= kLogIconCount)
        return icon;
    for (int s = 1; s <= 3; ++s) {
        QPixmap pm = Render(index, 1, s);
        pm.setDevicePixelRatio(s);
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace vq5::emu
