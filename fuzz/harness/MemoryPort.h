// CMemoryPort: an ISerialPort that serves a prepared list of read events (bytes, time-outs,
// failures) and keeps what is written. No waiting anywhere: a time-out is reported at once.
#pragma once

#include "SerialPort.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vq5::fuzz {

struct ReadEvent {
    enum Kind : std::uint8_t { Byte, Timeout, Failed } kind = Byte;
    unsigned char byte = 0;
};

// Turns fuzz bytes into read events. Plain: every byte is a byte. With escapes: 0x7F 0x00
// is a time-out, 0x7F 0x01 a failed read, 0x7F followed by anything else is that byte
// (0x7F 0x7F a literal 0x7F); a 0x7F at the very end is a literal.
std::vector<ReadEvent> EventsFromBytes(const unsigned char* data, std::size_t size, bool escapes);

class CMemoryPort : public ISerialPort {
public:
    // `atEnd` is what every read after the last event gives: Timeout or Failed.
    CMemoryPort(std::vector<ReadEvent> events, ReadEvent::Kind atEnd);

    bool Open(const std::string& name, int& error) override;
    void Close() override { m_Open = false; }
    bool IsOpen() const override { return m_Open; }
    // A time-out event answers a read without waiting (timeoutMs 0) without being used up,
    // so that the caller's second read, the one that waits, takes it.
    ReadResult ReadByte(unsigned char& byte, unsigned timeoutMs, int& error) override;
    WriteResult Write(const unsigned char* bytes, std::size_t count, std::size_t& written,
                      int& error) override;
    bool SetBaud(int baud, int& error) override;
    int Baud() const override { return m_Baud; }
    void Interrupt() override { m_Interrupted = true; }
    void ClearInterrupt() override { m_Interrupted = false; }

    bool Exhausted() const { return m_Next >= m_Events.size(); }
    std::size_t EventsUsed() const { return m_Next; }
    const std::vector<unsigned char>& Written() const { return m_Written; }
    void ClearWritten() { m_Written.clear(); }

private:
    std::vector<ReadEvent> m_Events;
    std::size_t m_Next = 0;
    ReadEvent::Kind m_AtEnd;
    std::vector<unsigned char> m_Written;
    bool m_Open = false;
    bool m_Interrupted = false;
    int m_Baud = 1200;
};

} // namespace vq5::fuzz
