// CLinePort: the simulated device's end of the serial line. Either a pseudo-terminal it
// creates (the engine opens the slave side) or an existing serial port / file descriptor.
//
// With pacing on, every byte takes 10 bit times at the current line speed, both ways: a
// byte the device writes leaves at the end of its time on the wire, and a byte from the PC is
// handed over at the end of its own. The line is half duplex, so both share one wire clock.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vq5::sim {

class CLinePort {
public:
    using Clock = std::chrono::steady_clock;

    CLinePort();
    ~CLinePort();
    CLinePort(const CLinePort&) = delete;
    CLinePort& operator=(const CLinePort&) = delete;

    // Creates a pseudo-terminal (both sides raw, 1200 baud) and keeps both sides open; the
    // slave side's path is what the engine opens.
    bool OpenPty(std::string& slavePath, std::string& error);
    // Opens an existing serial port: raw 8N1, 1200 baud, no flow control.
    bool OpenDevice(const std::string& path, std::string& error);
    // Uses an open descriptor (not closed by Close).
    bool AttachFd(int fd, std::string& error);
    void Close();
    bool IsOpen() const { return m_Fd.load() >= 0; }
    bool IsPty() const { return m_SlaveFd.load() >= 0; }

    // One byte: 0..255, -2 when none came within timeoutMs, -1 when the line failed or the
    // port was interrupted.
    int ReadByte(int timeoutMs);
    // Writes bytes one at a time (paced when pacing is on); false when the line failed.
    bool Write(const std::vector<unsigned char>& bytes);
    // Reads and returns whatever is waiting now, without waiting.
    std::vector<unsigned char> Discard();
    // Pseudo-terminal only: waits (at most maxMs) until the PC has read every byte the device
    // wrote, so a slow or sleeping PC is not taken for a silent one. True when it has.
    // When the PC reads nothing for stallMs it is taken to be away: what it did not read is
    // flushed (like bytes sent down an unplugged cable) and the result is false.
    bool WaitPeerRead(int stallMs);

    // The device's line speed. On a real port the port is switched; on a pseudo-terminal the
    // speed only paces the bytes (the PC's own termios speed is PeerBaud).
    void SetBaud(int baud);
    int Baud() const { return m_Baud.load(); }
    int PeerBaud() const;

    void SetPace(bool pace) { m_Pace = pace; }
    // Sleeps, returning early (false) when interrupted.
    bool Sleep(int ms);
    // Makes every wait return at once, now and later (stop).
    void Interrupt();
    void ClearInterrupt();
    bool Interrupted() const;

    // 10 bit times of one byte at the current speed, in seconds.
    double ByteSeconds() const { return 10.0 / (m_Baud.load() > 0 ? m_Baud.load() : 1200); }
    std::uint64_t BytesIn() const { return m_BytesIn; }
    std::uint64_t BytesOut() const { return m_BytesOut; }
    double WireSeconds() const { return m_WireSeconds; }

private:
    bool WaitReadable(int timeoutMs); // false on time-out or interrupt
    void PaceByte(bool backToBack);   // waits for this byte's time on the wire

    std::atomic<int> m_Fd{-1};      // the device's end (pty master, or the serial port)
    std::atomic<int> m_SlaveFd{-1}; // pty only: kept open so the PC can close and reopen its end
    bool m_OwnFd = true;
    int m_WakePipe[2] = {-1, -1};
    std::atomic<int> m_Baud{1200};
    bool m_Pace = false;
    Clock::time_point m_WireFree{};
    std::uint64_t m_BytesIn = 0;
    std::uint64_t m_BytesOut = 0;
    double m_WireSeconds = 0;
    std::vector<unsigned char> m_Pushback; // bytes read ahead, handed out first
    bool m_PeerAway = false;               // the last WaitPeerRead stalled (worker only)
};

} // namespace vq5::sim
