// The frames of the Velto link, as pure functions shared by the engine and the simulated
// device. The device is the master: it polls ('P', ADR, ENQ) and selects ('S', ADR, ENQ)
// its one station, address 0xE1; information frames carry one text message and two XOR
// check bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vq5 {

inline constexpr unsigned char NUL = 0x00, SOH = 0x01, STX = 0x02, ETX = 0x03, EOT = 0x04, ENQ = 0x05,
                               ACK = 0x06, NAK = 0x15, ADR = 0xE1;

// The kinds of frame the PC side tells apart; scoped, so that `poll`, `select`, `error` and
// `timeout` leave the system's functions of those names visible.
enum class FrameType : int {
    noframe = 0,
    eot = 1,
    ack = 2,
    nak = 3,
    poll = 4,
    select = 5,
    info = 6,
    error = 7,
    timeout = 8,
    crcerror = 9,
};

// "noframe", "eot", ... indexed by FrameType; out of range gives "ERROR".
const char* FrameTypeName(int type);
inline const char* FrameTypeName(FrameType type) {
    return FrameTypeName(static_cast<int>(type));
}

struct CheckBytes {
    unsigned char c1;
    unsigned char c2;
};

// Two accumulators A = block, B = length; for each payload byte d: (A, B) := (B, A ^ d);
// C1 = B, C2 = A.
CheckBytes ComputeCheckBytes(unsigned char block, const unsigned char* payload, std::size_t length);

// The bytes of a control frame (eot, ack, nak, poll, select); empty for any other type.
std::vector<unsigned char> ControlFrameBytes(FrameType type);

// A whole information frame: SOH ADR STX block L payload ETX C1 C2. Length must be <= 255.
std::vector<unsigned char> InfoFrameBytes(const unsigned char* payload, std::size_t length,
                                          unsigned char block = 0);
std::vector<unsigned char> InfoFrameBytes(const std::string& payload, unsigned char block = 0);

} // namespace vq5
