// CLink: the master side of the Velto link, as the simulated device runs it. One Step is one
// exchange: a poll ('P', ADR, ENQ), after which the PC answers with EOT or an information
// frame, or a select ('S', ADR, ENQ), after which the PC acknowledges and takes the device's
// next message.
//
// What the device knows about the PC decides its next move, so that every message crosses
// exactly once although bytes on the way to the PC may be damaged, dropped or noisy:
//  - A frame of the PC is taken once. After the device's ACK the PC ends the turn with EOT;
//    when the EOT does not come, the PC did not see the ACK and sends the same frame again at
//    the next poll, which the device acknowledges without taking it a second time.
//  - A message of the device is delivered when the PC acknowledges its information frame; a
//    frame the PC does not acknowledge is sent again (bounded) while the PC still waits in
//    its select. A select the device gives up is ended with EOT before the next poll.
//  - An answer that does not come is only judged after the PC has read every byte the device
//    wrote (pseudo-terminal), so a PC that pauses is not taken for a silent one.
#pragma once

#include "Faults.h"
#include "LinePort.h"
#include "SimDevice.h"
#include "Simulator.h"

#include "FrameCodec.h"

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vq5::sim {

// Everything the link shares with the simulator's users; guarded by `lock`.
struct SimShared {
    std::mutex lock;
    CSimDevice* device = nullptr;
    LinkCounters counters;
    std::deque<std::string> toPc;
    std::vector<std::string> taken;
    std::vector<std::string> delivered;
};

// A frame read from the PC.
struct RxFrame {
    FrameType type = FrameType::timeout; // eot, ack, nak, info, crcerror, noframe (junk), timeout, error
    std::string text;                    // info: the payload
    std::vector<unsigned char> raw;
};

class CLink {
public:
    CLink(const SimOptions& options, CLinePort& port, SimShared& shared, FaultPlan plan);

    // One exchange. False when the line failed or the port was interrupted.
    bool Step();

    // Called after every change of state or counters (the simulator wakes its waiters).
    std::function<void()> onChange;
    // Called with the device state after it changed (the simulator saves it).
    std::function<void(const DeviceState&)> onStateChanged;

private:
    void PollExchange();
    void SelectExchange();
    void AbortSelect();
    void Unstick();
    void HandlePollAnswer(const RxFrame& r);
    void TakeFrame(std::string text);
    void SendMessage();
    void Deliver(const std::string& text);
    void ConfirmTaken();

    // Writes a frame, with byte faults when asked; `payload` names an information frame's
    // text, so damage that would read as another good frame can be left out.
    bool Send(const std::vector<unsigned char>& bytes, const char* what, bool faults = true,
              const std::string* payload = nullptr);
    bool SendControl(FrameType type);
    bool SendAck();
    bool SendInfo(const std::string& text);
    RxFrame ReadAnswer();
    RxFrame ReadFrame(int timeoutMs);
    void Log(const char* dir, const std::string& what, const std::vector<unsigned char>& bytes);
    void Count(const std::function<void(LinkCounters&)>& f);
    std::uint64_t DeliveredCount();
    void ApplySpeed(int index);

    const SimOptions& m_Options;
    CLinePort& m_Port;
    SimShared& m_Shared;
    CFaultInjector m_Faults;
    CLinePort::Clock::time_point m_Start;

    // Where the device believes the PC stands; changed only through SetPc.
    enum class PcState {
        Idle,                // waits for a poll or a select
        MayBeInSelect,       // may wait in a select for a frame (answers no poll)
        SelectGivenUp,       // as MayBeInSelect, after the device gave up on its frame: an ACK
                             // among the late bytes still delivers it
        WaitsForAnswer,      // waits for the ACK or NAK of its own frame (a poll ends that quietly)
        SelectEndUnverified, // a select was ended with EOT and the PC has not answered since
    };
    void SetPc(PcState next);
    void PcSilent(); // the PC let an answer time pass

    PcState m_Pc = PcState::Idle;
    bool m_ExpectRepeat = false; // the PC did not see the ACK of m_LastTaken: it comes again
    std::string m_LastTaken;
    int m_PendingSpeed = -1;         // line speed step to take once the PC has seen the ACK
    bool m_Settle = false;           // a speed change was just made
    int m_FailedSelects = 0;         // selects in a row that delivered nothing
    bool m_SelectWentSilent = false; // the last select got no answer in time (it may come late)
};

} // namespace vq5::sim
