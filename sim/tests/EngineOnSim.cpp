#include "EngineOnSim.h"

#include <gtest/gtest.h>

namespace vq5::simtest {

CEngineOnSim::CEngineOnSim(const sim::SimOptions& options, int fastIndex, unsigned engineTimeoutMs)
    : sim(options) {
    path = sim.Start();
    EXPECT_FALSE(path.empty()) << sim.Error();
    store.WriteString("VLPIO", "ComPort", path);
    store.WriteInt("VLPIO", "Timeout", engineTimeoutMs);
    store.WriteInt("VLPIO", "FastBaudRate", fastIndex);
    engine = std::make_unique<CVLPEngine>(&store);
    engine->SetNotifySink(&queue);
    engine->SetUserMessages(&messages);
    engine->Start();
}

CEngineOnSim::~CEngineOnSim() {
    engine.reset();
    sim.Stop();
}

void CEngineOnSim::Take(const Notification& n, bool& exitSeen, bool& emptySeen) {
    if (n.kind == nkReceived)
        received.push_back(n.text);
    else if (n.kind == nkLinkStatus)
        statuses.push_back(static_cast<int>(n.value));
    else if (n.kind == nkIdent && n.value == 0)
        exitSeen = true;
    else if (n.kind == nkQueueEmpty)
        emptySeen = true;
}

bool CEngineOnSim::RunUntilExit(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    bool exitSeen = false, emptySeen = false;
    // The exit is the last message of a sequence: its reply ends the run.
    while (!exitSeen) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        Notification n;
        if (left.count() <= 0 || !queue.Wait(n, left))
            return false;
        Take(n, exitSeen, emptySeen);
    }
    return true;
}

bool CEngineOnSim::WaitReceived(const std::string& text, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    bool a = false, b = false;
    for (;;) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        Notification n;
        if (left.count() <= 0 || !queue.Wait(n, left))
            return false;
        Take(n, a, b);
        if (n.kind == nkReceived && n.text == text)
            return true;
    }
}

} // namespace vq5::simtest
