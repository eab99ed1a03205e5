// The frames of the Velto link: the one encoder and decoder of the engine, the simulated
// device, the benchmarks, the fuzzers and the tests. The device is the master: it polls
// ('P', ADR, ENQ) and selects ('S', ADR, ENQ) its one station, address 0xE1; information
// frames carry one text message and two XOR check bytes.
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
// Numbered from 0 (noframe) in this order.
enum class FrameType : int { noframe, eot, ack, nak, poll, select, info, error, timeout, crcerror };

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

// Which end of the link reads the frames.
//  - Pc: the device's frames (poll, select, ACK, NAK, EOT, information). The ETX position is
//    not checked; a wrong C1 ends the frame at once as crcerror (C2 stays for the next frame).
//    A time-out or failure inside the head of a frame gives noframe; inside an information
//    frame's body it gives crcerror (time-out) or error (failure), keeping what was read.
//  - Device: the PC's frames (ACK, NAK, EOT, information; 'P' and 'S' start nothing). The ETX
//    position must hold ETX and both check bytes are read before the frame is judged. A
//    time-out inside a frame gives noframe, a failure error.
enum class FrameSide { Pc, Device };

struct DecodedFrame {
    FrameType type = FrameType::noframe;
    unsigned char block = 0;
    bool hasBody = false;           // SOH ADR STX was read: `payload` holds what followed
    bool junk = false;              // one byte that starts no frame (noframe)
    std::string payload;            // info and crcerror: the payload as read
    std::vector<unsigned char> raw; // every byte the frame took
};

// The incremental decoder: bytes go in one at a time as they arrive, whole frames come out.
// Nothing is pushed back: the byte that breaks an expected sequence belongs to the frame it
// broke.
class CFrameDecoder {
public:
    explicit CFrameDecoder(FrameSide side) : m_Side(side) {}

    // Takes one byte; true when it completed a frame, which Frame() then holds (until the next
    // Feed starts another).
    bool Feed(unsigned char byte);
    // Takes a run of bytes as they came; returns the frames they completed, in order.
    std::vector<DecodedFrame> Feed(const std::vector<unsigned char>& bytes);
    // The line went quiet (`failed` false) or failed while waiting for the next byte: ends the
    // frame in progress (between frames: timeout or error) and returns it.
    const DecodedFrame& Interrupt(bool failed);
    // Reads through `next` (a byte, -2 for a time-out, -1 for a failure) until one frame is
    // complete or interrupted.
    template <typename Next> const DecodedFrame& Read(Next&& next) {
        for (;;) {
            const int b = next();
            if (b < 0)
                return Interrupt(b == -1);
            if (Feed(static_cast<unsigned char>(b)))
                return m_Frame;
        }
    }

    // True between frames: no byte of the next frame has been taken yet.
    bool Idle() const { return m_State == State::Start; }
    const DecodedFrame& Frame() const { return m_Frame; }

private:
    enum class State {
        Start,
        AfterNul,
        AfterLetter,
        AfterLetterAdr,
        AfterAdr,
        AfterSoh,
        AfterSohAdr,
        Block,
        Length,
        Payload,
        Etx,
        C1,
        C2
    };
    void Begin();
    const DecodedFrame& Finish(FrameType type);

    FrameSide m_Side;
    State m_State = State::Start;
    DecodedFrame m_Frame;
    unsigned char m_Letter = 0;
    std::size_t m_Length = 0;
    CheckBytes m_Check{0, 0};
    bool m_EtxOk = true;
    bool m_C1Ok = true;
};

} // namespace vq5
