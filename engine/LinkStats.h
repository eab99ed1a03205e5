// CLinkStats: figures of the polled link, kept by the engine's worker as it reads and writes
// frames, read by anyone (the link health window, `vq5 monitor`) as a snapshot.
//
// Only the worker writes (single-writer atomics: a plain load and store, no locked
// instruction), so keeping them costs a few stores per frame and nothing more; a reader
// takes a LinkFigures snapshot whenever it wants. Built with VQ5_LINK_STATS=0 the engine's
// hooks compile to nothing and every snapshot reads zero with `kept` false.
#pragma once

#include "FrameCodec.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#ifndef VQ5_LINK_STATS
#define VQ5_LINK_STATS 1
#endif

#if VQ5_LINK_STATS
#define VQ5_LINK_STAT(statement) statement
#else
#define VQ5_LINK_STAT(statement) ((void)0)
#endif

namespace vq5 {

// One snapshot of the link figures. Times in microseconds; -1 where nothing was measured yet.
struct LinkFigures {
    bool kept = false;        // the engine was built with figures
    double takenAt = 0;       // seconds on the steady clock, for rates between two snapshots
    int status = 0;           // LinkStatus
    double statusSeconds = 0; // time in that status
    std::uint64_t polls = 0, selects = 0;
    double sinceLastPollS = -1;
    std::int64_t pollIntervalP50Us = -1, pollIntervalP99Us = -1;
    std::int64_t answerP50Us = -1, answerP99Us = -1, answerMaxUs = -1;
    std::uint64_t framesSent = 0, framesReceived = 0;
    std::uint64_t naksSent = 0, naksReceived = 0;
    std::uint64_t repeats = 0;      // information frames sent again (after NAK or at the next poll)
    std::uint64_t timeouts = 0;     // reads of a frame that waited out the read time-out
    std::uint64_t damaged = 0;      // information frames with wrong check bytes or cut short
    std::uint64_t garbageBytes = 0; // bytes received that began no frame
    std::uint64_t reconnects = 0;   // the port was lost and opened again
    std::uint64_t bytesIn = 0, bytesOut = 0;
    int baud = 0; // current line speed, 0 while the port is closed (kept always)

    // Everything that went wrong on the line: NAKs both ways, time-outs, damaged frames, garbage.
    std::uint64_t Errors() const { return naksSent + naksReceived + timeouts + damaged + garbageBytes; }
};

// Per second between two snapshots (0 when they are not apart in time).
struct LinkRates {
    double polls = 0, selects = 0, errors = 0;
};
LinkRates RatesBetween(const LinkFigures& before, const LinkFigures& now);

// The figures as one line "key=value ..." (monitor) or one JSON object (monitor --json).
// The figures as named fields, in the order of the line below (the service report's rows).
std::vector<std::pair<std::string, std::string>> FigureFields(const LinkFigures& f, const LinkRates& r);
std::string FiguresLine(const LinkFigures& f, const LinkRates& r);
std::string FiguresJson(const LinkFigures& f, const LinkRates& r);

// The last kSamples values of a measure, for percentiles. Single writer.
class CSampleRing {
public:
    static constexpr std::size_t kSamples = 1024;
    void Add(std::int64_t us);
    // p in 0..100 over the samples kept; -1 when there are none.
    std::int64_t Percentile(double p) const;
    std::int64_t Max() const {
        return m_Count.load(std::memory_order_relaxed) ? m_Max.load(std::memory_order_relaxed) : -1;
    }

private:
    std::array<std::atomic<std::int64_t>, kSamples> m_Values{};
    std::atomic<std::uint64_t> m_Count{0};
    std::atomic<std::int64_t> m_Max{0};
};

class CLinkStats {
public:
    using Clock = std::chrono::steady_clock;

    // Hooks, worker thread only (SetBaud also from whoever sets the speed).
    void FrameRead(FrameType type, std::uint64_t bytesConsumed);
    void FrameWritten(FrameType type);
    void WriteStarts(); // ends a running answer-time measure: our first byte goes out
    void BytesWritten(std::size_t n) { Bump(m_BytesOut, n); }
    void ByteRead() { Bump(m_BytesIn, 1); }
    // Bytes dropped unread after line noise: received, and garbage.
    void GarbageDropped(std::size_t n) {
        Bump(m_BytesIn, n);
        Bump(m_Garbage, n);
    }
    void Repeat() { Bump(m_Repeats, 1); }
    void Reconnected() { Bump(m_Reconnects, 1); }
    void Status(int status);

    // Any thread.
    LinkFigures Snapshot() const;
    std::uint64_t BytesInTotal() const { return m_BytesIn.load(std::memory_order_relaxed); }

private:
    static void Bump(std::atomic<std::uint64_t>& c, std::uint64_t n) {
        c.store(c.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
    }
    static std::int64_t NowNs() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    }

    std::atomic<std::uint64_t> m_Polls{0}, m_Selects{0};
    std::atomic<std::uint64_t> m_FramesSent{0}, m_FramesReceived{0};
    std::atomic<std::uint64_t> m_NaksSent{0}, m_NaksReceived{0};
    std::atomic<std::uint64_t> m_Repeats{0}, m_Timeouts{0}, m_Damaged{0}, m_Garbage{0}, m_Reconnects{0};
    std::atomic<std::uint64_t> m_BytesIn{0}, m_BytesOut{0};
    std::atomic<int> m_Status{0};
    std::atomic<std::int64_t> m_StatusSinceNs{NowNs()};
    std::atomic<std::int64_t> m_LastPollNs{0};
    std::int64_t m_AnswerFromNs = 0; // worker only: a poll or select waits for our answer
    CSampleRing m_PollInterval;
    CSampleRing m_Answer;
};

} // namespace vq5
