// Waits on a condition with a deadline, for tests that would otherwise sleep a fixed time.
#pragma once

#include <chrono>
#include <thread>

namespace vq5::test {

// Checks `done` every `step` until it holds (true) or `timeout` has passed (false: one last
// look decides).
template <class Pred>
bool WaitFor(Pred done, std::chrono::milliseconds timeout,
             std::chrono::milliseconds step = std::chrono::milliseconds(5)) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until)
            return done();
        std::this_thread::sleep_for(step);
    }
    return true;
}

} // namespace vq5::test
