#include "Logo.h"

#include <QFile>
#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace vq5::qt {

namespace {

// A VQ-5 box seen from the front: a dark case, a coloured face plate, the "VQ-5" lettering,
// a nine-pin connector and two lamps.
void PaintBox(QPainter& p, const QRectF& r, const QColor& face, bool lettering) {
    p.setRenderHint(QPainter::Antialiasing);
    const qreal radius = r.width() * 0.10;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(43, 47, 54));
    p.drawRoundedRect(r, radius, radius);

    const qreal m = r.width() * 0.04;
    const QRectF plate = r.adjusted(m, m, -m, -m);
    QLinearGradient g(plate.topLeft(), plate.bottomLeft());
    g.setColorAt(0, face.lighter(135));
    g.setColorAt(1, face.darker(150));
    p.setBrush(g);
    p.drawRoundedRect(plate, radius * 0.8, radius * 0.8);

    // Connector: a trapezoid with pins.
    const QRectF conn(plate.left() + plate.width() * 0.08, plate.bottom() - plate.height() * 0.30,
                      plate.width() * 0.36, plate.height() * 0.18);
    QPainterPath d;
    d.moveTo(conn.topLeft());
    d.lineTo(conn.topRight());
    d.lineTo(conn.right() - conn.width() * 0.08, conn.bottom());
    d.lineTo(conn.left() + conn.width() * 0.08, conn.bottom());
    d.closeSubpath();
    p.setBrush(QColor(29, 32, 38));
    p.drawPath(d);
    p.setBrush(QColor(201, 209, 217));
    const qreal pin = std::max<qreal>(1.0, conn.height() * 0.18);
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(
            QPointF(conn.left() + conn.width() * (0.2 + 0.15 * i), conn.top() + conn.height() * 0.35), pin,
            pin);
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(
            QPointF(conn.left() + conn.width() * (0.27 + 0.15 * i), conn.top() + conn.height() * 0.70), pin,
            pin);

    // Lamps.
    const qreal lamp = std::max<qreal>(1.5, plate.width() * 0.045);
    p.setBrush(QColor(80, 220, 90));
    p.drawEllipse(QPointF(plate.left() + plate.width() * 0.14, plate.top() + plate.height() * 0.2), lamp,
                  lamp);
    p.setBrush(QColor(255, 190, 40));
    p.drawEllipse(QPointF(plate.left() + plate.width() * 0.28, plate.top() + plate.height() * 0.2), lamp,
                  lamp);

    if (lettering) {
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setBold(true);
        f.setPixelSize(std::max(6, int(plate.height() * 0.24)));
        p.setFont(f);
        p.setPen(QColor(255, 255, 255, 230));
        const QRectF textRect(plate.left(), plate.top() + plate.height() * 0.30, plate.width() - m * 2,
                              plate.height() * 0.34);
        p.drawText(textRect, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("VQ-5"));
    }
}

} // namespace

QPixmap DrawLargeLogo(const QSize& size) {
    QPixmap pm(size.expandedTo(QSize(8, 8)));
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const QRectF area(0, 0, pm.width(), pm.height());
    // The box takes the upper part, the maker's name the strip below it.
    const qreal strip = area.height() * 0.22;
    QRectF box(area.left() + area.width() * 0.04, area.top() + area.height() * 0.04, area.width() * 0.92,
               area.height() - strip - area.height() * 0.06);
    PaintBox(p, box, QColor(40, 96, 170), true);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(std::max(6, int(strip * 0.62)));
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(40, 60, 90));
    p.drawText(QRectF(area.left(), area.bottom() - strip, area.width(), strip), Qt::AlignCenter,
               QStringLiteral("LUMARK"));
    return pm;
}

QPixmap DrawSmallLogo(int bitmap, const QSize& size) {
    QPixmap pm(size.expandedTo(QSize(4, 4)));
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const QColor face = bitmap == 132 ? QColor(40, 150, 90) : QColor(200, 70, 60);
    PaintBox(p, QRectF(0, 0, pm.width(), pm.height()), face, false);
    return pm;
}

QIcon ToolIcon(const QString& program) {
    QIcon icon;
    for (int s : {16, 24, 32, 48, 64, 128, 256}) {
        const QString path = QStringLiteral(":/vq5/icons/%1/%2.png").arg(s).arg(program);
        if (QFile::exists(path))
            icon.addFile(path, QSize(s, s));
    }
    if (icon.isNull()) {
        for (int s : {16, 32, 64})
            icon.addPixmap(DrawSmallLogo(130, QSize(s, s)));
    }
    return icon;
}

} // namespace vq5::qt
