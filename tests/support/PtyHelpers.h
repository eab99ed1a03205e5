// Test helpers: a pseudo-terminal that plays the device's side of the line, recording
// message and trace sinks, and an engine wired to a pty.
#pragma once

#include "NotifyQueue.h"
#include "Process.h"
#include "RawPty.h"
#include "SettingsStore.h"
#include "VLPEngine.h"
#include "WaitFor.h"

#include <chrono>
#include <condition_variable>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace vq5::test {

using Bytes = std::vector<unsigned char>;
using namespace std::chrono_literals;

Bytes B(std::initializer_list<int> values);
Bytes B(const std::string& text);
Bytes Cat(Bytes a, const Bytes& b);
std::string Hex(const Bytes& bytes);

// The long wait for things that take milliseconds (a loaded machine runs tests in parallel).
inline constexpr std::chrono::milliseconds kLong = 10s;

// Points the engine's connection settings at `port` with the fast speed index and, when
// `timeoutMs` is above zero, the answer time-out.
inline void ConnectTo(ISettingsStore& store, const std::string& port, int fastBaud, int timeoutMs = 500) {
    store.WriteString("VLPIO", "ComPort", port);
    store.WriteInt("VLPIO", "FastBaudRate", fastBaud);
    if (timeoutMs > 0)
        store.WriteInt("VLPIO", "Timeout", timeoutMs);
}

class CPty {
public:
    CPty(); // openpty; both sides raw; the test keeps the slave fd open as well
    ~CPty();
    CPty(const CPty&) = delete;
    CPty& operator=(const CPty&) = delete;

    const std::string& Path() const { return m_Path; }
    int Master() const { return m_Master; }
    int Slave() const { return m_Slave; }

    void Write(const Bytes& bytes);
    // Reads exactly n bytes, or what came before the time-out.
    Bytes Read(std::size_t n, std::chrono::milliseconds timeout = kLong);
    // Reads whatever arrives until the line has been quiet for `quiet`.
    Bytes ReadQuiet(std::chrono::milliseconds quiet);
    // One frame the PC wrote: EOT, ACK/NAK or an information frame (by its first byte).
    Bytes ReadPcFrame(std::chrono::milliseconds timeout = kLong);
    void CloseMaster();
    void CloseSlave();
    // Hands the master side to the caller, who closes it.
    int TakeMaster();
    int SlaveSpeed() const; // read back with TCGETS2 on the slave side
    // Fills the line from the PC's side (the test's own slave descriptor, made non-blocking)
    // until the system takes no more, as a device that never reads; the bytes taken.
    std::size_t FillFromPc();

private:
    int m_Master = -1;
    int m_Slave = -1;
    std::string m_Path;
};

// Records boxes. With blocking set, Show waits (like a modal box) until Abandon.
class CRecordingMessages : public IUserMessages {
public:
    explicit CRecordingMessages(bool blocking = false) : m_Blocking(blocking) {}
    void Show(const std::string& caption, const std::string& text) override;
    void Abandon() override;
    void Reset() override;
    std::vector<std::pair<std::string, std::string>> Boxes() const;
    bool WaitForBox(std::chrono::milliseconds timeout);

private:
    mutable std::mutex m_Lock; // guards m_Boxes, m_Abandoned
    std::condition_variable m_Changed;
    std::vector<std::pair<std::string, std::string>> m_Boxes;
    bool m_Abandoned = false;
    bool m_Blocking;
};

class CRecordingTrace : public ITraceSink {
public:
    void AddLine(int level, std::string line) override;
    std::vector<std::pair<int, std::string>> Lines() const;
    bool Contains(const std::string& text) const;

private:
    mutable std::mutex m_Lock; // guards m_Lines
    std::vector<std::pair<int, std::string>> m_Lines;
};

// An engine whose ComPort is a fresh pty; the test plays the device on the master side.
class CEngineOnPty {
public:
    explicit CEngineOnPty(unsigned timeoutMs = 2000, int fastIndex = 3);
    ~CEngineOnPty();

    void Start(); // starts the worker and waits until it reports Initializing

    // Device side.
    void Poll();
    void SendSelect();
    // Polls and takes the PC's answer: the message text of an information frame (acknowledged
    // with ACK, after which the EOT is checked) or "" for a bare EOT. `frame` gets the frame.
    std::string PollMessage(Bytes* frame = nullptr);
    // Selects and hands the PC a text; checks the PC's two ACKs.
    void SelectSend(const std::string& text);
    // The identification reply "&<letter>PVQ-5 (<ver>) ..." through a select.
    void Identify(char letter, const std::string& version);

    // Waits for the next notification of this kind; the skipped ones are kept in Seen().
    Notification WaitKind(int kind, std::chrono::milliseconds timeout = kLong);
    // Waits for the link status notification with this status; false at the time-out.
    bool WaitStatus(int status, std::chrono::milliseconds timeout = kLong);
    std::vector<Notification> Drain(std::chrono::milliseconds quiet = 100ms);

    CPty pty;
    CMemoryStore store;
    CNotifyQueue queue;
    CRecordingMessages messages;
    std::unique_ptr<CVLPEngine> engine;
};

// A pty named as the store's ComPort, with this read time-out, and a box recorder: the ground
// of a port or frame layer test.
struct CPtyLine {
    explicit CPtyLine(unsigned timeoutMs);
    CPty pty;
    CMemoryStore store;
    CRecordingMessages messages;
};

// Checks the settings the PC end left on a tty: raw 8N1, receiver on, modem lines ignored, no
// flow control, no hang-up on close, VMIN = VTIME = 0.
void ExpectRawLine(int fd);

// How much CPU this process used, in milliseconds.
double ProcessCpuMs();

} // namespace vq5::test
