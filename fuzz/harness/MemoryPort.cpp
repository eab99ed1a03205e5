#include "MemoryPort.h"

#include <cerrno>

namespace vq5::fuzz {

std::vector<ReadEvent> EventsFromBytes(const unsigned char* data, std::size_t size, bool escapes) {
    std::vector<ReadEvent> events;
    events.reserve(size);
    for (std::size_t i = 0; i < size; ++i) {
        unsigned char b = data[i];
        if (escapes && b == 0x7F && i + 1 < size) {
            unsigned char next = data[++i];
            if (next == 0x00)
                events.push_back({ReadEvent::Timeout, 0});
            else if (next == 0x01)
                events.push_back({ReadEvent::Failed, 0});
            else
                events.push_back({ReadEvent::Byte, next});
            continue;
        }
        events.push_back({ReadEvent::Byte, b});
    }
    return events;
}

CMemoryPort::CMemoryPort(std::vector<ReadEvent> events, ReadEvent::Kind atEnd)
    : m_Events(std::move(events)), m_AtEnd(atEnd == ReadEvent::Byte ? ReadEvent::Timeout : atEnd) {}

bool CMemoryPort::Open(const std::string&, int& error) {
    error = 0;
    m_Open = true;
    return true;
}

ReadResult CMemoryPort::ReadByte(unsigned char& byte, unsigned timeoutMs, int& error) {
    error = 0;
    if (m_Interrupted)
        return ReadResult::Interrupted;
    ReadEvent::Kind kind = m_Next < m_Events.size() ? m_Events[m_Next].kind : m_AtEnd;
    switch (kind) {
    case ReadEvent::Byte:
        byte = m_Events[m_Next++].byte;
        return ReadResult::Byte;
    case ReadEvent::Timeout:
        if (timeoutMs > 0 && m_Next < m_Events.size())
            ++m_Next;
        return ReadResult::Timeout;
    case ReadEvent::Failed:
        if (m_Next < m_Events.size())
            ++m_Next;
        // A read that failed while the port stays (EIO and the like would make the engine
        // reopen the port).
        error = EINVAL;
        return ReadResult::Failed;
    }
    return ReadResult::Failed;
}

WriteResult CMemoryPort::Write(const unsigned char* bytes, std::size_t count, std::size_t& written,
                               int& error) {
    error = 0;
    if (m_Interrupted) {
        written = 0;
        return WriteResult::Interrupted;
    }
    m_Written.insert(m_Written.end(), bytes, bytes + count);
    written = count;
    return WriteResult::Done;
}

bool CMemoryPort::SetBaud(int baud, int& error) {
    error = 0;
    m_Baud = baud;
    return true;
}

} // namespace vq5::fuzz
