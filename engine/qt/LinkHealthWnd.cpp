#include "LinkHealthWnd.h"

#include "VLPEngine.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace vq5::qt {

namespace {

struct FigureRow {
    const char* key;
    const char* label;
};

// Left column, right column.
constexpr FigureRow kRows[] = {
    {"status", "Link status"},
    {"polls", "Polls / selects per s"},
    {"lastpoll", "Since last poll"},
    {"interval", "Poll interval p50 / p99"},
    {"answer", "Answer time p50 / p99 / max"},
    {"baud", "Line speed"},
    {"frames", "Frames received / sent"},
    {"naks", "NAKs received / sent"},
    {"repeats", "Repeats"},
    {"timeouts", "Time-outs"},
    {"damaged", "Damaged frames"},
    {"garbage", "Garbage bytes"},
    {"reconnects", "Reconnects"},
    {"bytes", "Bytes in / out"},
};

QString Ms(std::int64_t us) {
    return us < 0 ? QStringLiteral("-")
                  : QString::number(static_cast<double>(us) / 1000.0, 'f', us < 10000 ? 3 : 1) + " ms";
}

QString Num(std::uint64_t n) {
    return QString::number(static_cast<qulonglong>(n));
}

} // namespace

CLinkPlot::CLinkPlot(QWidget* parent) : QWidget(parent) {
    setMinimumSize(360, 220);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
}

void CLinkPlot::Add(const Point& p) {
    m_Points.push_back(p);
    while (!m_Points.empty() && m_Points.front().t < p.t - kSpanS)
        m_Points.pop_front();
    update();
}

double CLinkPlot::SpanS() const {
    const double history = m_Points.empty() ? 0 : m_Points.back().t - m_Points.front().t;
    return std::clamp(history, kMinSpanS, kSpanS);
}

void CLinkPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect all = rect().adjusted(48, 6, -8, -20);
    const int strips = 3;
    const int gap = 8;
    const int h = (all.height() - gap * (strips - 1)) / strips;
    const double now = m_Points.empty() ? 0 : m_Points.back().t;
    const double span = SpanS();
    const QColor colours[strips] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                                    QColor(0x2c, 0xa0, 0x2c)};
    const char* titles[strips] = {"polls/s", "errors/s", "answer ms"};
    auto value = [](const Point& p, int s) { return s == 0 ? p.polls : s == 1 ? p.errors : p.answerMs; };
    for (int s = 0; s < strips; ++s) {
        const QRect r(all.left(), all.top() + s * (h + gap), all.width(), h);
        double top = 0;
        for (const auto& p : m_Points)
            top = std::max(top, value(p, s));
        top = top > 0 ? top * 1.15 : 1;
        painter.setPen(palette().color(QPalette::Mid));
        painter.drawRect(r);
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(QRect(0, r.top(), all.left() - 4, 14), Qt::AlignRight, QString::number(top, 'g', 3));
        painter.drawText(QRect(0, r.bottom() - 13, all.left() - 4, 14), Qt::AlignRight, QStringLiteral("0"));
        painter.setPen(colours[s]);
        painter.drawText(r.adjusted(4, 2, -4, -2), Qt::AlignLeft | Qt::AlignTop,
                         QString::fromLatin1(titles[s]));
        QPainterPath path;
        bool started = false;
        for (const auto& p : m_Points) {
            const double v = value(p, s);
            if (v < 0) {
                started = false;
                continue;
            }
            const double x = r.right() - (now - p.t) / span * r.width();
            double y = r.bottom() - v / top * r.height();
            if (s == 1 && v > 0)
                y = std::min(y, r.bottom() - 4.0); // a few errors beside a burst still show
            if (!started)
                path.moveTo(x, y);
            else
                path.lineTo(x, y);
            started = true;
        }
        painter.setPen(QPen(colours[s], 1.6));
        painter.drawPath(path);
    }
    painter.setPen(palette().color(QPalette::Text));
    const QString left = span >= 120 ? QStringLiteral("-%1 min").arg(span / 60, 0, 'f', 1)
                                     : QStringLiteral("-%1 s").arg(span, 0, 'f', 0);
    painter.drawText(QRect(all.left(), all.bottom() + 4, all.width(), 14), Qt::AlignLeft, left);
    painter.drawText(QRect(all.left(), all.bottom() + 4, all.width(), 14), Qt::AlignRight,
                     QStringLiteral("now"));
}

CLinkHealthWnd::CLinkHealthWnd(CVLPEngine& engine, QWidget* parent)
    : QWidget(parent, Qt::Window), m_Engine(engine) {
    setWindowTitle(QStringLiteral("Link health"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    int i = 0;
    for (const auto& row : kRows) {
        auto* name = new QLabel(QString::fromLatin1(row.label) + ':', this);
        auto* value = new QLabel(QStringLiteral("-"), this);
        value->setObjectName(QString::fromLatin1(row.key));
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        const int column = i % 2 * 2;
        grid->addWidget(name, i / 2, column);
        grid->addWidget(value, i / 2, column + 1);
        ++i;
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    layout->addLayout(grid);
    m_Plot = new CLinkPlot(this);
    layout->addWidget(m_Plot, 1);
    m_Timer = new QTimer(this);
    m_Timer->setInterval(kIntervalMs);
    connect(m_Timer, &QTimer::timeout, this, &CLinkHealthWnd::Sample);
    resize(600, 560);
}

QLabel* CLinkHealthWnd::Figure(const char* key) const {
    return findChild<QLabel*>(QString::fromLatin1(key));
}

void CLinkHealthWnd::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Sample();
    m_Timer->start();
}

void CLinkHealthWnd::hideEvent(QHideEvent* event) {
    m_Timer->stop();
    QWidget::hideEvent(event);
}

void CLinkHealthWnd::Sample() {
    const LinkFigures f = m_Engine.Figures();
    const LinkRates r = m_HaveLast ? RatesBetween(m_Last, f) : LinkRates{};
    auto set = [this](const char* key, const QString& text) {
        if (QLabel* l = Figure(key))
            l->setText(text);
    };
    if (!f.kept) {
        set("status", QStringLiteral("%1 (figures not kept in this build)")
                          .arg(QString::fromLatin1(LinkStatusName(m_Engine.m_Status.load()))));
        return;
    }
    set("status", QStringLiteral("%1 for %2 s")
                      .arg(QString::fromLatin1(LinkStatusName(f.status)))
                      .arg(f.statusSeconds, 0, 'f', 1));
    set("polls", QStringLiteral("%1 / %2").arg(r.polls, 0, 'f', 1).arg(r.selects, 0, 'f', 1));
    set("lastpoll",
        f.sinceLastPollS < 0 ? QStringLiteral("-") : QString::number(f.sinceLastPollS, 'f', 2) + " s");
    set("interval", Ms(f.pollIntervalP50Us) + " / " + Ms(f.pollIntervalP99Us));
    set("answer", Ms(f.answerP50Us) + " / " + Ms(f.answerP99Us) + " / " + Ms(f.answerMaxUs));
    set("baud", f.baud ? QString::number(f.baud) + " baud" : QStringLiteral("port closed"));
    set("frames", Num(f.framesReceived) + " / " + Num(f.framesSent));
    set("naks", Num(f.naksReceived) + " / " + Num(f.naksSent));
    set("repeats", Num(f.repeats));
    set("timeouts", Num(f.timeouts));
    set("damaged", Num(f.damaged));
    set("garbage", Num(f.garbageBytes));
    set("reconnects", Num(f.reconnects));
    set("bytes", Num(f.bytesIn) + " / " + Num(f.bytesOut));
    if (m_HaveLast)
        m_Plot->Add({f.takenAt, r.polls, r.errors,
                     f.answerP99Us < 0 ? -1.0 : static_cast<double>(f.answerP99Us) / 1000.0});
    m_Last = f;
    m_HaveLast = true;
}

} // namespace vq5::qt
