// Turnaround of the engine: from the last byte of a poll or select written by the device to
// the first byte of the PC's answer, over a pseudo-terminal. The bench plays the device with
// a minimal master of its own, flat out, in a fixed mix: a poll with nothing to send (EOT),
// a poll with a queued message (information frame, acknowledged, then the PC's EOT), a
// select with a message from the device (ACK, frame, ACK), and again a poll with nothing.
//
//   bench_turnaround [--exchanges 10000] [--log closed|open|both]
//
// "closed": no trace sink, as with the protocol log window closed. "open": a sink that does
// what the log window does (all four levels on: stamp, copy, hand over to another thread that
// stores the lines). The real log window (offscreen) is measured by bench_logwnd.
#include "BenchSupport.h"
#include "TurnaroundRun.h"

#include "SettingsStore.h"
#include "VLPEngine.h"

#include <cstdio>
#include <string>

using namespace vq5;
using namespace vq5::bench;

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures show as they come, also into a pipe
    const long exchanges = OptionInt(argc, argv, "--exchanges", 10000);
    const std::string log = Option(argc, argv, "--log", "both");
    if (exchanges <= 0 || (log != "closed" && log != "open" && log != "both")) {
        std::fprintf(stderr, "usage: bench_turnaround [--exchanges N] [--log closed|open|both]\n");
        return 2;
    }
    std::printf("== Turnaround (poll/select -> first answer byte), %s\n", MachineText().c_str());
    bool allMet = true;
    for (const char* mode : {"closed", "open"}) {
        if (log != "both" && log != mode)
            continue;
        const bool open = std::string(mode) == "open";
        CEngineOnPty link;
        if (!link.Open())
            return 1;
        CBenchEngine& engine = link.Engine();
        std::unique_ptr<CLogLikeSink> sink;
        if (open) {
            sink = std::make_unique<CLogLikeSink>(15);
            engine.SetTraceSink(sink.get());
        }
        engine.Start();
        TurnaroundResult r = RunTurnaround(engine, link.Master(), static_cast<std::size_t>(exchanges));
        if (sink)
            sink->WaitStored(std::chrono::seconds(30));
        engine.Stop();
        engine.SetTraceSink(nullptr);
        const double goalUs = open ? 2000 : 500;
        const std::string title =
            std::string("log ") + (open ? "open (all levels, log-like sink)" : "closed");
        PrintTurnaround(title, r, goalUs);
        if (sink)
            std::printf("  trace lines stored: %zu (%.1f per exchange)\n", sink->Stored(),
                        r.exchanges ? static_cast<double>(sink->Stored()) / static_cast<double>(r.exchanges)
                                    : 0.0);
        allMet = allMet && r.failures == 0 && Summarize(r.answers).p99 <= goalUs;
    }
    std::printf("  %s\n", LoadText().c_str());
    return allMet ? 0 : 3;
}
