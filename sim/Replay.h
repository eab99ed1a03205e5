// CReplayDevice: plays the device's side of a link capture back against a PC, at the
// capture's timing, and tells each place where the PC's answer differs from the recorded one.
//
// The capture alternates runs of device bytes and PC bytes. Each device run is written after
// the pause it had in the capture (counted from the end of the PC's answer before it); then
// the PC's answer is read and compared byte for byte with the recorded one. Polls answered with
// EOT at the start of the capture are left out (they only tell how long the tool took to
// start), and the first exchange is offered again while the PC has not opened the port or
// answers it with EOT (it has nothing to say yet), for up to the start wait. When the PC goes
// away before the capture ends, the rest is only a difference if the PC had more to say in
// it than EOT.
#pragma once

#include "LinePort.h"
#include "PcapCapture.h"

#include <functional>
#include <string>
#include <vector>

namespace vq5::sim {

struct ReplayDifference {
    std::size_t exchange = 0; // 1-based index of the device run the answer belongs to
    double atS = 0;           // its time in the capture, seconds from the first record
    std::string device;       // what the device sent (trace text)
    std::string recorded;     // the PC's answer in the capture
    std::string got;          // the PC's answer now
};

struct ReplayResult {
    std::size_t exchanges = 0; // device runs played
    std::size_t total = 0;     // device runs in the capture
    bool pcLeft = false;       // the PC stopped reading before the end
    bool started = false;      // a PC read the first run
    std::vector<ReplayDifference> differences;
};

struct ReplayTurn {
    std::int64_t deviceUs = 0; // time of the device run
    std::vector<unsigned char> device;
    std::int64_t answerUs = 0; // time of the PC's answer (its last byte in answerEndUs)
    std::int64_t answerEndUs = 0;
    std::vector<unsigned char> answer; // empty: the PC said nothing before the next device run
};

// Pairs each device run with the PC bytes that followed it. Speed changes are skipped (a
// pseudo-terminal carries bytes at any speed).
std::vector<ReplayTurn> ReplayTurns(const std::vector<CaptureRecord>& records);

class CReplayDevice {
public:
    CReplayDevice(CLinePort& port, std::vector<ReplayTurn> turns) : m_Port(port), m_Turns(std::move(turns)) {}
    // Plays to the end, or until the PC has gone, or Interrupt on the port. `startWaitMs`
    // bounds the wait for a PC to read the first run. `report` is called with each
    // difference as it is found.
    ReplayResult Play(int startWaitMs, const std::function<void(const ReplayDifference&)>& report);

private:
    std::vector<unsigned char> ReadAnswer(std::size_t expected, int firstByteMs, int afterMs);

    CLinePort& m_Port;
    std::vector<ReplayTurn> m_Turns;
};

} // namespace vq5::sim
