// Helpers for the Qt front tests: a watchdog that bounds a step that could hang, finding
// the message boxes on screen, and waiting on a thread's result with a time-out.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace vq5::qt::test {

using namespace std::chrono_literals;

// Generous waits for things that take milliseconds (a loaded machine runs tests in parallel).
inline constexpr int kLongMs = 10000;

// Ends the process with a message when not disarmed in time: a deadlock fails the test
// instead of hanging it.
class CWatchdog {
public:
    explicit CWatchdog(const char* what, std::chrono::milliseconds limit = 30s) : m_What(what) {
        m_Thread = std::thread([this, limit] {
            std::unique_lock<std::mutex> lk(m_Lock);
            if (!m_Cv.wait_for(lk, limit, [this] { return m_Done; })) {
                std::fprintf(stderr, "FAIL: watchdog: %s did not finish in time\n", m_What);
                std::fflush(stderr);
                std::_Exit(3);
            }
        });
    }
    ~CWatchdog() {
        {
            std::lock_guard<std::mutex> g(m_Lock);
            m_Done = true;
        }
        m_Cv.notify_all();
        m_Thread.join();
    }

private:
    const char* m_What;
    std::mutex m_Lock;
    std::condition_variable m_Cv;
    bool m_Done = false;
    std::thread m_Thread;
};

// The visible message boxes.
inline QList<QMessageBox*> VisibleBoxes() {
    QList<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible())
            boxes << box;
    return boxes;
}

// Runs `action` from the event loop as soon as `ready` holds (checked every 10 ms), also
// inside a nested loop such as a modal box's. Gives up after kLongMs.
inline void WhenReady(std::function<bool()> ready, std::function<void()> action) {
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout,
                     [timer, clock, ready = std::move(ready), action = std::move(action)] {
                         if (ready()) {
                             timer->stop();
                             timer->deleteLater();
                             delete clock;
                             action();
                         } else if (clock->elapsed() > kLongMs) {
                             timer->stop();
                             timer->deleteLater();
                             delete clock;
                         }
                     });
    timer->start();
}

// Processes events until `done` holds or kLongMs passed; returns `done()`.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = kLongMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

} // namespace vq5::qt::test
