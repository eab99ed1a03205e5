#include "Lamp.h"

#include <QEvent>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace vq5::io {

namespace {

// The motifs are drawn in a design space of 100 x 100 units.
constexpr qreal kDesign = 100.0;

struct Colours {
    QColor fill;
    QColor line;
    QColor mark; // letters and details
};

Colours ColoursFor(Motif motif, LampState state, const QPalette& pal) {
    if (state == LampState::Disabled) {
        // Greyed: the 3D colours of the dialog.
        return {pal.color(QPalette::Disabled, QPalette::Button).darker(108),
                pal.color(QPalette::Disabled, QPalette::Dark),
                pal.color(QPalette::Disabled, QPalette::Light)};
    }
    const bool on = state == LampState::Active;
    switch (motif) {
    case Motif::LeftArrow:
    case Motif::RightArrow:
        return on ? Colours{QColor(255, 160, 0), QColor(150, 80, 0), QColor(255, 230, 160)}
                  : Colours{QColor(120, 100, 70), QColor(60, 50, 40), QColor(150, 130, 100)};
    case Motif::Hand:
        return on ? Colours{QColor(255, 205, 150), QColor(150, 90, 40), QColor(200, 130, 80)}
                  : Colours{QColor(150, 140, 130), QColor(70, 65, 60), QColor(110, 100, 90)};
    case Motif::StopSign:
        return on ? Colours{QColor(20, 80, 210), QColor(10, 40, 120), QColor(255, 255, 255)}
                  : Colours{QColor(80, 90, 115), QColor(40, 45, 60), QColor(150, 155, 165)};
    case Motif::GpKey:
        return on ? Colours{QColor(250, 215, 60), QColor(140, 105, 0), QColor(60, 40, 0)}
                  : Colours{QColor(150, 140, 110), QColor(75, 70, 55), QColor(60, 55, 45)};
    case Motif::Loop:
        return on ? Colours{QColor(40, 190, 70), QColor(20, 110, 40), QColor(150, 240, 160)}
                  : Colours{QColor(90, 110, 95), QColor(50, 60, 55), QColor(120, 130, 125)};
    case Motif::Led:
        return on ? Colours{QColor(40, 230, 40), QColor(20, 110, 20), QColor(220, 255, 220)}
                  : Colours{QColor(30, 80, 30), QColor(15, 45, 15), QColor(70, 110, 70)};
    case Motif::Bulb:
        return on ? Colours{QColor(255, 235, 60), QColor(150, 120, 0), QColor(255, 255, 210)}
                  : Colours{QColor(215, 215, 205), QColor(90, 90, 85), QColor(240, 240, 235)};
    case Motif::CheckMark:
        return on ? Colours{QColor(20, 160, 40), QColor(10, 90, 20), QColor(20, 160, 40)}
                  : Colours{QColor(40, 40, 40), QColor(20, 20, 20), QColor(40, 40, 40)};
    }
    return {Qt::gray, Qt::darkGray, Qt::white};
}

QPainterPath Arrow(bool left) {
    QPolygonF poly;
    poly << QPointF(6, 50) << QPointF(46, 12) << QPointF(46, 34) << QPointF(94, 34) << QPointF(94, 66)
         << QPointF(46, 66) << QPointF(46, 88) << QPointF(6, 50);
    QPainterPath path;
    path.addPolygon(poly);
    path.closeSubpath();
    if (!left)
        path = QTransform(-1, 0, 0, 1, kDesign, 0).map(path);
    return path;
}

QPainterPath Hand() {
    QPainterPath p;
    p.setFillRule(Qt::WindingFill);
    p.addRoundedRect(QRectF(26, 44, 52, 48), 14, 14); // palm
    const qreal fx[4] = {27, 40, 53, 66};
    const qreal top[4] = {20, 10, 12, 22};
    for (int i = 0; i < 4; ++i)
        p.addRoundedRect(QRectF(fx[i], top[i], 11.5, 60 - top[i]), 5.5, 5.5); // fingers
    QPainterPath thumb;
    thumb.addRoundedRect(QRectF(-6, -5.5, 34, 11), 5.5, 5.5);
    p.addPath(QTransform().translate(16, 52).rotate(50).map(thumb));
    return p.simplified();
}

QPainterPath RoundedBox(const QRectF& r, qreal radius) {
    QPainterPath p;
    p.addRoundedRect(r, radius, radius);
    return p;
}

QPainterPath Letters(const QString& text, const QRectF& box) {
    QFont f(QStringLiteral("Sans Serif"));
    f.setBold(true);
    f.setPixelSize(100);
    QPainterPath t;
    t.addText(0, 0, f, text);
    const QRectF b = t.boundingRect();
    const qreal s = std::min(box.width() / b.width(), box.height() / b.height());
    QTransform m;
    m.translate(box.center().x(), box.center().y());
    m.scale(s, s);
    m.translate(-b.center().x(), -b.center().y());
    return m.map(t);
}

void Draw(QPainter& p, Motif motif, LampState state, const QPalette& pal) {
    const Colours c = ColoursFor(motif, state, pal);
    const bool disabled = state == LampState::Disabled;
    auto pen = [](const QColor& col, qreal w) {
        QPen pn(col, w);
        pn.setJoinStyle(Qt::RoundJoin);
        pn.setCapStyle(Qt::RoundCap);
        return pn;
    };
    switch (motif) {
    case Motif::LeftArrow:
    case Motif::RightArrow:
        p.setPen(pen(c.line, 5));
        p.setBrush(c.fill);
        p.drawPath(Arrow(motif == Motif::LeftArrow));
        break;
    case Motif::Hand:
        p.setPen(pen(c.line, 4.5));
        p.setBrush(c.fill);
        p.drawPath(Hand());
        break;
    case Motif::StopSign: {
        p.setPen(pen(c.line, 5));
        p.setBrush(c.fill);
        p.drawPath(RoundedBox(QRectF(10, 6, 80, 88), 12));
        p.setPen(Qt::NoPen);
        p.setBrush(c.mark);
        p.drawRect(QRectF(28, 22, 13, 56));
        p.drawRect(QRectF(59, 22, 13, 56));
        p.drawRect(QRectF(28, 44, 44, 12));
        break;
    }
    case Motif::GpKey: {
        // A key cap seen from the side above, with "GP" on it.
        p.setPen(pen(c.line, 5));
        p.setBrush(c.fill.darker(disabled ? 100 : 125));
        p.drawPath(RoundedBox(QRectF(6, 14, 88, 78), 14));
        p.setBrush(c.fill);
        p.drawPath(RoundedBox(QRectF(14, 8, 72, 66), 10));
        p.setPen(Qt::NoPen);
        p.setBrush(c.mark);
        p.drawPath(Letters(QStringLiteral("GP"), QRectF(22, 20, 56, 40)));
        break;
    }
    case Motif::Loop: {
        // The detection loop in the road: two turns of wire and its lead.
        p.setBrush(Qt::NoBrush);
        p.setPen(pen(c.line, 16));
        p.drawRoundedRect(QRectF(12, 14, 76, 60), 18, 18);
        p.setPen(pen(c.fill, 9));
        p.drawRoundedRect(QRectF(12, 14, 76, 60), 18, 18);
        p.setPen(pen(c.mark, 3));
        p.drawRoundedRect(QRectF(12, 14, 76, 60), 18, 18);
        p.setPen(pen(c.line, 9));
        p.drawLine(QPointF(50, 74), QPointF(50, 96));
        break;
    }
    case Motif::Led: {
        p.setPen(pen(c.line, 5));
        QRadialGradient g(QPointF(42, 40), 45);
        g.setColorAt(0, c.mark);
        g.setColorAt(0.45, c.fill);
        g.setColorAt(1, c.fill.darker(disabled ? 105 : 140));
        p.setBrush(g);
        p.drawEllipse(QRectF(16, 16, 68, 68));
        break;
    }
    case Motif::Bulb: {
        p.setPen(pen(c.line, 5));
        QRadialGradient g(QPointF(42, 32), 40);
        g.setColorAt(0, c.mark);
        g.setColorAt(1, c.fill);
        p.setBrush(g);
        QPainterPath glass;
        glass.addEllipse(QRectF(14, 4, 72, 64));
        glass.addRect(QRectF(34, 56, 32, 14));
        p.drawPath(glass.simplified());
        p.setBrush(disabled ? c.fill.darker(110) : QColor(150, 150, 150));
        p.drawRoundedRect(QRectF(32, 70, 36, 22), 5, 5);
        p.drawLine(QPointF(34, 78), QPointF(66, 78));
        p.drawLine(QPointF(34, 85), QPointF(66, 85));
        break;
    }
    case Motif::CheckMark:
        if (state == LampState::Active) {
            p.setBrush(Qt::NoBrush);
            p.setPen(pen(c.line, 22));
            p.drawPolyline(QPolygonF() << QPointF(16, 54) << QPointF(40, 80) << QPointF(86, 20));
            p.setPen(pen(c.fill, 13));
            p.drawPolyline(QPolygonF() << QPointF(16, 54) << QPointF(40, 80) << QPointF(86, 20));
        } else {
            p.setPen(pen(c.line, 3));
            p.setBrush(c.fill);
            p.drawEllipse(QPointF(50, 52), 15, 15);
        }
        break;
    }
}

} // namespace

void PaintLamp(QPainter& p, const QRectF& r, Motif motif, LampState state, const QPalette& palette) {
    if (r.width() <= 0 || r.height() <= 0)
        return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal s = std::min(r.width(), r.height()) / kDesign;
    p.translate(r.center());
    p.scale(s, s);
    p.translate(-kDesign / 2, -kDesign / 2);
    Draw(p, motif, state, palette);
    p.restore();
}

QPixmap LampPixmap(Motif motif, LampState state, const QSize& size, qreal dpr, const QPalette& palette) {
    QPixmap pm(size * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    PaintLamp(p, QRectF(QPointF(0, 0), QSizeF(size)), motif, state, palette);
    return pm;
}

CLamp::CLamp(const LampInfo& info, QWidget* parent) : QWidget(parent), m_Info(info) {
    setObjectName(QStringLiteral("lamp%1").arg(info.controlId));
    setAttribute(Qt::WA_TranslucentBackground, false);
}

void CLamp::Init() {
    QWidget* dialog = parentWidget();
    if (!m_Label) {
        m_Label = new QLabel(QString::fromLatin1(m_Info.label), dialog);
        m_Label->setObjectName(QStringLiteral("label%1").arg(m_Info.controlId));
    }
    if (dialog)
        m_Label->setFont(dialog->font());
    PlaceLabel();
    m_Label->show();
    m_State = LampState::Active;
    update();
}

void CLamp::PlaceLabel() {
    if (!m_Label)
        return;
    const QFontMetrics fm(m_Label->font());
    const int w = fm.horizontalAdvance(m_Label->text());
    const int h = fm.height();
    const QRect g = geometry();
    m_Label->setGeometry(g.right() + 1 + 2, g.top() + (g.height() - h) / 2, w, h);
}

void CLamp::SetState(LampState state) {
    if (state == m_State)
        return;
    m_State = state;
    update();
}

void CLamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    PaintLamp(p, QRectF(rect()), m_Info.motif, m_State, palette());
}

void CLamp::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange)
        SetState(isEnabled() ? LampState::Active : LampState::Disabled);
    QWidget::changeEvent(event);
}

void CLamp::moveEvent(QMoveEvent* event) {
    PlaceLabel();
    QWidget::moveEvent(event);
}

} // namespace vq5::io
