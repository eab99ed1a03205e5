#include "TurnaroundRun.h"

#include "BenchSupport.h"
#include "VLPEngine.h"

#include <cstdio>

namespace vq5::bench {

namespace {
constexpr int kTimeoutMs = 3000;
const char* const kDeviceText = "&QIAVQ-5 reply of the bench master";
} // namespace

TurnaroundResult RunTurnaround(CBenchEngine& engine, int masterFd, std::size_t exchanges) {
    TurnaroundResult r;
    CMiniMaster master(masterFd);
    // The engine opens its port on its own thread: poll until it answers.
    const std::int64_t until = NowNs() + 10'000'000'000LL;
    for (;;) {
        CMiniMaster::Exchange x = master.Poll(200);
        if (x.ok)
            break;
        master.Discard();
        if (NowNs() > until) {
            r.failures = 1;
            r.firstFailure = "the engine never answered a poll";
            return r;
        }
    }
    const std::size_t warmup = 100;
    std::int64_t start = NowNs();
    SchedStat master0, worker0;
    for (std::size_t i = 0; i < warmup + exchanges; ++i) {
        if (i == warmup) {
            start = NowNs();
            master0 = ThreadSchedStat(ThreadId());
            worker0 = ThreadSchedStat(engine.WorkerTid());
        }
        const bool measured = i >= warmup;
        CMiniMaster::Exchange x;
        switch (i % 4) {
        case 1:
            engine.QueueText("&PIA");
            x = master.Poll(kTimeoutMs);
            if (x.ok && x.text.empty()) {
                x.ok = false;
                x.failure = "poll with a queued message answered with EOT";
            }
            break;
        case 2:
            x = master.Select(kDeviceText, kTimeoutMs);
            break;
        default:
            x = master.Poll(kTimeoutMs);
            if (x.ok && !x.text.empty()) {
                x.ok = false;
                x.failure = "poll with nothing queued answered with a frame \"" + x.text + "\"";
            }
            break;
        }
        if (!measured)
            continue;
        ++r.exchanges;
        if (!x.ok) {
            if (r.failures++ == 0)
                r.firstFailure = x.failure;
            master.Discard();
            continue;
        }
        const double answerUs = static_cast<double>(x.answerNs) / 1000.0;
        r.answers.push_back(answerUs);
        switch (i % 4) {
        case 1:
            r.pollsInfo.push_back(answerUs);
            r.eots.push_back(static_cast<double>(x.eotNs) / 1000.0);
            break;
        case 2:
            r.selects.push_back(answerUs);
            r.frameAcks.push_back(static_cast<double>(x.frameAckNs) / 1000.0);
            break;
        default:
            r.pollsEot.push_back(answerUs);
            break;
        }
    }
    r.seconds = static_cast<double>(NowNs() - start) / 1e9;
    auto diff = [](SchedStat a, SchedStat b) {
        SchedStat d;
        if (a.cpuNs >= 0 && b.cpuNs >= 0) {
            d.cpuNs = a.cpuNs - b.cpuNs;
            d.waitNs = a.waitNs - b.waitNs;
            d.slices = a.slices - b.slices;
        }
        return d;
    };
    r.master = diff(ThreadSchedStat(ThreadId()), master0);
    r.worker = diff(ThreadSchedStat(engine.WorkerTid()), worker0);
    return r;
}

void PrintTurnaround(const std::string& title, const TurnaroundResult& r, double goalP99Us) {
    const Summary all = Summarize(r.answers);
    std::printf("-- %s: %zu exchanges in %.2f s (%.0f per second), %zu failed%s%s\n", title.c_str(),
                r.exchanges, r.seconds, r.seconds > 0 ? static_cast<double>(r.exchanges) / r.seconds : 0.0,
                r.failures, r.failures ? ", first: " : "", r.firstFailure.c_str());
    std::printf("  %s\n", FormatSummary("answer, poll or select", all, "us").c_str());
    std::printf("  %s\n", FormatSummary("  poll -> EOT", Summarize(r.pollsEot), "us").c_str());
    std::printf("  %s\n", FormatSummary("  poll -> information frame", Summarize(r.pollsInfo), "us").c_str());
    std::printf("  %s\n", FormatSummary("  select -> ACK", Summarize(r.selects), "us").c_str());
    std::printf("  %s\n", FormatSummary("device frame -> ACK", Summarize(r.frameAcks), "us").c_str());
    std::printf("  %s\n", FormatSummary("device ACK -> EOT", Summarize(r.eots), "us").c_str());
    auto sched = [&r](const char* who, const SchedStat& s) {
        if (s.cpuNs < 0 || r.exchanges == 0)
            return;
        const double n = static_cast<double>(r.exchanges);
        std::printf("  %-8s thread: on a CPU %.1f us per exchange, waiting for a CPU %.1f us per exchange, "
                    "%.2f wake-ups per exchange\n",
                    who, static_cast<double>(s.cpuNs) / 1e3 / n, static_cast<double>(s.waitNs) / 1e3 / n,
                    static_cast<double>(s.slices) / n);
    };
    sched("engine", r.worker);
    sched("master", r.master);
    std::printf("  goal p99 <= %.0f us: %s (p99 %.1f us)\n", goalP99Us,
                r.failures == 0 && all.p99 <= goalP99Us ? "met" : "MISSED", all.p99);
}

} // namespace vq5::bench
