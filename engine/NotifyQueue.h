// CNotifyQueue: a notification sink that keeps what is posted until the owner takes it.
// Post may be called on any thread and returns at once; Wait takes the oldest notification.
// Used by the command line and by tests that drive an engine.
#pragma once

#include "Notify.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace vq5 {

class CNotifyQueue : public INotifySink {
public:
    void Post(Notification n) override {
        {
            std::lock_guard<std::mutex> lock(m_Lock);
            m_Items.push_back(std::move(n));
        }
        m_Ready.notify_all();
    }

    // Takes the oldest notification; false when none came within `timeout`.
    bool Wait(Notification& out, std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(m_Lock);
        if (!m_Ready.wait_for(lock, timeout, [this] { return !m_Items.empty(); }))
            return false;
        out = std::move(m_Items.front());
        m_Items.pop_front();
        return true;
    }

    // Takes notifications until one of this kind (and, when value >= 0, this value) comes;
    // the ones passed over are appended to `skipped` when given. False at the time-out.
    bool WaitFor(int kind, long value, std::chrono::milliseconds timeout, Notification* found = nullptr,
                 std::deque<Notification>* skipped = nullptr) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            Notification n;
            if (left.count() < 0 || !Wait(n, left))
                return false;
            if (n.kind == kind && (value < 0 || n.value == value)) {
                if (found)
                    *found = std::move(n);
                return true;
            }
            if (skipped)
                skipped->push_back(std::move(n));
        }
    }

    bool TryTake(Notification& out) { return Wait(out, std::chrono::milliseconds(0)); }

    std::size_t Size() const {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_Items.size();
    }

    void Clear() {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Items.clear();
    }

private:
    mutable std::mutex m_Lock; // guards m_Items
    std::condition_variable m_Ready;
    std::deque<Notification> m_Items;
};

} // namespace vq5
