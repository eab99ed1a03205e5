// `vq5 sim`: a simulated VQ-5 on a pseudo-terminal (or a real serial port) until SIGINT or
// SIGTERM. The first line of stdout is the path the tools open as their port.
#include "Simulator.h"
#include "Verbs.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>

namespace {

const char* const kUsage =
    "sim [--version MAJ.MIN] [--letter C] [--link PATH] [--device PATH] [--state FILE] [--pace]\n"
    "      [--poll-gap MS] [--faults LIST] [--seed N] [--log] [--quiet-board] [--answer-timeout MS]\n"
    "      [--late-ms MS] [--hold-lines]";

void Help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vq5 %s\n\n"
                 "Runs a simulated VQ-5: it polls and selects the PC over a pseudo-terminal whose path is\n"
                 "the first line printed, answers the device commands in program mode, keeps its\n"
                 "configuration, and plays the on-board system's inquiries and key presses.\n\n"
                 "  --version MAJ.MIN   device version, one hexadecimal digit each (default 8.7)\n"
                 "  --letter C          device letter of its replies (default Q)\n"
                 "  --link PATH         also make a symbolic link to the pseudo-terminal at PATH\n"
                 "  --device PATH       drive this serial port instead of a pseudo-terminal\n"
                 "  --state FILE        load the device state from FILE and save it after every change\n"
                 "  --pace              every byte takes 10 bit times at the current line speed\n"
                 "  --poll-gap MS       pause between exchanges (default 5)\n"
                 "  --faults LIST       line faults, name=RATE or name=COUNT, comma separated; names:\n"
                 "                      flip drop noise bytes check nak silent late block adr\n"
                 "  --seed N            seed of every random choice (default 1)\n"
                 "  --log               every frame both ways with a time stamp on stderr\n"
                 "  --quiet-board       no inquiries and key presses of the on-board side\n"
                 "  --answer-timeout MS how long to wait for the PC's answer (default 250)\n"
                 "  --late-ms MS        how late a 'late' fault answers (default 500)\n"
                 "  --hold-lines        the input and output lines keep their state at start\n",
                 kUsage);
}

bool ParseUnsigned(const char* text, unsigned long max, unsigned long& out) {
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long v = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || v > max || text[0] == '-')
        return false;
    out = v;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int Main(int argc, char** argv) {
    vq5::sim::SimOptions o;
    auto value = [&](int& i, const char* name) -> const char* {
        if (i + 1 >= argc) {
            std::fprintf(stderr, "vq5 sim: %s needs a value\n", name);
            return nullptr;
        }
        return argv[++i];
    };
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        unsigned long n = 0;
        const char* v = nullptr;
        if (a == "--help" || a == "-h") {
            Help(stdout);
            return 0;
        } else if (a == "--version") {
            if (!(v = value(i, "--version")))
                return 2;
            if (std::strlen(v) != 3 || v[1] != '.' || HexDigit(v[0]) < 0 || HexDigit(v[2]) < 0) {
                std::fprintf(stderr, "vq5 sim: --version takes MAJ.MIN with one hexadecimal digit each, e.g. 8.7\n");
                return 2;
            }
            o.versionMajor = static_cast<unsigned>(HexDigit(v[0]));
            o.versionMinor = static_cast<unsigned>(HexDigit(v[2]));
        } else if (a == "--letter") {
            if (!(v = value(i, "--letter")))
                return 2;
            if (std::strlen(v) != 1 || v[0] < 0x21 || v[0] > 0x7E) {
                std::fprintf(stderr, "vq5 sim: --letter takes one printable character\n");
                return 2;
            }
            o.letter = v[0];
        } else if (a == "--link") {
            if (!(v = value(i, "--link")))
                return 2;
            o.link = v;
        } else if (a == "--device") {
            if (!(v = value(i, "--device")))
                return 2;
            o.device = v;
        } else if (a == "--state") {
            if (!(v = value(i, "--state")))
                return 2;
            o.stateFile = v;
        } else if (a == "--pace") {
            o.pace = true;
        } else if (a == "--log") {
            o.log = true;
        } else if (a == "--quiet-board") {
            o.onboardTraffic = false;
        } else if (a == "--hold-lines") {
            o.holdLines = true;
        } else if (a == "--poll-gap" || a == "--answer-timeout" || a == "--late-ms") {
            if (!(v = value(i, a.c_str())))
                return 2;
            if (!ParseUnsigned(v, 60000, n) || (a == "--answer-timeout" && n < 10)) {
                std::fprintf(stderr, "vq5 sim: %s takes milliseconds (%s to 60000)\n", a.c_str(),
                             a == "--answer-timeout" ? "10" : "0");
                return 2;
            }
            (a == "--poll-gap" ? o.pollGapMs : a == "--answer-timeout" ? o.answerTimeoutMs : o.lateMs) =
                static_cast<unsigned>(n);
        } else if (a == "--faults") {
            if (!(v = value(i, "--faults")))
                return 2;
            o.faults = v;
            vq5::sim::FaultPlan plan;
            std::string error;
            if (!vq5::sim::ParseFaults(o.faults, plan, error)) {
                std::fprintf(stderr, "vq5 sim: --faults: %s\n", error.c_str());
                return 2;
            }
        } else if (a == "--seed") {
            if (!(v = value(i, "--seed")))
                return 2;
            if (!ParseUnsigned(v, ~0ul, n)) {
                std::fprintf(stderr, "vq5 sim: --seed takes a whole number\n");
                return 2;
            }
            o.seed = n;
        } else {
            std::fprintf(stderr, "vq5 sim: unknown option '%s'\n", a.c_str());
            Help(stderr);
            return 2;
        }
    }

    // SIGINT and SIGTERM are taken by sigwait below; every thread started from here on
    // inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    vq5::sim::CSimulator sim(o);
    const std::string path = sim.Start();
    if (!sim.Running()) {
        std::fprintf(stderr, "vq5 sim: %s\n", sim.Error().c_str());
        return 1;
    }
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "vq5 sim: VQ-5 %X.%X, letter %c, on %s%s%s; stop with Ctrl+C\n", o.versionMajor,
                 o.versionMinor, o.letter, path.c_str(), o.link.empty() ? "" : ", linked at ", o.link.c_str());

    int sig = 0;
    sigwait(&stopSignals, &sig);
    sim.Stop();
    const auto c = sim.Counters();
    std::fprintf(stderr,
                 "vq5 sim: stopped by %s after %llu exchanges: %llu messages taken, %llu delivered, "
                 "%llu faults injected\n",
                 sig == SIGINT ? "SIGINT" : "SIGTERM", static_cast<unsigned long long>(c.exchanges),
                 static_cast<unsigned long long>(c.messagesTaken), static_cast<unsigned long long>(c.messagesDelivered),
                 static_cast<unsigned long long>(c.faultsInjected));
    return 0;
}

vq5::cli::VerbRegistrar reg("sim", kUsage, &Main);

} // namespace
