// Idle cost and cost per exchange.
//
//   bench_idle [--seconds 60] [--tool PATH] [--flat-seconds 5]
//
// Idle: CPU time over --seconds with no device on the port (a pseudo-terminal nobody writes
// to: the engine's reads only time out), of the engine alone in this process and, at the
// same time, of a real tool process (PATH, e.g. build/bin/VQ5WInfo, offscreen). Goal: at most
// 0.1 % of one core.
// Flat out: a device that polls as fast as the PC answers (EOT, nothing queued), for
// --flat-seconds: CPU per exchange of the engine alone and of the tool process.
#include "BenchSupport.h"
#include "ToolProcess.h"

#include "SettingsStore.h"
#include "VLPEngine.h"

#include <cstdio>
#include <thread>

using namespace vq5;
using namespace vq5::bench;

namespace {

void Sleep(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// Polls flat out on the master side for `seconds`; returns the exchanges and the CPU time of
// the polling thread.
struct FlatRun {
    std::size_t exchanges = 0;
    std::size_t failures = 0;
    std::int64_t masterCpuNs = 0;
    double seconds = 0;
};

FlatRun PollFlatOut(int masterFd, double seconds) {
    FlatRun r;
    CMiniMaster master(masterFd);
    // Until the PC answers at all (it may still be starting).
    const std::int64_t ready = NowNs() + 10'000'000'000LL;
    while (!master.Poll(200).ok) {
        master.Discard();
        if (NowNs() > ready) {
            r.failures = 1;
            return r;
        }
    }
    const std::int64_t cpu0 = ThreadCpuNs();
    const std::int64_t t0 = NowNs();
    const std::int64_t until = t0 + static_cast<std::int64_t>(seconds * 1e9);
    while (NowNs() < until) {
        CMiniMaster::Exchange x = master.Poll(3000);
        ++r.exchanges;
        if (!x.ok) {
            ++r.failures;
            master.Discard();
        }
    }
    r.seconds = static_cast<double>(NowNs() - t0) / 1e9;
    r.masterCpuNs = ThreadCpuNs() - cpu0;
    return r;
}

struct ToolUnderTest {
    CPty pty;
    std::string home;
    CToolProcess process;
    bool ok = false;
    std::string error;

    ToolUnderTest(const std::string& path) {
        if (path.empty())
            return;
        const std::string name = path.substr(path.find_last_of('/') + 1);
        home = MakeTempDir("vq5-bench-idle-");
        ok = !home.empty() && pty.Open(error) && WriteToolSettings(home, name, pty.SlavePath(), error) &&
             process.Start(path, {"XDG_CONFIG_HOME=" + home}, home + "/output.txt", error);
    }
    ~ToolUnderTest() {
        process.Terminate(10000);
        RemoveTree(home);
    }
};

void PrintIdle(const char* who, std::int64_t cpuNs, double seconds, std::int64_t finerNs = -1) {
    const double pct = static_cast<double>(cpuNs) / (seconds * 1e9) * 100.0;
    std::printf("  %-28s CPU %.1f ms over %.1f s = %.4f %% of one core", who,
                static_cast<double>(cpuNs) / 1e6, seconds, pct);
    if (finerNs >= 0)
        std::printf(" (scheduler: %.1f ms = %.4f %%)", static_cast<double>(finerNs) / 1e6,
                    static_cast<double>(finerNs) / (seconds * 1e9) * 100.0);
    std::printf("  goal <= 0.1 %%: %s\n", pct <= 0.1 ? "met" : "MISSED");
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures show as they come, also into a pipe
    const double seconds = static_cast<double>(OptionInt(argc, argv, "--seconds", 60));
    const double flatSeconds = static_cast<double>(OptionInt(argc, argv, "--flat-seconds", 5));
    const std::string toolPath = Option(argc, argv, "--tool", "");
    if (seconds <= 0 || flatSeconds <= 0) {
        std::fprintf(stderr, "usage: bench_idle [--seconds S] [--tool PATH] [--flat-seconds S]\n");
        return 2;
    }
    std::printf("== Idle cost (no device, read time-outs only), %s\n", MachineText().c_str());
    bool allMet = true;
    {
        // The tool and the engine alone, side by side over the same seconds.
        ToolUnderTest tool(toolPath);
        if (!toolPath.empty() && !tool.ok)
            std::printf("  tool %s not started: %s\n", toolPath.c_str(), tool.error.c_str());
        CEngineOnPty link;
        if (!link.Open())
            return 1;
        CBenchEngine& engine = link.Engine();
        CCountingSink& notes = link.Notes();
        engine.Start();
        Sleep(3); // start-up of the tool and the first read of the engine are not idle
        const std::int64_t self0 = ProcessCpuNs();
        const std::int64_t tool0 = tool.ok ? ProcStatCpuNs(tool.process.Pid()) : -1;
        const std::int64_t toolSched0 = tool.ok ? ProcSchedCpuNs(tool.process.Pid()) : -1;
        const std::int64_t t0 = NowNs();
        Sleep(seconds);
        const double took = static_cast<double>(NowNs() - t0) / 1e9;
        const std::int64_t self = ProcessCpuNs() - self0;
        PrintIdle("engine alone (this process)", self, took);
        allMet = allMet && self <= static_cast<std::int64_t>(took * 1e9 * 0.001);
        std::printf("  engine link status: %s, notifications: %zu\n", engine.StatusText(),
                    notes.Count(nkLinkStatus));
        if (tool.ok && tool.process.Running()) {
            const std::int64_t toolCpu = ProcStatCpuNs(tool.process.Pid()) - tool0;
            const std::int64_t toolSched = ProcSchedCpuNs(tool.process.Pid()) - toolSched0;
            PrintIdle(toolPath.substr(toolPath.find_last_of('/') + 1).c_str(), toolCpu, took, toolSched);
            allMet = allMet && toolCpu <= static_cast<std::int64_t>(took * 1e9 * 0.001);
        } else if (tool.ok) {
            std::printf("  the tool ended early (see its output)\n");
            allMet = false;
        }
        engine.Stop();
    }

    std::printf("== Cost per exchange, device polling flat out (EOT answers)\n");
    {
        CEngineOnPty link;
        if (!link.Open())
            return 1;
        CBenchEngine& engine = link.Engine();
        engine.Start();
        // The master runs on its own thread; the engine's share is the process's CPU time less
        // the master's and this (waiting) thread's.
        FlatRun r;
        const std::int64_t main0 = ThreadCpuNs();
        const std::int64_t self0 = ProcessCpuNs();
        std::thread master([&] { r = PollFlatOut(link.Master(), flatSeconds); });
        master.join();
        const std::int64_t engineCpu = ProcessCpuNs() - self0 - r.masterCpuNs - (ThreadCpuNs() - main0);
        engine.Stop();
        std::printf(
            "  engine alone: %zu exchanges in %.2f s (%.0f/s), %zu failed; engine CPU %.2f us per exchange, "
            "master %.2f us per exchange\n",
            r.exchanges, r.seconds, r.seconds > 0 ? static_cast<double>(r.exchanges) / r.seconds : 0.0,
            r.failures,
            r.exchanges ? static_cast<double>(engineCpu) / 1e3 / static_cast<double>(r.exchanges) : 0.0,
            r.exchanges ? static_cast<double>(r.masterCpuNs) / 1e3 / static_cast<double>(r.exchanges) : 0.0);
    }
    if (!toolPath.empty()) {
        ToolUnderTest tool(toolPath);
        if (!tool.ok) {
            std::printf("  tool %s not started: %s\n", toolPath.c_str(), tool.error.c_str());
        } else {
            Sleep(2);
            FlatRun r;
            std::int64_t cpu0 = -1, sched0 = -1;
            std::thread master([&] {
                // The counts are taken once the tool answers; PollFlatOut waits for that.
                cpu0 = ProcStatCpuNs(tool.process.Pid());
                sched0 = ProcSchedCpuNs(tool.process.Pid());
                r = PollFlatOut(tool.pty.Master(), flatSeconds);
            });
            master.join();
            const std::int64_t cpu = ProcStatCpuNs(tool.process.Pid()) - cpu0;
            const std::int64_t sched = ProcSchedCpuNs(tool.process.Pid()) - sched0;
            const std::string name = toolPath.substr(toolPath.find_last_of('/') + 1);
            std::printf(
                "  %s process: %zu exchanges in %.2f s (%.0f/s), %zu failed; CPU %.2f us per exchange "
                "(scheduler: %.2f us)\n",
                name.c_str(), r.exchanges, r.seconds,
                r.seconds > 0 ? static_cast<double>(r.exchanges) / r.seconds : 0.0, r.failures,
                r.exchanges ? static_cast<double>(cpu) / 1e3 / static_cast<double>(r.exchanges) : 0.0,
                r.exchanges ? static_cast<double>(sched) / 1e3 / static_cast<double>(r.exchanges) : 0.0);
        }
    }
    std::printf("  %s\n", LoadText().c_str());
    return allMet ? 0 : 3;
}
