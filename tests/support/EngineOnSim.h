// The protocol engine (CVLPEngine, or a class of the caller's made on the same store) on the
// slave side of a simulator's pseudo-terminal, with its notifications collected.
#pragma once

#include "NotifyQueue.h"
#include "SettingsStore.h"
#include "Simulator.h"
#include "VLPEngine.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vq5::test {

class CEngineOnSim {
public:
    using EngineMaker = std::function<std::unique_ptr<CVLPEngine>(CMemoryStore*)>;

    // Starts the simulator, names its port in the store ("VLPIO": "ComPort", "Timeout",
    // "FastBaudRate"), makes the engine with `make` (a plain CVLPEngine when empty), attaches
    // the queue and the messages and starts it. Started() is false when the simulator did not
    // start (sim.Error() says why).
    explicit CEngineOnSim(const sim::SimOptions& options, int fastIndex = 0, unsigned engineTimeoutMs = 2000,
                          const EngineMaker& make = {});
    ~CEngineOnSim();
    CEngineOnSim(const CEngineOnSim&) = delete;
    CEngineOnSim& operator=(const CEngineOnSim&) = delete;

    bool Started() const { return !path.empty(); }

    // Notes one notification: a kind 1 text in `received`, a link status in `statuses`, the
    // program-mode exit (kind 5, value 0) in `exitSeen`.
    void Take(const Notification& n);
    // Takes notifications until the program-mode exit has come; false at the time-out.
    bool RunUntilExit(std::chrono::milliseconds timeout);
    // Takes notifications until a kind 1 text equal to `text` came.
    bool WaitReceived(const std::string& text, std::chrono::milliseconds timeout);

    sim::CSimulator sim;
    std::string path;
    CMemoryStore store;
    CNotifyQueue queue;
    CStderrMessages messages;
    std::unique_ptr<CVLPEngine> engine;
    std::vector<std::string> received;
    std::vector<int> statuses;
    bool exitSeen = false;

private:
    // Takes notifications until `done` holds after one; false at the time-out.
    bool TakeUntil(const std::function<bool(const Notification&)>& done, std::chrono::milliseconds timeout);
};

} // namespace vq5::test
