#include "VLPStatusBox.h"

#include "VLPEngine.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>

#include <algorithm>

namespace vq5::qt {

namespace {

QRect Ltrb(int left, int top, int right, int bottom) {
    return QRect(left, top, std::max(0, right - left), std::max(0, bottom - top));
}

QProgressBar* MakeBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setTextVisible(false);
    bar->setRange(0, 1); // a range of 0..0 would animate as "busy"; empty is shown as 0 of 1
    bar->setValue(0);
    return bar;
}

// Sets a bar to value of 0..maximum; a maximum of 0 shows an empty bar.
void SetBar(QProgressBar* bar, int maximum, int value) {
    if (maximum <= 0) {
        bar->setRange(0, 1);
        bar->setValue(0);
        return;
    }
    bar->setRange(0, maximum);
    bar->setValue(std::clamp(value, 0, maximum));
}

} // namespace

CVLPStatusBox::Layout CVLPStatusBox::Compute(int w, int h) {
    const int u = (h - 7) / 10;
    const int s = 2 * (w - 10) / 5;
    const int t = 4 * (w - 10) / 5;
    Layout l;
    l.status = Ltrb(10, 2 * u + 1, s, 4 * u - 5);
    l.ident = Ltrb(s + 2, 2 * u, w - 10, 4 * u - 5);
    l.traffic = Ltrb(10, 4 * u, w - 10, 6 * u);
    l.inBar = Ltrb(10, 6 * u, t, 7 * u);
    l.outBar = Ltrb(10, 7 * u, t, 8 * u);
    l.log = Ltrb(t + 2, 6 * u, w - 10, 8 * u);
    l.queue = Ltrb(10, 9 * u, w - 10, 10 * u);
    return l;
}

CVLPStatusBox::CVLPStatusBox(QWidget* parent, const QRect& rect, CVLPEngine& engine)
    : QGroupBox(QStringLiteral("Velto Engine"), parent), m_Engine(engine) {
    setGeometry(rect);
    m_Status = new QLabel(this);
    m_Ident = new QLabel(this);
    m_Ident->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_Ident->setAlignment(Qt::AlignCenter);
    m_Ident->setEnabled(false);
    m_Ident->setVisible(false);
    m_Traffic = new QLabel(QStringLiteral("Count In / Out + Queue progress"), this);
    m_InBar = MakeBar(this);
    m_OutBar = MakeBar(this);
    SetBar(m_InBar, static_cast<int>(m_InMax), 0);
    SetBar(m_OutBar, static_cast<int>(m_OutMax), 0);
    m_Log = new QPushButton(QStringLiteral("&Log"), this);
    m_QueueBar = MakeBar(this);

    PlaceChildren(rect.width(), rect.height());

    connect(m_Log, &QPushButton::clicked, this, &CVLPStatusBox::logRequested);
    m_Timer = new QTimer(this);
    m_Timer->setInterval(500);
    connect(m_Timer, &QTimer::timeout, this, &CVLPStatusBox::OnTimer);
    m_Timer->start();
}

void CVLPStatusBox::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    // A box placed by a layout gets its size later; the children follow the same rules.
    PlaceChildren(event->size().width(), event->size().height());
}

void CVLPStatusBox::PlaceChildren(int w, int h) {
    const Layout l = Compute(w, h);
    m_Status->setGeometry(l.status);
    m_Ident->setGeometry(l.ident);
    m_Traffic->setGeometry(l.traffic);
    m_InBar->setGeometry(l.inBar);
    m_OutBar->setGeometry(l.outBar);
    m_Log->setGeometry(l.log);
    m_QueueBar->setGeometry(l.queue);
    FitTrafficText();
    ShowIdentText();
}

void CVLPStatusBox::ShowIdentText() {
    const QFontMetrics fm(m_Ident->font());
    const int room = std::max(0, m_Ident->contentsRect().width() - 2 * m_Ident->margin() - 4);
    if (fm.horizontalAdvance(m_IdentText) <= room) {
        m_Ident->setAlignment(Qt::AlignCenter);
        m_Ident->setText(m_IdentText);
    } else {
        m_Ident->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        m_Ident->setText(fm.elidedText(m_IdentText, Qt::ElideRight, room));
    }
    m_Ident->setToolTip(m_IdentText);
}

void CVLPStatusBox::FitTrafficText() {
    static const QString text = QStringLiteral("Count In / Out + Queue progress");
    QFont f = font();
    const int room = m_Traffic->width();
    const qreal full = f.pointSizeF();
    if (full > 0) {
        for (qreal size = full; size >= full * 0.75; size -= 0.25) {
            f.setPointSizeF(size);
            if (QFontMetrics(f).horizontalAdvance(text) <= room)
                break;
        }
    }
    m_Traffic->setFont(f);
    const QFontMetrics fm(f);
    if (fm.horizontalAdvance(text) <= room) {
        m_Traffic->setText(text);
        m_Traffic->setToolTip(QString());
    } else {
        m_Traffic->setText(fm.elidedText(text, Qt::ElideRight, room));
        m_Traffic->setToolTip(text);
    }
}

void CVLPStatusBox::SetQueue(int maximum, int position) {
    m_QueueMax = std::max(0, maximum);
    m_QueuePos = std::clamp(position, 0, m_QueueMax);
    SetBar(m_QueueBar, m_QueueMax, m_QueuePos);
}

void CVLPStatusBox::OnNotify(const Notification& n) {
    switch (n.kind) {
    case nkQueueProgress: {
        const int queued = static_cast<int>(n.value & 0xFFFF);
        const int sent = static_cast<int>((n.value >> 16) & 0xFFFF);
        SetQueue(queued, queued - sent);
        break;
    }
    case nkQueueEmpty:
        SetQueue(m_QueueMax, 0);
        break;
    case nkLinkStatus:
        m_Status->setText(QString::fromLatin1(m_Engine.StatusText()));
        break;
    case nkIdent:
        if (n.value != 0) {
            if (m_Ident->isHidden())
                m_Ident->setVisible(true);
            m_Ident->setEnabled(true);
            m_IdentText = QString::fromLatin1(n.text.data(), static_cast<qsizetype>(n.text.size()));
            ShowIdentText();
        } else {
            m_Ident->setEnabled(false); // the last identification stays, greyed
        }
        break;
    default: // 1: the text belongs to the main dialog; other kinds are the tools' own
        break;
    }
}

void CVLPStatusBox::OnTimer() {
    const int in = std::max(0, m_Engine.m_CountIn.exchange(0));
    if (static_cast<unsigned>(in) > m_InMax)
        m_InMax = static_cast<unsigned>(in);
    SetBar(m_InBar, static_cast<int>(std::min<unsigned>(m_InMax, INT32_MAX)), in);
    const int out = std::max(0, m_Engine.m_CountOut.exchange(0));
    if (static_cast<unsigned>(out) > m_OutMax)
        m_OutMax = static_cast<unsigned>(out);
    SetBar(m_OutBar, static_cast<int>(std::min<unsigned>(m_OutMax, INT32_MAX)), out);
}

void CVLPStatusBox::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* health = menu.addAction(QStringLiteral("Link health..."));
    if (menu.exec(event->globalPos()) == health)
        emit linkHealthRequested();
}

} // namespace vq5::qt
