// The engine of the benchmarks and what they attach to it: an engine on a pseudo-terminal, a
// trace sink that does what the protocol log window does, a notification sink that counts, and
// a serial port that counts its calls.
#pragma once

#include "DeviceSide.h"
#include "Notify.h"
#include "SerialPort.h"
#include "SettingsStore.h"
#include "VLPEngine.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vq5::bench {

// The engine of the benches: a CVLPEngine that notes the kernel id of its worker thread
// (a worker's first SetStatus, "Initializing", runs on it), so the worker's scheduler figures can be read.
class CBenchEngine : public CVLPEngine {
public:
    using CVLPEngine::CVLPEngine;
    ~CBenchEngine() override { Stop(); }
    void SetStatus(int status) override;
    int WorkerTid() const { return m_WorkerTid.load(); }

private:
    std::atomic<int> m_WorkerTid{0};
};

// ---- trace sink like the log window ---------------------------------------------------

// Does with each line what the protocol log window does, without windows: filters by level
// mask, stamps the time (milliseconds within the hour, UTC), moves the line into a pending
// batch under a lock, and wakes a consumer thread (standing in for the GUI thread) for the
// first line of a batch; the consumer appends each batch to compact storage (one text
// buffer, offsets, times), as the log list's model does.
class CLogLikeSink : public ITraceSink {
public:
    explicit CLogLikeSink(int mask = 15);
    ~CLogLikeSink() override;
    void AddLine(int level, std::string line) override;
    // Waits (bounded) until every line handed over is stored; false at the time-out.
    bool WaitStored(std::chrono::milliseconds timeout);
    std::size_t Stored() const { return m_StoredCount.load(); }
    std::size_t Handed() const { return m_Handed.load(); }
    std::string Line(std::size_t i) const; // a stored line (tests)

private:
    struct Rec {
        std::uint32_t msOfHour;
        std::string text;
    };
    void Consume();
    int m_Mask;
    mutable std::mutex m_Lock; // guards m_Pending and m_Stop (the log window's pending lock)
    std::condition_variable m_Wake;
    std::condition_variable m_StoredCv;
    std::vector<Rec> m_Pending;
    bool m_Stop = false;
    mutable std::mutex m_StoreLock; // guards the storage (the consumer's own, like the model)
    std::vector<char> m_Text;
    std::vector<std::size_t> m_Starts;
    std::vector<std::uint32_t> m_Times;
    std::atomic<std::size_t> m_StoredCount{0};
    std::atomic<std::size_t> m_Handed{0};
    std::thread m_Consumer;
};

// A notification sink that counts and drops what it gets (kind 1 texts included).
class CCountingSink : public INotifySink {
public:
    void Post(Notification n) override;
    std::size_t Count(int kind) const;

private:
    std::atomic<std::size_t> m_Counts[8] = {};
};

// A bench engine on a fresh pseudo-terminal, its notifications counted; not started. The bench
// plays the device on Master().
class CEngineOnPty {
public:
    // Opens the pseudo-terminal, names it as the engine's port ("VLPIO", "ComPort"), lets
    // `settings` add to the store (the engine reads it when made) and makes the engine. False
    // with the reason in `error`.
    bool Open(std::string& error, const std::function<void(CMemoryStore&)>& settings = {});
    bool Open(); // the reason, if any, on stderr
    CBenchEngine& Engine() { return *m_Engine; }
    CMemoryStore& Store() { return m_Store; }
    CCountingSink& Notes() { return m_Notes; }
    int Master() const { return m_Pty.Master(); }
    const std::string& SlavePath() const { return m_Pty.SlavePath(); }

private:
    CPty m_Pty;
    CMemoryStore m_Store;
    CCountingSink m_Notes;
    std::unique_ptr<CBenchEngine> m_Engine; // made last, stopped first
};

// ---- counting serial port -------------------------------------------------------------

// Wraps a real port and counts its calls: every Write is one write request of the engine
// (one or more system calls underneath), every ReadByte one read request.
class CCountingPort : public ISerialPort {
public:
    struct Counts {
        std::atomic<std::uint64_t> writes{0};
        std::atomic<std::uint64_t> bytesWritten{0};
        std::atomic<std::uint64_t> reads{0};
    };
    CCountingPort(std::unique_ptr<ISerialPort> inner, Counts& counts)
        : m_Inner(std::move(inner)), m_Counts(counts) {}
    bool Open(const std::string& name, int& error) override { return m_Inner->Open(name, error); }
    void Close() override { m_Inner->Close(); }
    bool IsOpen() const override { return m_Inner->IsOpen(); }
    ReadResult ReadByte(unsigned char& byte, unsigned timeoutMs, int& error) override;
    WriteResult Write(const unsigned char* bytes, std::size_t count, std::size_t& written,
                      int& error) override;
    bool SetBaud(int baud, int& error) override { return m_Inner->SetBaud(baud, error); }
    int Baud() const override { return m_Inner->Baud(); }
    void Interrupt() override { m_Inner->Interrupt(); }
    void ClearInterrupt() override { m_Inner->ClearInterrupt(); }

    // A port factory (CVLPIO::SetPortFactory) that wraps the system's serial port.
    static std::function<std::unique_ptr<ISerialPort>()> Factory(Counts& counts);

private:
    std::unique_ptr<ISerialPort> m_Inner;
    Counts& m_Counts;
};

} // namespace vq5::bench
