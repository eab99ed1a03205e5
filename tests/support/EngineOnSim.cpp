#include "EngineOnSim.h"
#include "PtyHelpers.h"

namespace vq5::test {

CEngineOnSim::CEngineOnSim(const sim::SimOptions& options, int fastIndex, unsigned engineTimeoutMs,
                           const EngineMaker& make)
    : sim(options) {
    path = sim.Start();
    ConnectTo(store, path, fastIndex, static_cast<int>(engineTimeoutMs));
    engine = make ? make(&store) : std::make_unique<CVLPEngine>(&store);
    engine->SetNotifySink(&queue);
    engine->SetUserMessages(&messages);
    engine->Start();
}

CEngineOnSim::~CEngineOnSim() {
    engine.reset();
    sim.Stop();
}

void CEngineOnSim::Take(const Notification& n) {
    if (n.kind == nkReceived)
        received.push_back(n.text);
    else if (n.kind == nkLinkStatus)
        statuses.push_back(static_cast<int>(n.value));
    else if (n.kind == nkIdent && n.value == 0)
        exitSeen = true;
}

bool CEngineOnSim::TakeUntil(const std::function<bool(const Notification&)>& done,
                             std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        Notification n;
        if (left.count() <= 0 || !queue.Wait(n, left))
            return false;
        Take(n);
        if (done(n))
            return true;
    }
}

bool CEngineOnSim::RunUntilExit(std::chrono::milliseconds timeout) {
    // The exit is the last message of a sequence: its reply ends the run.
    exitSeen = false;
    return TakeUntil([this](const Notification&) { return exitSeen; }, timeout);
}

bool CEngineOnSim::WaitReceived(const std::string& text, std::chrono::milliseconds timeout) {
    return TakeUntil([&text](const Notification& n) { return n.kind == nkReceived && n.text == text; },
                     timeout);
}

} // namespace vq5::test
