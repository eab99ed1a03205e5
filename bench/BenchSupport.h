// What the benchmark programs share: figures (min, median, p99, max), a pseudo-terminal for
// the engine, a minimal link master that plays the device and time-stamps the exchanges, a
// counting serial port, and CPU and memory probes of this and of another process.
#pragma once

#include "FrameCodec.h"
#include "Notify.h"
#include "SerialPort.h"
#include "VLPEngine.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vq5::bench {

// ---- figures --------------------------------------------------------------------------

struct Summary {
    std::size_t count = 0;
    double min = 0, median = 0, p99 = 0, max = 0, mean = 0;
};

// Nearest-rank percentile of sorted samples (p in 0..100); 0 for no samples.
double Percentile(const std::vector<double>& sorted, double p);
// Sorts a copy and takes min, median (nearest rank 50), p99, max and the mean.
Summary Summarize(std::vector<double> samples);
// "name  n=...  min=... median=... p99=... max=... unit" on one line.
std::string FormatSummary(const std::string& name, const Summary& s, const std::string& unit,
                          int decimals = 1);

// Monotonic clock in nanoseconds (the same clock in every process of the machine).
std::int64_t NowNs();
// CPU time of the calling thread / of this process (user + system), in nanoseconds.
std::int64_t ThreadCpuNs();
std::int64_t ProcessCpuNs();

// ---- another process ------------------------------------------------------------------

// CPU time of a process from /proc/<pid>/stat (utime + stime, in clock ticks turned into
// nanoseconds; includes threads that have ended); -1 when it cannot be read.
std::int64_t ProcStatCpuNs(int pid);
// The sum of the first field of /proc/<pid>/task/*/schedstat: nanoseconds on a CPU of the
// threads alive now (finer than the ticks of ProcStatCpuNs); -1 when it cannot be read.
std::int64_t ProcSchedCpuNs(int pid);
// A "Vm...:" line of /proc/<pid>/status ("VmHWM", "VmRSS") in kB; -1 when absent. pid 0 =
// this process.
long ProcStatusKb(int pid, const char* key);

// Parses the fields of a /proc/<pid>/stat line after the command name: returns utime +
// stime in ticks, -1 when the line is malformed (the command may hold spaces and ')').
long long ParseStatTicks(const std::string& statLine);

// The machine, for the figures' header: "x86_64, AMD EPYC ..., 2 cores, load 1.02 0.95 0.80".
std::string MachineText();
std::string LoadText(); // "load 1.02 0.95 0.80" from /proc/loadavg

// The calling thread's id as the kernel knows it.
int ThreadId();

// One thread's scheduler figures from /proc/self/task/<tid>/schedstat: nanoseconds on a CPU,
// nanoseconds waiting in a run queue (runnable, but another thread had the CPU), and the
// number of times it was given a CPU. All -1 when it cannot be read.
struct SchedStat {
    std::int64_t cpuNs = -1;
    std::int64_t waitNs = -1;
    std::int64_t slices = -1;
};
SchedStat ThreadSchedStat(int tid);

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

private:
    std::unique_ptr<ISerialPort> m_Inner;
    Counts& m_Counts;
};

// ---- command line ---------------------------------------------------------------------

// "--name value" or "--name=value" among argv; def when absent.
std::string Option(int argc, char** argv, const std::string& name, const std::string& def);
long OptionInt(int argc, char** argv, const std::string& name, long def);
bool Flag(int argc, char** argv, const std::string& name);

} // namespace vq5::bench
