// sim_pace: how close a paced simulated line comes to a real RS-232 line. The engine runs a
// 20-query sequence against the simulated VQ-5 with every byte paced at 10 bit times, at
// 1200 and at 9600 baud; the figure is the elapsed time over the pure wire time (all frame
// bytes both ways x 10 bits / baud). A real line gives 1.0 plus the turn-around times.
//
//   sim_pace [--poll-gap MS] [--queries N]
#include "EngineOnSim.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const kQueries[] = {"&PIA", "&PIB", "&PIC", "&PID", "&PIE", "&PIF", "&PIG",
                                "&PIH", "&PI0", "&PI1", "&PFS", "&PFO", "&PFT", "&PFD",
                                "&PFG", "&PFL", "&PKW", "&PKM", "&PKO", "&PKS"};

// Takes notifications until `count` received texts came; false at the time-out.
bool WaitReplies(vq5::CNotifyQueue& queue, int count, std::chrono::seconds timeout) {
    const auto until = Clock::now() + timeout;
    int got = 0;
    while (got < count) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        vq5::Notification n;
        if (left.count() <= 0 || !queue.Wait(n, left))
            return false;
        if (n.kind == vq5::nkReceived)
            ++got;
    }
    return true;
}

bool Run(int fastIndex, unsigned pollGapMs, int queries, double& ratio) {
    vq5::sim::SimOptions o;
    o.pace = true;
    o.pollGapMs = pollGapMs;
    o.onboardTraffic = false;
    vq5::test::CEngineOnSim rig(o, fastIndex);
    if (!rig.Started()) {
        std::fprintf(stderr, "sim_pace: %s\n", rig.sim.Error().c_str());
        return false;
    }
    vq5::sim::CSimulator& sim = rig.sim;
    vq5::CVLPEngine& engine = *rig.engine;
    vq5::CNotifyQueue& queue = rig.queue;

    // Program mode (and the speed change) first; the measured sequence runs at its speed.
    engine.EnterProgramMode();
    const int baud = vq5::kSpeedTable[fastIndex];
    if (!WaitReplies(queue, 1, std::chrono::seconds(30)) ||
        !sim.WaitUntil([&](const vq5::sim::DeviceState&,
                           const vq5::sim::LinkCounters&) { return sim.CurrentBaud() == baud; },
                       std::chrono::seconds(30)) ||
        !sim.WaitExchanges(sim.Counters().exchanges + 3, std::chrono::seconds(30))) {
        std::fprintf(stderr, "sim_pace: the link did not come up at %d baud\n", baud);
        return false;
    }
    queue.Clear();
    const auto before = sim.Counters();
    const auto t0 = Clock::now();
    for (int i = 0; i < queries; ++i)
        engine.QueueText(kQueries[i % 20]);
    if (!WaitReplies(queue, queries, std::chrono::seconds(600))) {
        std::fprintf(stderr, "sim_pace: not every reply came\n");
        return false;
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
    const auto after = sim.Counters();
    const double wire = after.wireSeconds - before.wireSeconds;
    const unsigned long long bytes = (after.bytesIn + after.bytesOut) - (before.bytesIn + before.bytesOut);
    ratio = wire > 0 ? elapsed / wire : 0;
    std::printf("%6d baud, poll gap %u ms: %d queries in %.3f s; %llu bytes on the wire = %.3f s wire time; "
                "ratio %.3f (PC port at %d baud)\n",
                baud, pollGapMs, queries, elapsed, bytes, wire, ratio, sim.PeerBaud());
    engine.LeaveProgramMode(false);
    WaitReplies(queue, 1, std::chrono::seconds(30));
    engine.Stop();
    sim.Stop();
    return true;
}

} // namespace

int main(int argc, char** argv) {
    unsigned gap = 0;
    int queries = 20;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--poll-gap") == 0 && i + 1 < argc)
            gap = static_cast<unsigned>(std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--queries") == 0 && i + 1 < argc)
            queries = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: sim_pace [--poll-gap MS] [--queries N]\n");
            return 2;
        }
    }
    if (queries < 1)
        queries = 1;
    std::printf("Paced simulated line, %d-query sequence (goal: 1.0 to 1.3 times the wire time)\n", queries);
    bool ok = true;
    for (int fast : {0, 3}) {
        double ratio = 0;
        if (!Run(fast, gap, queries, ratio)) {
            ok = false;
            continue;
        }
        if (ratio < 1.0 || ratio > 1.3)
            std::printf("       outside 1.0 to 1.3\n");
    }
    return ok ? 0 : 1;
}
