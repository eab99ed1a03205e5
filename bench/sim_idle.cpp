// sim_idle: what a simulated VQ-5 with no PC on its line costs. The simulator runs as
// `vq5 sim` runs it (default options, the on-board side's traffic on) on a fresh
// pseudo-terminal nobody opens; after a settling second, the CPU time of this process (the
// simulator's thread; the main thread only sleeps) is taken over --seconds. Goal: at most
// 10 ms over 10 s (exit status 3 when missed).
//
//   bench_sim_idle [--seconds S]
#include "BenchSupport.h"
#include "Simulator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

int main(int argc, char** argv) {
    double seconds = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: bench_sim_idle [--seconds S]\n");
            return 2;
        }
    }
    if (!(seconds > 0))
        seconds = 10;
    std::printf("sim_idle: %s\n", vq5::bench::MachineText().c_str());
    vq5::sim::CSimulator sim;
    const std::string path = sim.Start();
    if (!sim.Running()) {
        std::fprintf(stderr, "sim_idle: %s\n", sim.Error().c_str());
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto exchanges0 = sim.Counters().exchanges;
    const std::int64_t cpu0 = vq5::bench::ProcessCpuNs();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpuMs = static_cast<double>(vq5::bench::ProcessCpuNs() - cpu0) / 1e6;
    const auto exchanges = sim.Counters().exchanges - exchanges0;
    sim.Stop();
    std::printf(
        "sim idle, no PC on %s: %.2f ms CPU over %.0f s (%.3f %% of one core), %llu polls; goal <= %.0f ms\n",
        path.c_str(), cpuMs, seconds, cpuMs / (seconds * 10.0), static_cast<unsigned long long>(exchanges),
        seconds);
    std::printf("sim_idle: %s\n", vq5::bench::LoadText().c_str());
    return cpuMs <= seconds ? 0 : 3; // 1 ms per second: 10 ms over 10 s
}
