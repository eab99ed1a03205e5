// Loaded into a tool with LD_PRELOAD by bench_startup: notes when the tool's first top-level
// window is shown and first painted, writes both time stamps (monotonic clock, ns) to the
// file descriptor named by VQ5_BENCH_FD, and ends the tool's event loops the normal way, so
// the tool shuts down as after "&Exit". Without VQ5_BENCH_FD it does nothing.
//
// Line written: "shown <ns> painted <ns> <class of the window>\n"
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>

namespace {

long long NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

class CShowFilter : public QObject {
public:
    explicit CShowFilter(int fd) : m_Fd(fd) {}

    bool eventFilter(QObject* o, QEvent* e) override {
        if (m_Done || !o->isWidgetType())
            return false;
        auto* w = static_cast<QWidget*>(o);
        if (e->type() == QEvent::Show && !m_Window && w->isWindow()) {
            m_Window = w;
            m_ShownNs = NowNs();
            m_Class = w->metaObject()->className();
            // Should no paint come (it always does offscreen), report the show alone.
            QTimer::singleShot(5000, this, [this] { Report(0); });
        } else if (e->type() == QEvent::Paint && m_Window && w->window() == m_Window) {
            Report(NowNs());
        }
        return false;
    }

private:
    void Report(long long paintedNs) {
        if (m_Done)
            return;
        m_Done = true;
        char line[256];
        int n = std::snprintf(line, sizeof line, "shown %lld painted %lld %s\n", m_ShownNs, paintedNs,
                              m_Class.c_str());
        if (n > 0) [[maybe_unused]]
            ssize_t w = ::write(m_Fd, line, static_cast<std::size_t>(n));
        ::close(m_Fd);
        // Leave every event loop (the modal dialog's too): the tool shuts down normally.
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    }

    int m_Fd;
    bool m_Done = false;
    QWidget* m_Window = nullptr;
    long long m_ShownNs = 0;
    std::string m_Class;
};

void InstallShowFilter() {
    const char* fdText = std::getenv("VQ5_BENCH_FD");
    if (!fdText || !*fdText)
        return;
    const int fd = std::atoi(fdText);
    if (fd <= 2)
        return;
    auto* filter = new CShowFilter(fd);
    filter->setParent(qApp);
    qApp->installEventFilter(filter);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallShowFilter)
