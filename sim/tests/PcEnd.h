// The PC's end of the line, played by a test byte by byte: opens a tty path raw and reads
// and writes whole frames of the Velto link.
#pragma once

#include "FrameCodec.h"
#include "PtyHelpers.h"

#include <chrono>
#include <string>
#include <vector>

namespace vq5::simtest {

using test::B;
using test::Bytes;
using test::Hex;
using test::kLong;
using namespace std::chrono_literals;

class CPcEnd {
public:
    // Opens `path` (the slave side of the simulator's pty); or adopts an open fd.
    explicit CPcEnd(const std::string& path);
    explicit CPcEnd(int fd, bool own);
    ~CPcEnd();
    CPcEnd(const CPcEnd&) = delete;
    CPcEnd& operator=(const CPcEnd&) = delete;

    bool Ok() const { return m_Fd >= 0; }
    int Fd() const { return m_Fd; }
    void Write(const Bytes& bytes);
    void WriteInfo(const std::string& text, unsigned char block = 0) { Write(InfoFrameBytes(text, block)); }
    // One frame of the device: poll/select (3 bytes), ACK/NAK (ADR run + byte), EOT, or an
    // information frame. Empty at the time-out. Filler bytes (0xFF) before it are counted
    // in Fillers() and skipped.
    Bytes ReadFrame(std::chrono::milliseconds timeout = kLong);
    // Reads frames until one equals `frame` (answering polls with EOT meanwhile when asked).
    bool WaitFor(const Bytes& frame, bool answerPolls = true, std::chrono::milliseconds timeout = kLong);
    // Waits for a poll (answering nothing else) and answers it with `answer`.
    bool AnswerNextPoll(const Bytes& answer, std::chrono::milliseconds timeout = kLong);
    // Waits for a select (answering polls with EOT), acknowledges it and returns the frame
    // that follows (not yet acknowledged).
    Bytes TakeSelect(std::chrono::milliseconds timeout = kLong);
    int ReadByte(std::chrono::milliseconds timeout);
    int Fillers() const { return m_Fillers; }

private:
    int m_Fillers = 0;
    int m_Fd = -1;
    bool m_Own = true;
};

// The text of an information frame, "" when the bytes are not one.
std::string InfoText(const Bytes& frame);
bool ChecksOk(const Bytes& frame);

} // namespace vq5::simtest
