// Reading a fuzz input as a little program: single bytes, length-prefixed texts, the rest.
// Every read is bounded by what is left; an exhausted input reads as zeros and empty texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vq5::fuzz {

class CFuzzInput {
public:
    CFuzzInput(const std::uint8_t* data, std::size_t size) : m_Data(data), m_Size(data ? size : 0) {}

    bool Empty() const { return m_Pos >= m_Size; }
    std::size_t Left() const { return m_Size - m_Pos; }

    std::uint8_t Byte() { return m_Pos < m_Size ? m_Data[m_Pos++] : 0; }
    bool Bool() { return (Byte() & 1) != 0; }
    std::uint16_t Word() {
        std::uint16_t lo = Byte();
        return static_cast<std::uint16_t>(lo | (static_cast<std::uint16_t>(Byte()) << 8));
    }

    // One length byte, then that many bytes (fewer when the input ends first).
    std::string Text() { return Bytes(Byte()); }
    std::string Bytes(std::size_t n) {
        if (n > Left())
            n = Left();
        std::string s(reinterpret_cast<const char*>(m_Data + m_Pos), n);
        m_Pos += n;
        return s;
    }
    std::string Rest() { return Bytes(Left()); }

    // For a harness's loop of operations: true while input is left, for at most kMaxSteps - 1
    // operations.
    bool NextStep() { return !Empty() && ++m_Steps < kMaxSteps; }
    static constexpr int kMaxSteps = 4096;

private:
    const std::uint8_t* m_Data;
    std::size_t m_Size;
    std::size_t m_Pos = 0;
    int m_Steps = 0;
};

} // namespace vq5::fuzz
