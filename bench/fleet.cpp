// Several boxes at once: `vq5 config write` on N simulated devices (paced: every byte takes
// 10 bit times at 9600 baud, as on the wire) against the same write on one, each run a fresh
// process that also adds its visits to a service record of its own. Prints the wall time of
// 1 and N ports, their ratio (goal: N ports at most 1.2 times one port), and the processor
// time of the program per link.
//
//   bench_fleet [--ports 8] [--runs 5] [--vq5 PATH]
#include "BenchSupport.h"
#include "Simulator.h"
#include "ToolProcess.h"

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace vq5;

namespace {

double CpuOfChildren() {
    rusage u{};
    ::getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Figures {
    bool ok = false;
    double wall = 0, cpu = 0;
};

Figures WriteOn(const std::string& vq5, const std::vector<std::string>& ports, const std::string& dir,
                int run) {
    std::vector<std::string> args = {"config", "write"};
    for (const std::string& p : ports) {
        args.push_back("--port");
        args.push_back(p);
    }
    args.push_back(dir + "/config.txt");
    const std::string out = dir + "/out-" + std::to_string(ports.size()) + "-" + std::to_string(run);
    const double cpu0 = CpuOfChildren();
    const auto t0 = std::chrono::steady_clock::now();
    bench::CToolProcess p;
    std::string error;
    Figures f;
    if (!p.Start(vq5, args, {"VQ5_RECORD_DB=" + dir + "/record.db"}, out, error)) {
        std::fprintf(stderr, "bench_fleet: %s\n", error.c_str());
        return f;
    }
    int status = 0;
    if (!p.Wait(120000, &status) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_fleet: vq5 failed on %zu port(s); see %s\n", ports.size(), out.c_str());
        return f;
    }
    f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    f.cpu = CpuOfChildren() - cpu0;
    f.ok = true;
    return f;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    int ports = 8, runs = 5;
    std::string vq5 = VQ5_CLI;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--ports"))
            ports = std::max(2, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--runs"))
            runs = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--vq5"))
            vq5 = argv[i + 1];
    }
    const std::string dir = bench::MakeTempDir("vq5-bench-fleet");
    // A full configuration, as a bench programs a new box: identifier, data calls, flags, filter.
    std::ofstream(dir + "/config.txt") << "CheckConfigID=1\nConfigID=bench fleet\nButtonDataCall1=1\n"
                                          "EditDataCall1=&P.1\nFlagStreekvervoer=1\nFlagOpenbaarvervoer=1\n"
                                          "FlagMaxRunnummer=0\nFlagSelftestAfterReboot=0\nFlagReadyToGo=1\n"
                                          "FlagDoorLussen=0\nCheckTransConfig=1\nTransConfigSliderWindow=9\n"
                                          "TransConfigSliderMinimal=6\nTransConfigSliderOffset2=20\n"
                                          "TransConfigSliderStable=10\n";
    std::vector<std::unique_ptr<sim::CSimulator>> sims;
    std::vector<std::string> paths;
    for (int i = 0; i < ports; ++i) {
        sim::SimOptions o;
        o.pace = true;
        o.onboardTraffic = false;
        auto s = std::make_unique<sim::CSimulator>(o);
        const std::string path = s->Start();
        if (path.empty()) {
            std::fprintf(stderr, "bench_fleet: simulator: %s\n", s->Error().c_str());
            return 1;
        }
        paths.push_back(path);
        sims.push_back(std::move(s));
    }
    std::vector<double> wall1, wallN, cpu1, cpuN;
    for (int r = 0; r < runs; ++r) {
        const Figures one = WriteOn(vq5, {paths[0]}, dir, r);
        const Figures all = WriteOn(vq5, paths, dir, r);
        if (!one.ok || !all.ok)
            return 1;
        wall1.push_back(one.wall);
        wallN.push_back(all.wall);
        cpu1.push_back(one.cpu);
        cpuN.push_back(all.cpu / ports);
    }
    const double ratio = Median(wallN) / Median(wall1);
    std::printf("== vq5 config write, paced simulators, %d run(s), medians\n", runs);
    std::printf("1 port : wall %.3f s, processor %.1f ms per link\n", Median(wall1), Median(cpu1) * 1000);
    std::printf("%d ports: wall %.3f s, processor %.1f ms per link\n", ports, Median(wallN),
                Median(cpuN) * 1000);
    std::printf("ratio %d ports / 1 port: %.2f (goal <= 1.20) %s\n", ports, ratio,
                ratio <= 1.2 ? "met" : "MISSED");
    sims.clear();
    bench::RemoveTree(dir);
    return ratio <= 1.2 ? 0 : 3;
}
