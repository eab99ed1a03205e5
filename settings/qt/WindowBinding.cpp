#include "WindowBinding.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <limits>
#include <memory>

namespace vq5::qt {

namespace {

const char* const kPlacementKeys[6] = {"flags", "showCmd", "x1", "y1", "x2", "y2"};

enum ShowCmd { swNormal = 1, swMinimised = 2, swMaximised = 3 };
enum PlacementFlags { wpfRestoreToMaximised = 2 };

int MulDiv(int number, int numerator, int denominator) {
    // Rounded to nearest, halves away from zero, as the dialog system's conversion does.
    long long p = static_cast<long long>(number) * numerator;
    long long half = denominator / 2;
    long long q = p >= 0 ? (p + half) / denominator : -((-p + half) / denominator);
    return static_cast<int>(q);
}

// Follows one bound window. It keeps the window's latest placement while the window exists
// (every move, resize, state change and hide updates it, all while the geometry is valid),
// and writes it once: when the window is destroyed, or at the section's write-back when the
// section goes first.
class CPlacementWatch : public QObject {
public:
    CPlacementWatch(CProfileSection& section, QWidget* window, std::string prefix)
        : m_Section(&section), m_Window(window), m_Prefix(std::move(prefix)),
          m_Last(CurrentPlacement(window)) {
        window->installEventFilter(this);
        connect(window, &QObject::destroyed, this, [this] { WindowDestroyed(); });
    }

    // Called by the section's write-back while the window still lives.
    void SaveAtWriteBack(CProfileSection& section, const std::string& key) {
        if (m_Window)
            m_Last = CurrentPlacement(m_Window);
        WritePlacement(section, key, m_Last);
        m_Section = nullptr;
        if (m_Window)
            m_Window->removeEventFilter(this);
        // The record is gone with this call; the watch is of no further use.
        deleteLater();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_Window) {
            switch (event->type()) {
            case QEvent::Move:
            case QEvent::Resize:
            case QEvent::WindowStateChange:
            case QEvent::Hide:
            case QEvent::Close:
                m_Last = CurrentPlacement(m_Window);
                break;
            default:
                break;
            }
        }
        return false;
    }

private:
    void WindowDestroyed() {
        // The QWidget part is gone here; m_Last holds the placement it had to the end.
        if (m_Section)
            m_Section->WriteBackAndRemove(this);
        // WriteBackAndRemove ran SaveAtWriteBack, which cleared m_Section and scheduled the
        // deletion; without a section the watch just goes.
        if (m_Section == nullptr)
            deleteLater();
    }

    CProfileSection* m_Section;
    QPointer<QWidget> m_Window;
    std::string m_Prefix;
    Placement m_Last;
};

} // namespace

QString PlacementPrefix(const QWidget* window, const QString& name) {
    QString prefix = name;
    if (prefix.isEmpty() && window)
        prefix = window->windowTitle();
    if (prefix.isEmpty())
        prefix = QStringLiteral("Window");
    return prefix + QLatin1Char('_');
}

std::optional<Placement> ReadPlacement(const CProfileSection& section, const std::string& prefix) {
    int values[6];
    for (int i = 0; i < 6; ++i) {
        auto v = section.ReadInt(prefix + kPlacementKeys[i]);
        if (!v || *v == -1 || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max())
            return std::nullopt;
        values[i] = static_cast<int>(*v);
    }
    return Placement{values[0], values[1], values[2], values[3], values[4], values[5]};
}

void WritePlacement(CProfileSection& section, const std::string& prefix, const Placement& p) {
    const int values[6] = {p.flags, p.showCmd, p.x1, p.y1, p.x2, p.y2};
    for (int i = 0; i < 6; ++i)
        section.WriteInt(prefix + kPlacementKeys[i], values[i]);
}

Placement ClampPlacement(Placement p, const QSize& screen, int iconSize) {
    if (p.x1 >= screen.width() - iconSize)
        p.x1 = screen.width() - iconSize;
    if (p.y1 >= screen.height() - iconSize)
        p.y1 = screen.height() - iconSize;
    return p;
}

Placement KeepReachable(Placement p, const Placement& stored, const QRect& desk, const QSize& current,
                        int iconSize) {
    // A size the desktop could not show four times over comes from a damaged value (or a far
    // larger desktop): take the stored size when that one is sound, else the window's own.
    auto extent = [](int a, int b) { return static_cast<long long>(b) - a; };
    auto sound = [](long long size, int deskSize) { return size > 0 && size <= 4LL * deskSize; };
    long long w = extent(p.x1, p.x2);
    long long h = extent(p.y1, p.y2);
    if (!sound(w, desk.width()))
        w = sound(extent(stored.x1, stored.x2), desk.width()) ? extent(stored.x1, stored.x2)
                                                              : current.width();
    if (!sound(h, desk.height()))
        h = sound(extent(stored.y1, stored.y2), desk.height()) ? extent(stored.y1, stored.y2)
                                                               : current.height();
    // Far left of or above the desktop: nothing of the window (its title bar) can be reached.
    if (static_cast<long long>(p.x1) + w < static_cast<long long>(desk.left()) + iconSize)
        p.x1 = desk.left();
    if (static_cast<long long>(p.y1) < static_cast<long long>(desk.top()) - iconSize)
        p.y1 = desk.top();
    p.x2 = static_cast<int>(p.x1 + w);
    p.y2 = static_cast<int>(p.y1 + h);
    return p;
}

Placement CurrentPlacement(const QWidget* window) {
    Placement p;
    const Qt::WindowStates state = window->windowState();
    QRect normal = window->normalGeometry();
    if (!normal.isValid())
        normal = window->geometry();
    // Left and top are those of the window with its frame (as move() takes them); right and
    // bottom follow from the client size, so a round trip neither moves nor grows the window.
    const QPoint frame = window->isWindow() ? window->geometry().topLeft() - window->pos() : QPoint();
    p.x1 = normal.left() - frame.x();
    p.y1 = normal.top() - frame.y();
    p.x2 = p.x1 + normal.width();
    p.y2 = p.y1 + normal.height();
    if (state & Qt::WindowMinimized)
        p.showCmd = swMinimised;
    else if (state & Qt::WindowMaximized)
        p.showCmd = swMaximised;
    else
        p.showCmd = swNormal;
    p.flags = (state & Qt::WindowMinimized) && (state & Qt::WindowMaximized) ? wpfRestoreToMaximised : 0;
    return p;
}

void ApplyPlacement(QWidget* window, const Placement& p) {
    // Widened first: stored edges far apart (a damaged value) must not overflow.
    const long long wide = static_cast<long long>(p.x2) - p.x1;
    const long long high = static_cast<long long>(p.y2) - p.y1;
    const int w = wide > 0 && wide <= QWIDGETSIZE_MAX ? static_cast<int>(wide) : 0;
    const int h = high > 0 && high <= QWIDGETSIZE_MAX ? static_cast<int>(high) : 0;
    window->move(p.x1, p.y1);
    if (w > 0 && h > 0)
        window->resize(w, h);
    Qt::WindowStates state = window->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    if (p.showCmd == swMaximised)
        state |= Qt::WindowMaximized;
    else if (p.showCmd == swMinimised) {
        state |= Qt::WindowMinimized;
        if (p.flags & wpfRestoreToMaximised)
            state |= Qt::WindowMaximized;
    }
    if (state != window->windowState())
        window->setWindowState(state);
}

bool BindWindow(CProfileSection& section, QWidget* window, const QString& name) {
    if (!window)
        return false;
    const std::string prefix = PlacementPrefix(window, name).toStdString();
    bool restored = false;
    if (auto p = ReadPlacement(section, prefix)) {
        QSize screen(std::numeric_limits<int>::max(), std::numeric_limits<int>::max());
        QRect desk;
        if (QScreen* s = QGuiApplication::primaryScreen()) {
            screen = s->geometry().size();
            desk = s->virtualGeometry();
        }
        ApplyPlacement(window, desk.isValid()
                                   ? KeepReachable(ClampPlacement(*p, screen), *p, desk, window->size())
                                   : ClampPlacement(*p, screen));
        restored = true;
    }
    auto* watch = new CPlacementWatch(section, window, prefix);
    section.BindCustom(watch, prefix, [watch](CProfileSection& s, const std::string& key) {
        watch->SaveAtWriteBack(s, key);
    });
    return restored;
}

DialogBaseUnits DialogUnits(const QWidget* dialog) {
    const QFontMetrics fm(dialog->font());
    const int avg =
        fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    DialogBaseUnits u;
    u.x = (avg / 26 + 1) / 2;
    u.y = fm.height();
    return u;
}

int DluToPixelsX(const QWidget* dialog, int du) {
    return MulDiv(du, DialogUnits(dialog).x, 4);
}
int DluToPixelsY(const QWidget* dialog, int du) {
    return MulDiv(du, DialogUnits(dialog).y, 8);
}

QRect DluRect(const QWidget* dialog, int x, int y, int w, int h) {
    const DialogBaseUnits u = DialogUnits(dialog);
    const int left = MulDiv(x, u.x, 4);
    const int top = MulDiv(y, u.y, 8);
    const int right = MulDiv(x + w, u.x, 4);
    const int bottom = MulDiv(y + h, u.y, 8);
    return QRect(left, top, right - left, bottom - top);
}

QSize DluSize(const QWidget* dialog, int w, int h) {
    const DialogBaseUnits u = DialogUnits(dialog);
    return QSize(MulDiv(w, u.x, 4), MulDiv(h, u.y, 8));
}

} // namespace vq5::qt
