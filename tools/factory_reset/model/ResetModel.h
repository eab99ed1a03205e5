// The factory reset tool's logic, apart from its window: one click queues the whole
// sequence ("$PRG", the gated speed change when a fast speed is configured, "&PFE1", "&PXR"),
// and "&Reset" stays disabled until the engine reports the queue empty.
#pragma once

#include "Notify.h"

#include <string>
#include <vector>

namespace vq5 {
class CVLPMsg;
}

namespace vq5::factory_reset {

class CResetModel {
public:
    explicit CResetModel(CVLPMsg& engine) : m_Engine(engine) {}

    // Whether "&Reset" is enabled.
    bool ResetEnabled() const { return !m_Busy; }

    // "&Reset": program-mode entry (with the speed change when configured), the
    // clear-configuration flag, the exit with reboot. Returns the texts queued between entry
    // and exit (the flag); while a sequence is still draining nothing is queued and none.
    std::vector<std::string> Reset();

    // Kind 1: the received text is dropped unseen; kind 3 (queue ran empty): "&Reset" comes
    // back; other kinds are ignored. Returns true when "&Reset" changed state.
    bool OnNotify(const Notification& n);

    // The texts one click queues, as queued (gate in front of the speed change), for a fast
    // speed index (1..5: with the speed change).
    static std::vector<std::string> Sequence(int fastBaudRate);

private:
    CVLPMsg& m_Engine;
    bool m_Busy = false;
};

} // namespace vq5::factory_reset
