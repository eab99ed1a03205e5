// The protocol engine (CVLPEngine) on the slave side of a simulator's pseudo-terminal, with
// its notifications collected.
#pragma once

#include "NotifyQueue.h"
#include "SettingsStore.h"
#include "Simulator.h"
#include "VLPEngine.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace vq5::simtest {

class CEngineOnSim {
public:
    CEngineOnSim(const sim::SimOptions& options, int fastIndex = 0, unsigned engineTimeoutMs = 2000);
    ~CEngineOnSim();

    // Takes notifications until the program-mode exit (kind 5, value 0) has come; returns
    // false at the time-out. Received texts (kind 1) are appended to
    // `received`, link statuses to `statuses`.
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

private:
    void Take(const Notification& n, bool& exitSeen, bool& emptySeen);
};

} // namespace vq5::simtest
