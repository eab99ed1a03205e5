// CSimulator: a simulated VQ-5 on a pseudo-terminal (or on a real serial port).
//
// The simulated device is the master of the Velto link: it polls ('P', ADR, ENQ) and selects
// ('S', ADR, ENQ) its one station, address 0xE1, which the PC's engine plays. It answers the
// PC's information frames with ACK or NAK, hands the PC its own messages (replies to device
// commands, inquiries, key presses) through selects, enters and leaves program mode, keeps a
// configuration, counters and I/O lines, and can inject line faults reproducibly.
//
// Typical use in a test:
//     vq5::sim::SimOptions o;  o.versionMajor = 8;  o.versionMinor = 7;  o.letter = 'Q';
//     vq5::sim::CSimulator sim(o);
//     std::string path = sim.Start();     // the slave side the engine opens as its ComPort
//     ... engine.m_ComPort = path; engine.Start(); ...
//     sim.WaitExchanges(sim.Counters().exchanges + 10, std::chrono::seconds(10));
//     vq5::sim::DeviceState s = sim.State();
//     sim.Stop();
//
// The link loop is a step function: Open() then Step() repeatedly runs it without a thread.
#pragma once

#include "DeviceState.h"
#include "Faults.h"
#include "Profile.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vq5::sim {

struct SimOptions {
    unsigned versionMajor = 8; // device version, hexadecimal digits 0..15 each
    unsigned versionMinor = 7;
    char letter = 'Q';                              // the device letter of its replies ('&', letter, ...)
    DeviceProfile profile = DeviceProfile::Default; // what it answers besides queries
    unsigned pollGapMs = 5;                         // pause between two exchanges
    bool pace = false;                              // every byte takes 10 bit times at the current line speed
    std::string faults;     // fault list, e.g. "bytes=0.05" or "drop=0.02,nak=3" (Faults.h)
    std::uint64_t seed = 1; // seeds every random choice (faults, on-board traffic)
    bool log = false;       // every frame both ways with a time stamp (to logSink, else stderr)
    std::function<void(const std::string&)> logSink;

    std::string device;    // drive this existing serial port instead of creating a pseudo-terminal
    int deviceFd = -1;     // or this open file descriptor (not owned, not closed)
    std::string link;      // also make a symbolic link to the pseudo-terminal here (removed at Stop)
    std::string stateFile; // load at start; saved (temp file + rename) after every change

    unsigned answerTimeoutMs = 250; // how long the device waits for the PC's answer
    unsigned lateMs = 500;          // how late a "late" fault answers
    unsigned settleMs = 80;         // pause after a speed change before the next exchange
    unsigned maxRetries = 6;        // resends of one frame after NAK or silence
    bool onboardTraffic = true;     // inquiries and key presses now and then outside program mode
    bool holdLines = false;         // input and output lines stay as they are at start
    unsigned onboardPeriodMs = 2500;
};

// What the link has done. Frames are information frames.
struct LinkCounters {
    std::uint64_t exchanges = 0; // polls and selects sent
    std::uint64_t polls = 0;
    std::uint64_t selects = 0;
    std::uint64_t messagesTaken = 0;     // PC messages taken (each once; repeats not counted)
    std::uint64_t repeatsIgnored = 0;    // PC frames recognised as a repeat of one already taken
    std::uint64_t messagesDelivered = 0; // device messages the PC acknowledged
    std::uint64_t framesSent = 0;        // information frames written (resends included)
    std::uint64_t naksSent = 0;
    std::uint64_t naksReceived = 0;
    std::uint64_t silences = 0;    // answers that did not come within the time-out
    std::uint64_t bytesOut = 0;    // bytes written to the line (frames, fillers and noise)
    std::uint64_t fillerBytes = 0; // of these, bytes sent to end a frame the PC may be stuck in
    std::uint64_t bytesIn = 0;     // bytes read from the line
    double wireSeconds = 0;        // sum of 10 bit times of every byte, both ways, at its speed
    std::uint64_t faultsInjected = 0;
};

class CLink;
class CLinePort;
class CSimDevice;
struct SimShared;

class CSimulator {
public:
    explicit CSimulator(SimOptions options = {});
    ~CSimulator(); // stops the thread and closes the line
    CSimulator(const CSimulator&) = delete;
    CSimulator& operator=(const CSimulator&) = delete;

    // Opens the line (creates the pseudo-terminal, or opens --device) and starts the link
    // thread. Returns the path the engine opens (the pty's slave, or the device path); empty
    // on failure, with Error() telling why.
    std::string Start();
    // Stops the thread, closes the line, removes the link. Safe to call twice.
    void Stop();
    bool Running() const;
    std::string Error() const;

    // Without a thread: Open() then Step() as often as wanted (one exchange per Step).
    std::string Open();
    bool Step(); // false when the line is closed or failed
    void Close();

    std::string SlavePath() const;

    // The device's state, a copy; SetState replaces it (and saves it when a state file is set).
    DeviceState State() const;
    void SetState(const DeviceState& state);
    LinkCounters Counters() const;

    // Messages the device took from the PC (in order, repeats not included) and messages the
    // PC acknowledged from the device (in order). Kept up to 100000 each.
    std::vector<std::string> Taken() const;
    std::vector<std::string> Delivered() const;

    // The program-mode exits ("&?X", "&?X0", "&?XR") the device has taken.
    std::size_t ExitsTaken() const;
    // A program-mode batch is over for a PC that has handled `handled` of the device's
    // messages: the device has taken more than `exitsBefore` exits, is out of program mode,
    // and has no message left for the PC that the PC has not handled. Relies on no answer to
    // a set, so it holds for every profile.
    bool BatchDone(std::size_t exitsBefore, std::uint64_t handled) const;

    // Queues a message for the PC (sent through a select), as if the device had produced it.
    void QueueToPc(const std::string& text);
    std::size_t PendingToPc() const;

    // Waits until the total number of exchanges reaches `total`; false at the time-out.
    bool WaitExchanges(std::uint64_t total, std::chrono::milliseconds timeout);
    // Waits until the predicate, tested after every exchange and state change, holds.
    bool WaitUntil(const std::function<bool(const DeviceState&, const LinkCounters&)>& done,
                   std::chrono::milliseconds timeout);

    // The device's current line speed, and the PC's as its termios carries it on a
    // pseudo-terminal (0 when it cannot be read).
    int CurrentBaud() const;
    int PeerBaud() const;

    const SimOptions& Options() const { return m_Options; }

private:
    void ThreadMain();
    void Changed(); // wakes waiters
    void Save(const DeviceState& state);

    SimOptions m_Options;
    std::unique_ptr<CSimDevice> m_Device;
    std::unique_ptr<CLinePort> m_Port;
    std::unique_ptr<SimShared> m_Shared;
    std::unique_ptr<CLink> m_Link;
    std::thread m_Thread;
    std::atomic<bool> m_Run{false};
    std::condition_variable m_ChangedCv; // waits on m_Shared->lock

    mutable std::mutex m_Lock; // guards m_Error, m_Path, m_LinkMade
    std::string m_Error;
    std::string m_Path;
    bool m_LinkMade = false;
    bool m_SaveErrorShown = false;
};

} // namespace vq5::sim
