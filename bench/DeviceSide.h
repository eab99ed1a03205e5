// The device's side of a link for the benchmarks: a pseudo-terminal for the engine and a
// minimal link master that plays the device and time-stamps the exchanges.
#pragma once

#include "FrameCodec.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace vq5::bench {

// ---- pseudo-terminal ------------------------------------------------------------------

// A raw pseudo-terminal pair: the bench plays the device on the master side; the engine
// opens SlavePath(). The slave is kept open here too, so the line stays up while the
// engine closes and reopens it.
class CPty {
public:
    CPty() = default;
    ~CPty();
    CPty(const CPty&) = delete;
    CPty& operator=(const CPty&) = delete;
    bool Open(std::string& error);
    void Close();
    int Master() const { return m_Master; }
    const std::string& SlavePath() const { return m_SlavePath; }

private:
    int m_Master = -1;
    int m_Slave = -1;
    std::string m_SlavePath;
};

// ---- the minimal master ---------------------------------------------------------------

// Plays the device on a file descriptor: writes polls and selects, reads the PC's frames.
// Every frame it writes goes out in one write call; the time stamp of a write is taken
// just before the call (so the figure includes the call), the time stamp of a frame read
// just after the read call that delivered its first byte.
class CMiniMaster {
public:
    explicit CMiniMaster(int fd) : m_Fd(fd) {}

    struct Frame {
        FrameType type = FrameType::noframe; // eot, ack, nak, info, crcerror, noframe, timeout, error
        std::string text;                    // payload of an info frame
        std::int64_t firstByteNs = 0;
    };
    // Reads one frame of the PC; timeout when no first byte comes within timeoutMs, noframe
    // when a frame breaks off (its rest does not come within timeoutMs) or is not one the
    // PC sends.
    Frame ReadFrame(int timeoutMs);
    // Writes the bytes in one call; returns the time stamp taken just before it (0 on failure).
    std::int64_t Write(const std::vector<unsigned char>& bytes);

    struct Exchange {
        bool ok = false;
        std::int64_t answerNs = -1;   // poll/select written -> first byte of the PC's answer
        std::int64_t frameAckNs = -1; // select: our info frame written -> first byte of the PC's ACK
        std::int64_t eotNs = -1;      // poll with a frame: our ACK written -> first byte of the PC's EOT
        std::string text;             // poll: the PC's message (empty for EOT)
        std::string failure;          // what went wrong when !ok
    };
    // Poll: EOT, or an information frame that is acknowledged, after which the PC's EOT is read.
    Exchange Poll(int timeoutMs);
    // Select: the PC's ACK, then the text as an information frame and the PC's ACK of it.
    Exchange Select(const std::string& text, int timeoutMs);

    // Drops whatever the PC sent and nobody read (after a failed exchange).
    void Discard();

    // Pacing at a line speed (0 = off): every byte takes 10 bit times on the wire, both ways,
    // one after the other (half duplex). A byte the master writes leaves at the end of its
    // time; a frame of the PC counts as read at the end of its last byte's time, and the
    // master answers no earlier. WireSeconds() sums the time of every byte.
    void SetPace(int baud) { m_PaceNs = baud > 0 ? 10'000'000'000LL / baud : 0; }
    double WireSeconds() const { return static_cast<double>(m_WireNs) / 1e9; }

private:
    int NextByte(int timeoutMs, std::int64_t* stamp); // -2 time-out, -1 failure
    Frame ReadFrameBody(int timeoutMs);
    // One step of an exchange: writes the bytes, reads the PC's answer and, when its type is one
    // of `expected`, stores the time from just before the write to its first byte in `ns`;
    // false with the failure in `x` otherwise.
    bool Step(Exchange& x, const std::vector<unsigned char>& bytes, const char* what, int timeoutMs,
              std::initializer_list<FrameType> expected, Frame& answer, std::int64_t& ns);
    bool WriteAll(const unsigned char* bytes, std::size_t count);
    void PaceReadByte(std::int64_t arrivedNs);
    void WaitWireFree();
    int m_Fd;
    std::int64_t m_PaceNs = 0;   // one byte's time on the wire, 0 without pacing
    std::int64_t m_WireFree = 0; // when the wire is free again
    std::int64_t m_WireNs = 0;
    std::int64_t m_ReadAt = 0; // when the buffered bytes were read
    unsigned char m_Buf[512] = {};
    std::size_t m_Pos = 0, m_End = 0;
};

} // namespace vq5::bench
