#include "LinkStats.h"

#include "VLPSlave.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace vq5 {

void CSampleRing::Add(std::int64_t us) {
    const std::uint64_t n = m_Count.load(std::memory_order_relaxed);
    m_Values[n % kSamples].store(us, std::memory_order_relaxed);
    m_Count.store(n + 1, std::memory_order_release);
    if (n == 0 || us > m_Max.load(std::memory_order_relaxed))
        m_Max.store(us, std::memory_order_relaxed);
}

std::int64_t CSampleRing::Percentile(double p) const {
    const std::uint64_t n = m_Count.load(std::memory_order_acquire);
    const std::size_t kept = n < kSamples ? static_cast<std::size_t>(n) : kSamples;
    if (kept == 0)
        return -1;
    std::vector<std::int64_t> v(kept);
    for (std::size_t i = 0; i < kept; ++i)
        v[i] = m_Values[i].load(std::memory_order_relaxed);
    // Nearest rank: the smallest value with at least p % of the samples at or below it.
    std::size_t rank = static_cast<std::size_t>(p / 100.0 * static_cast<double>(kept) + 0.999999);
    rank = std::clamp<std::size_t>(rank, 1, kept);
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(rank - 1), v.end());
    return v[rank - 1];
}

void CLinkStats::FrameRead(FrameType type, std::uint64_t bytesConsumed) {
    switch (type) {
    case FrameType::poll: {
        Bump(m_Polls, 1);
        const std::int64_t now = NowNs();
        const std::int64_t last = m_LastPollNs.load(std::memory_order_relaxed);
        if (last != 0)
            m_PollInterval.Add((now - last) / 1000);
        m_LastPollNs.store(now, std::memory_order_relaxed);
        m_AnswerFromNs = now;
        Bump(m_FramesReceived, 1);
        break;
    }
    case FrameType::select:
        Bump(m_Selects, 1);
        m_AnswerFromNs = NowNs();
        Bump(m_FramesReceived, 1);
        break;
    case FrameType::nak:
        Bump(m_NaksReceived, 1);
        Bump(m_FramesReceived, 1);
        break;
    case FrameType::eot:
    case FrameType::ack:
    case FrameType::info:
        Bump(m_FramesReceived, 1);
        break;
    case FrameType::timeout:
        Bump(m_Timeouts, 1);
        break;
    case FrameType::crcerror:
        Bump(m_Damaged, 1);
        break;
    case FrameType::noframe:
        Bump(m_Garbage, bytesConsumed);
        break;
    case FrameType::error:
        break; // a failed read: the port's own error, counted as a reconnect when it was lost
    }
}

void CLinkStats::FrameWritten(FrameType type) {
    Bump(m_FramesSent, 1);
    if (type == FrameType::nak)
        Bump(m_NaksSent, 1);
}

void CLinkStats::WriteStarts() {
    if (m_AnswerFromNs != 0) {
        m_Answer.Add((NowNs() - m_AnswerFromNs) / 1000);
        m_AnswerFromNs = 0;
    }
}

void CLinkStats::Status(int status) {
    if (m_Status.load(std::memory_order_relaxed) == status)
        return;
    m_StatusSinceNs.store(NowNs(), std::memory_order_relaxed);
    m_Status.store(status, std::memory_order_relaxed);
}

LinkFigures CLinkStats::Snapshot() const {
    LinkFigures f;
    const std::int64_t now = NowNs();
    f.takenAt = static_cast<double>(now) / 1e9;
#if VQ5_LINK_STATS
    f.kept = true;
    const auto get = [](const std::atomic<std::uint64_t>& c) { return c.load(std::memory_order_relaxed); };
    f.status = m_Status.load(std::memory_order_relaxed);
    f.statusSeconds = static_cast<double>(now - m_StatusSinceNs.load(std::memory_order_relaxed)) / 1e9;
    f.polls = get(m_Polls);
    f.selects = get(m_Selects);
    const std::int64_t lastPoll = m_LastPollNs.load(std::memory_order_relaxed);
    f.sinceLastPollS = lastPoll ? static_cast<double>(now - lastPoll) / 1e9 : -1;
    f.pollIntervalP50Us = m_PollInterval.Percentile(50);
    f.pollIntervalP99Us = m_PollInterval.Percentile(99);
    f.answerP50Us = m_Answer.Percentile(50);
    f.answerP99Us = m_Answer.Percentile(99);
    f.answerMaxUs = m_Answer.Max();
    f.framesSent = get(m_FramesSent);
    f.framesReceived = get(m_FramesReceived);
    f.naksSent = get(m_NaksSent);
    f.naksReceived = get(m_NaksReceived);
    f.repeats = get(m_Repeats);
    f.timeouts = get(m_Timeouts);
    f.damaged = get(m_Damaged);
    f.garbageBytes = get(m_Garbage);
    f.reconnects = get(m_Reconnects);
    f.bytesIn = get(m_BytesIn);
    f.bytesOut = get(m_BytesOut);
#endif
    return f;
}

LinkRates RatesBetween(const LinkFigures& before, const LinkFigures& now) {
    LinkRates r;
    const double dt = now.takenAt - before.takenAt;
    if (!(dt > 0))
        return r;
    auto per = [dt](std::uint64_t a, std::uint64_t b) {
        return b >= a ? static_cast<double>(b - a) / dt : 0.0;
    };
    r.polls = per(before.polls, now.polls);
    r.selects = per(before.selects, now.selects);
    r.errors = per(before.Errors(), now.Errors());
    return r;
}

namespace {
// Milliseconds with one decimal from microseconds; "-" when not measured.
std::string Ms(std::int64_t us) {
    if (us < 0)
        return "-";
    char t[32];
    // Answers take microseconds, poll intervals tens of milliseconds: three places below 10 ms.
    std::snprintf(t, sizeof t, us < 10000 ? "%.3f" : "%.1f", static_cast<double>(us) / 1000.0);
    return t;
}

std::string JsonMs(std::int64_t us) {
    return us < 0 ? "null" : Ms(us);
}
} // namespace

std::vector<std::pair<std::string, std::string>> FigureFields(const LinkFigures& f, const LinkRates& r) {
    auto n = [](std::uint64_t v) { return std::to_string(v); };
    auto fixed1 = [](double v) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", v);
        return std::string(text);
    };
    return {
        {"status", LinkStatusName(f.status)},
        {"for", fixed1(f.statusSeconds) + "s"},
        {"polls/s", fixed1(r.polls)},
        {"selects/s", fixed1(r.selects)},
        {"last-poll",
         f.sinceLastPollS < 0 ? "-" : std::to_string(static_cast<long long>(f.sinceLastPollS * 1000)) + "ms"},
        {"poll-ms", Ms(f.pollIntervalP50Us) + "/" + Ms(f.pollIntervalP99Us)},
        {"answer-ms", Ms(f.answerP50Us) + "/" + Ms(f.answerP99Us) + "/" + Ms(f.answerMaxUs)},
        {"frames", n(f.framesReceived) + "/" + n(f.framesSent)},
        {"naks", n(f.naksReceived) + "/" + n(f.naksSent)},
        {"repeats", n(f.repeats)},
        {"timeouts", n(f.timeouts)},
        {"damaged", n(f.damaged)},
        {"garbage", n(f.garbageBytes)},
        {"reconnects", n(f.reconnects)},
        {"bytes", n(f.bytesIn) + "/" + n(f.bytesOut)},
        {"baud", std::to_string(f.baud)},
    };
}

std::string FiguresLine(const LinkFigures& f, const LinkRates& r) {
    std::string line;
    for (const auto& [key, value] : FigureFields(f, r))
        line += (line.empty() ? "" : " ") + key + "=" + value;
    return line;
}

std::string FiguresJson(const LinkFigures& f, const LinkRates& r) {
    char line[1024];
    std::snprintf(
        line, sizeof line,
        "{\"status\":\"%s\",\"status_s\":%.3f,\"polls_per_s\":%.2f,\"selects_per_s\":%.2f,"
        "\"errors_per_s\":%.2f,\"since_last_poll_ms\":%s,\"poll_interval_ms\":{\"p50\":%s,\"p99\":%s},"
        "\"answer_ms\":{\"p50\":%s,\"p99\":%s,\"max\":%s},\"frames_received\":%llu,\"frames_sent\":%llu,"
        "\"naks_received\":%llu,\"naks_sent\":%llu,\"repeats\":%llu,\"timeouts\":%llu,\"damaged\":%llu,"
        "\"garbage_bytes\":%llu,\"reconnects\":%llu,\"bytes_in\":%llu,\"bytes_out\":%llu,\"baud\":%d,"
        "\"figures_kept\":%s}",
        LinkStatusName(f.status), f.statusSeconds, r.polls, r.selects, r.errors,
        f.sinceLastPollS < 0 ? "null"
                             : std::to_string(static_cast<long long>(f.sinceLastPollS * 1000)).c_str(),
        JsonMs(f.pollIntervalP50Us).c_str(), JsonMs(f.pollIntervalP99Us).c_str(),
        JsonMs(f.answerP50Us).c_str(), JsonMs(f.answerP99Us).c_str(), JsonMs(f.answerMaxUs).c_str(),
        static_cast<unsigned long long>(f.framesReceived), static_cast<unsigned long long>(f.framesSent),
        static_cast<unsigned long long>(f.naksReceived), static_cast<unsigned long long>(f.naksSent),
        static_cast<unsigned long long>(f.repeats), static_cast<unsigned long long>(f.timeouts),
        static_cast<unsigned long long>(f.damaged), static_cast<unsigned long long>(f.garbageBytes),
        static_cast<unsigned long long>(f.reconnects), static_cast<unsigned long long>(f.bytesIn),
        static_cast<unsigned long long>(f.bytesOut), f.baud, f.kept ? "true" : "false");
    return line;
}

} // namespace vq5
