// A tool program started by a QtTest as a process of its own: its environment (a settings
// folder of its own, the offscreen platform or none) and its end on a session end.
#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

#include <csignal>

namespace vq5::test {

// The test's environment without a display, with `config` as XDG_CONFIG_HOME; with `display`
// the offscreen platform.
inline QProcessEnvironment ToolEnvironment(const QString& config, bool display = true) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    if (display)
        env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", config);
    return env;
}

// Starts the tool program at `path` in that environment; false when it did not start in time.
inline bool StartTool(QProcess& tool, const QString& path, const QString& config, bool display = true,
                      int waitMs = 10000) {
    tool.setProcessEnvironment(ToolEnvironment(config, display));
    tool.start(path, {});
    return tool.waitForStarted(waitMs);
}

// Sends SIGTERM and waits up to `waitMs` for the end; the time it took, or -1 when it did not end.
inline qint64 Terminate(QProcess& tool, int waitMs) {
    QElapsedTimer t;
    t.start();
    ::kill(static_cast<pid_t>(tool.processId()), SIGTERM);
    if (!tool.waitForFinished(waitMs))
        return -1;
    return t.elapsed();
}

} // namespace vq5::test
