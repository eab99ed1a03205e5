#include "LinkLabel.h"

#include "LinkOpen.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPalette>
#include <QProcess>
#include <QUrl>

namespace vq5::qt {

namespace {

// The open result codes used here: 33 success, 2 "file not found" (the browser command
// could not be started), 31 "no application associated".
constexpr int kResultNotFound = 2;
constexpr int kResultNoAssociation = 31;

int DesktopOpen(const QString& target) {
    // Step 1: the desktop's "open" action.
    if (QDesktopServices::openUrl(QUrl(target, QUrl::TolerantMode)))
        return kOpenSucceeded;
    const int shellResult = kResultNoAssociation;
    // Fallback: the registered browser command, here $BROWSER.
    const QByteArray browser = qgetenv("BROWSER");
    if (browser.isEmpty())
        return shellResult;
    const std::string line = BrowserCommandLine(browser.toStdString(), target.toStdString());
    QStringList args = QProcess::splitCommand(QString::fromStdString(line));
    if (args.isEmpty())
        return shellResult;
    const QString program = args.takeFirst();
    return QProcess::startDetached(program, args) ? kOpenSucceeded : kResultNotFound;
}

std::function<int(const QString&)>& Opener() {
    static std::function<int(const QString&)> opener;
    return opener;
}

std::function<void(QWidget*, const QString&)>& Reporter() {
    static std::function<void(QWidget*, const QString&)> reporter;
    return reporter;
}

} // namespace

CLinkLabel::CLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    m_HoverColour = palette().color(QPalette::Highlight);
    setTextFormat(Qt::PlainText);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    UpdateColour();
}

void CLinkLabel::Prepare() {
    if (m_Target.isEmpty())
        m_Target = text();
    if (text().isEmpty())
        setText(m_Target);
    SetUnderline(m_Underline);
    m_Prepared = true;
    AdjustToFit();
    // The hand cursor is always at hand here.
    setCursor(Qt::PointingHandCursor);
    setToolTip(m_Target);
    UpdateColour();
}

void CLinkLabel::ShowAsPlainText() {
    m_Plain = true;
    m_Target.clear();
    SetUnderline(false);
    setPalette(QPalette());
    unsetCursor();
    setToolTip(QString());
    setMouseTracking(false);
}

void CLinkLabel::SetTarget(const QString& target) {
    m_Target = target;
    if (m_Prepared) {
        AdjustToFit();
        setToolTip(m_Target);
    }
}

void CLinkLabel::SetUsed(bool used) {
    m_Visited = used;
    UpdateColour();
}

void CLinkLabel::SetUnderline(bool on) {
    m_Underline = on;
    QFont f = font();
    f.setUnderline(on);
    setFont(f);
}

QColor CLinkLabel::CurrentColour() const {
    if (m_Over)
        return m_HoverColour;
    if (m_Visited)
        return m_VisitedColour;
    return m_LinkColour;
}

void CLinkLabel::UpdateColour() {
    QPalette pal = palette();
    const QColor c = CurrentColour();
    pal.setColor(QPalette::Active, QPalette::WindowText, c);
    pal.setColor(QPalette::Inactive, QPalette::WindowText, c);
    setPalette(pal);
    update();
}

void CLinkLabel::AdjustToFit() {
    if (!m_AdjustToFit)
        return;
    const QFontMetrics fm(font());
    const QSize textSize(fm.horizontalAdvance(text()), fm.height());
    QRect r = geometry();
    const Qt::Alignment a = alignment();
    // Height.
    if (a & Qt::AlignVCenter) {
        const int dy = (r.height() - textSize.height()) / 2;
        r.setTop(r.top() + dy);
        r.setHeight(textSize.height());
    } else {
        r.setHeight(textSize.height());
    }
    // Width.
    if (a & Qt::AlignHCenter) {
        const int dx = (r.width() - textSize.width()) / 2;
        r.setLeft(r.left() + dx);
        r.setWidth(textSize.width());
    } else if (a & Qt::AlignRight) {
        const int right = r.left() + r.width();
        r.setLeft(right - textSize.width());
        r.setWidth(textSize.width());
    } else {
        r.setWidth(textSize.width());
    }
    setGeometry(r);
}

void CLinkLabel::SetOver(bool over) {
    if (m_Plain || m_Over == over)
        return;
    m_Over = over;
    UpdateColour();
}

void CLinkLabel::enterEvent(QEnterEvent* event) {
    SetOver(true);
    QLabel::enterEvent(event);
}

void CLinkLabel::leaveEvent(QEvent* event) {
    SetOver(false);
    QLabel::leaveEvent(event);
}

void CLinkLabel::mouseMoveEvent(QMouseEvent* event) {
    SetOver(rect().contains(event->position().toPoint()));
    QLabel::mouseMoveEvent(event);
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        Activate();
        event->accept();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void CLinkLabel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
        Activate();
        return;
    }
    QLabel::keyPressEvent(event);
}

void CLinkLabel::Activate() {
    if (m_Plain)
        return;
    const int result = OpenTarget(m_Target);
    if (result > 32) {
        SetUsed(true);
        return;
    }
    const QString text = QString::fromStdString(HyperlinkErrorMessage(result));
    if (Reporter()) {
        Reporter()(this, text);
        return;
    }
    QApplication::beep();
    QMessageBox::warning(window(), QCoreApplication::applicationName(), text);
}

int CLinkLabel::OpenTarget(const QString& target) {
    if (Opener())
        return Opener()(target);
    return DesktopOpen(target);
}

void CLinkLabel::SetOpener(std::function<int(const QString&)> opener) {
    Opener() = std::move(opener);
}

void CLinkLabel::SetErrorReporter(std::function<void(QWidget*, const QString&)> reporter) {
    Reporter() = std::move(reporter);
}

} // namespace vq5::qt
