// Start-up time of every tool: from just before the process is started to its main dialog
// shown and painted (offscreen), median of 10 runs per tool after one unmeasured run.
//
//   bench_startup --bin DIR --hook LIB [--runs 10] [--tools VQ5WPrg,VQ5WTest,...]
//
// LIB is libvq5_bench_showhook.so, loaded into the tool with LD_PRELOAD: it writes the time
// stamps of the first show and paint to a pipe and ends the tool's event loops (the tool then
// shuts down as after "&Exit"). Each tool gets its own settings folder whose port is a
// pseudo-terminal nobody answers, so no error box is in the way.
#include "BenchSupport.h"
#include "ToolProcess.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <unistd.h>

using namespace vq5::bench;

namespace {

struct Launch {
    bool ok = false;
    double shownMs = 0;
    double paintedMs = 0;
    std::string windowClass;
    std::string failure;
};

Launch LaunchOnce(const std::string& bin, const std::string& hook, const std::string& configHome,
                  const std::string& outputPath) {
    Launch l;
    int fds[2];
    if (::pipe(fds) != 0) {
        l.failure = std::string("pipe: ") + std::strerror(errno);
        return l;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC); // the write end stays open in the tool
    CToolProcess tool;
    std::string error;
    const std::int64_t t0 = NowNs();
    const bool started = tool.Start(
        bin,
        {"LD_PRELOAD=" + hook, "VQ5_BENCH_FD=" + std::to_string(fds[1]), "XDG_CONFIG_HOME=" + configHome},
        outputPath, error);
    ::close(fds[1]);
    if (!started) {
        ::close(fds[0]);
        l.failure = error;
        return l;
    }
    std::string text;
    const std::int64_t until = t0 + 20'000'000'000LL;
    while (text.find('\n') == std::string::npos) {
        const std::int64_t left = until - NowNs();
        if (left <= 0)
            break;
        pollfd p{fds[0], POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left / 1000000) + 1) <= 0)
            continue;
        char buf[256];
        ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break; // the tool ended without a report
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fds[0]);
    long long shown = 0, painted = 0;
    char cls[128] = {};
    if (std::sscanf(text.c_str(), "shown %lld painted %lld %127s", &shown, &painted, cls) < 2) {
        l.failure = "no report from the tool (see " + outputPath + ")";
        tool.Terminate(5000);
        return l;
    }
    l.ok = true;
    l.shownMs = static_cast<double>(shown - t0) / 1e6;
    l.paintedMs = painted > 0 ? static_cast<double>(painted - t0) / 1e6 : 0;
    l.windowClass = cls;
    if (!tool.Wait(10000)) {
        tool.Terminate(5000);
        l.failure = "did not end after its report";
    }
    return l;
}

std::vector<std::string> Split(const std::string& s) {
    std::vector<std::string> out;
    std::stringstream ss(s);
    std::string item;
    while (std::getline(ss, item, ','))
        if (!item.empty())
            out.push_back(item);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures show as they come, also into a pipe
    const std::string bin = Option(argc, argv, "--bin", "");
    const std::string hook = Option(argc, argv, "--hook", "");
    const long runs = OptionInt(argc, argv, "--runs", 10);
    const std::vector<std::string> tools =
        Split(Option(argc, argv, "--tools", "VQ5WPrg,VQ5WTest,VQ5WTCT,VQ5WInfo,VQ5WReset,VQ5WVLP"));
    if (bin.empty() || hook.empty() || runs <= 0 || tools.empty()) {
        std::fprintf(stderr, "usage: bench_startup --bin DIR --hook LIB [--runs N] [--tools A,B,...]\n");
        return 2;
    }
    std::printf("== Start-up to the main dialog shown (offscreen), %s\n", MachineText().c_str());
    bool allMet = true;
    for (const std::string& name : tools) {
        const std::string path = bin + "/" + name;
        if (::access(path.c_str(), X_OK) != 0) {
            std::printf("-- %s: not built (%s)\n", name.c_str(), path.c_str());
            allMet = false;
            continue;
        }
        CPty pty;
        std::string error;
        const std::string home = MakeTempDir("vq5-bench-start-");
        if (!pty.Open(error) || home.empty() || !WriteToolSettings(home, name, pty.SlavePath(), error)) {
            std::printf("-- %s: cannot prepare: %s\n", name.c_str(), error.c_str());
            allMet = false;
            RemoveTree(home);
            continue;
        }
        std::vector<double> shown, painted;
        std::string cls, failure;
        for (long i = 0; i <= runs; ++i) {
            Launch l = LaunchOnce(path, hook, home, home + "/output.txt");
            if (!l.ok || !l.failure.empty()) {
                failure = l.failure;
                if (!l.ok)
                    continue;
            }
            if (i == 0)
                continue; // the first run fills the caches; not counted
            cls = l.windowClass;
            shown.push_back(l.shownMs);
            painted.push_back(l.paintedMs > 0 ? l.paintedMs : l.shownMs);
        }
        const Summary s = Summarize(shown), p = Summarize(painted);
        std::printf("-- %s (%s)%s%s\n", name.c_str(), cls.c_str(),
                    failure.empty() ? "" : ", note: ", failure.c_str());
        std::printf("  %s\n", FormatSummary("shown", s, "ms").c_str());
        std::printf("  %s\n", FormatSummary("first painted", p, "ms").c_str());
        const bool met = p.count == static_cast<std::size_t>(runs) && p.median <= 300;
        std::printf("  goal median <= 300 ms: %s (median %.1f ms)\n", met ? "met" : "MISSED", p.median);
        allMet = allMet && met;
        RemoveTree(home);
    }
    std::printf("  %s\n", LoadText().c_str());
    return allMet ? 0 : 3;
}
