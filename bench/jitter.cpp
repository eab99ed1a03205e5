// The machine's own wake-up latency, as a yardstick for the turnaround figures: a thread
// sleeps 1 ms again and again and notes how late it wakes up, at normal priority and, when
// the system allows it, at real-time priority (SCHED_FIFO). Each turnaround needs at least
// two wake-ups (the engine's on the poll, the device's on the answer).
//
//   bench_jitter [--seconds 5]
#include "BenchSupport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <sched.h>
#include <thread>
#include <time.h>

using namespace vq5::bench;

namespace {

bool Measure(bool realtime, double seconds, std::vector<double>& lateUs, std::string& why) {
    bool ok = true;
    std::thread t([&] {
        if (realtime) {
            sched_param p{};
            p.sched_priority = 20;
            const int rc = pthread_setschedparam(pthread_self(), SCHED_FIFO, &p);
            if (rc != 0) {
                why = std::strerror(rc);
                ok = false;
                return;
            }
        }
        const std::int64_t until = NowNs() + static_cast<std::int64_t>(seconds * 1e9);
        while (NowNs() < until) {
            timespec next{};
            clock_gettime(CLOCK_MONOTONIC, &next);
            const std::int64_t due =
                static_cast<std::int64_t>(next.tv_sec) * 1000000000LL + next.tv_nsec + 1000000;
            next.tv_sec = static_cast<time_t>(due / 1000000000LL);
            next.tv_nsec = static_cast<long>(due % 1000000000LL);
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
            lateUs.push_back(static_cast<double>(NowNs() - due) / 1000.0);
        }
    });
    t.join();
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures show as they come, also into a pipe
    const double seconds = static_cast<double>(OptionInt(argc, argv, "--seconds", 5));
    std::printf("== Wake-up lateness of a thread sleeping 1 ms, %s\n", MachineText().c_str());
    for (bool rt : {false, true}) {
        std::vector<double> late;
        std::string why;
        if (!Measure(rt, seconds, late, why)) {
            std::printf("  real-time priority not allowed here (%s)\n", why.c_str());
            continue;
        }
        const Summary s = Summarize(late);
        std::size_t over = 0;
        for (double v : late)
            over += v > 500 ? 1 : 0;
        std::printf(
            "  %s\n",
            FormatSummary(rt ? "real-time priority (SCHED_FIFO 20)" : "normal priority", s, "us").c_str());
        std::printf("      wake-ups later than 500 us: %zu of %zu (%.2f %%)\n", over, late.size(),
                    late.empty() ? 0.0
                                 : 100.0 * static_cast<double>(over) / static_cast<double>(late.size()));
    }
    std::printf("  %s\n", LoadText().c_str());
    return 0;
}
