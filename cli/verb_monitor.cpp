// vq5 monitor: the figures of a live link, one line per interval, for a terminal or a
// script. The engine answers polls with EOT (it has nothing queued) and selects with ACK;
// it sends nothing of its own.
#include "CliSupport.h"
#include "Verbs.h"

#include <cstdio>
#include <string>

namespace vq5::cli {
namespace {

int Main(int argc, char** argv) {
    CVerbCommandLine line(
        "monitor", "Watches the link: answers the device's polls with EOT and prints one line of link\n"
                   "figures per interval (status and time in it, polls and selects per second, time\n"
                   "since the last poll, the device's poll interval p50/p99, our answer time\n"
                   "p50/p99/max, frames, NAKs, repeats, time-outs, damaged frames, garbage bytes,\n"
                   "reconnects, bytes and line speed). Stops on Ctrl+C or after --duration.");
    StyleVerbApp(line.App(), "Exits 0 when the device polled during the run, 1 when it never did, 2 on bad\n"
                             "arguments, 3 when the port could not be used.\n");
    EngineOptions options;
    double interval = 1;
    double duration = 0;
    bool json = false;
    AddCheckedOption(
        line.App(), "--interval", "S", "seconds between lines, 0.1 to 3600 (default 1)",
        [&interval](const std::string& value) { return TakeSeconds(value, 3600, interval, 0.1); });
    AddDuration(line.App(), duration, "stop after S seconds (default: run until stopped)");
    line.App().add_flag("--json", json, "one JSON object per line instead of key=value text");
    AddEngineOptions(line.App(), options, kEveryEngineOption & ~kRebootOption);
    if (const int rc = line.Parse(argc, argv); rc >= 0)
        return rc;

    CConnectionStore store(options);
    CVLPEngine engine(&store);
    CHeadlessRun run(engine, options);
    CStopSignals signals(run.Queue());
    run.Start();

    using Clock = std::chrono::steady_clock;
    const auto step = std::chrono::microseconds(static_cast<long long>(interval * 1e6));
    const auto start = Clock::now();
    const auto end = EndOfRun(duration);
    LinkFigures before = engine.Figures();
    auto next = start + step;
    bool stopped = false;
    while (!stopped) {
        const auto until = next < end ? next : end;
        const auto o = run.Pump(until, [&](const Notification& n) { return n.kind == kStopKind; });
        if (o == CHeadlessRun::Outcome::Stopped) {
            std::fprintf(stderr, "vq5 monitor: port %s could not be used\n", options.port.c_str());
            return 3;
        }
        stopped = o == CHeadlessRun::Outcome::Done || Clock::now() >= end;
        if (Clock::now() < next && !stopped)
            continue;
        const LinkFigures now = engine.Figures();
        const LinkRates rates = RatesBetween(before, now);
        const std::string line = json ? FiguresJson(now, rates) : FiguresLine(now, rates);
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        before = now;
        next += step;
    }
    return before.polls > 0 || !before.kept ? 0 : 1;
}

VerbRegistrar reg("monitor", "prints the figures of a live link, one line per interval", &Main);

} // namespace
} // namespace vq5::cli
