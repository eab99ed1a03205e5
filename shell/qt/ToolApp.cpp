#include "ToolApp.h"

#include "QtSettingsStore.h"
#include "ToolDialog.h"

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <string>

#if !defined(_WIN32)
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vq5::qt {

namespace {
#if !defined(_WIN32)
// SIGTERM, SIGINT and SIGHUP close the dialog like "&Exit", so the settings are written.
int g_SignalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    if (g_SignalPipe[1] >= 0) {
        [[maybe_unused]] ssize_t n = ::write(g_SignalPipe[1], &c, 1);
    }
}

class CSignalCloser {
public:
    explicit CSignalCloser(QDialog* dialog) {
        if (::pipe(g_SignalPipe) != 0)
            return;
        ::fcntl(g_SignalPipe[0], F_SETFD, FD_CLOEXEC);
        ::fcntl(g_SignalPipe[1], F_SETFD, FD_CLOEXEC);
        ::fcntl(g_SignalPipe[1], F_SETFL, O_NONBLOCK);
        m_Notifier = std::make_unique<QSocketNotifier>(g_SignalPipe[0], QSocketNotifier::Read);
        QObject::connect(m_Notifier.get(), &QSocketNotifier::activated, dialog, [dialog] {
            char buf[16];
            [[maybe_unused]] ssize_t n = ::read(g_SignalPipe[0], buf, sizeof buf);
            CloseForSessionEnd(dialog);
        });
        struct sigaction sa = {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        for (int s : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(s, &sa, nullptr);
    }
    ~CSignalCloser() {
        struct sigaction sa = {};
        sa.sa_handler = SIG_DFL;
        sigemptyset(&sa.sa_mask);
        for (int s : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(s, &sa, nullptr);
        m_Notifier.reset();
        for (int& fd : g_SignalPipe) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }

private:
    std::unique_ptr<QSocketNotifier> m_Notifier;
};
#endif
} // namespace

void CloseForSessionEnd(QDialog* dialog) {
    // A box or dialog of the tool's own that is open in front (a range message, the
    // connection settings) runs a loop of its own: close it too, or the main dialog's loop
    // could only return once somebody clicks it away.
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* other = qobject_cast<QDialog*>(w);
        if (other && other != dialog && other->isVisible())
            other->reject();
    }
    if (dialog)
        dialog->reject();
}

bool HaveDisplay() {
#if defined(_WIN32) || defined(__APPLE__)
    return true;
#else
    auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v && *v;
    };
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const std::string p = platform ? platform : "";
    if (p.rfind("xcb", 0) == 0)
        return set("DISPLAY");
    if (p.rfind("wayland", 0) == 0)
        return set("WAYLAND_DISPLAY");
    if (!p.empty())
        return true; // offscreen, vnc, eglfs, linuxfb ...: no desktop needed
    return set("DISPLAY") || set("WAYLAND_DISPLAY");
#endif
}

const char* NoDisplayText() {
    return "No display: this tool needs a graphical desktop (X11 or Wayland).\n"
           "Without one, run it under a virtual display:\n"
           "    xvfb-run -a <program>\n"
           "or start one yourself (Xvfb :99 &) and set DISPLAY=:99.\n"
           "The vq5 command line does the same work without a display.\n";
}

int RunTool(int argc, char** argv, const char* program, std::function<std::unique_ptr<CToolDialog>()> make) {
    if (!HaveDisplay()) {
        std::fprintf(stderr, "%s: %s", program, NoDisplayText());
        return 2;
    }
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QString::fromLatin1(kOrganisation));
    QCoreApplication::setApplicationName(QString::fromLatin1(program));

    // A settings file QSettings cannot parse is kept aside, not overwritten at exit.
    QString keptAs;
    std::unique_ptr<CQtSettingsStore> storeHolder =
        CQtSettingsStore::ForTool(QString::fromLatin1(program), &keptAs);
    CQtSettingsStore& store = *storeHolder;
    if (!keptAs.isEmpty())
        std::fprintf(stderr,
                     "%s: the settings file %s could not be read as a whole; it is kept as %s and the values "
                     "that could be read are used\n",
                     program, qPrintable(store.FileName()), qPrintable(keptAs));
    else if (store.ReadOnly())
        std::fprintf(stderr,
                     "%s: the settings file %s could not be read as a whole and cannot be kept aside; it is "
                     "left as it is and not written\n",
                     program, qPrintable(store.FileName()));
    SetDefaultSettingsStore(&store);
    {
        std::unique_ptr<CToolDialog> dialog = make();
        if (dialog) {
#if !defined(_WIN32)
            CSignalCloser closer(dialog.get());
#endif
            dialog->exec();
            // The worker stops, the front goes, the sections are written.
            dialog->Shutdown();
        }
        dialog.reset();
    }
    SetDefaultSettingsStore(nullptr);
    store.Sync();
    // A settings folder that cannot be written (a file in its place, no permission): say so
    // rather than lose the settings without a word.
    if (store.Status() == QSettings::AccessError)
        std::fprintf(stderr, "%s: the settings could not be written to %s\n", program,
                     qPrintable(store.FileName()));
    return 0;
}

} // namespace vq5::qt
