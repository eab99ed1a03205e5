// The command line on POSIX: SIGINT and SIGTERM through sigwait on a thread of its own.
#include "CliSupport.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <ctime>
#include <thread>

namespace vq5::cli {

struct CStopSignals::Impl {
    sigset_t set;
    sigset_t old;
    std::atomic<bool> leaving{false};
    std::thread thread;
};

CStopSignals::CStopSignals(CNotifyQueue& queue) : m_Impl(std::make_unique<Impl>()) {
    sigemptyset(&m_Impl->set);
    sigaddset(&m_Impl->set, SIGINT);
    sigaddset(&m_Impl->set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &m_Impl->set, &m_Impl->old);
    m_Impl->thread = std::thread([this, &queue] {
        int sig = 0;
        sigwait(&m_Impl->set, &sig);
        if (!m_Impl->leaving)
            queue.Post(Notification{kStopKind, sig, {}});
    });
}

CStopSignals::~CStopSignals() {
    m_Impl->leaving = true;
    pthread_kill(m_Impl->thread.native_handle(), SIGTERM); // wakes the waiter if it still waits
    m_Impl->thread.join();
    // A signal that came meanwhile is taken here, so it cannot end the process later.
    timespec zero{0, 0};
    while (sigtimedwait(&m_Impl->set, nullptr, &zero) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &m_Impl->old, nullptr);
}

void PrepareStdStreams() {}

} // namespace vq5::cli
