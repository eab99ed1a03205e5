// `vq5 sim`: a simulated VQ-5 on a pseudo-terminal (or a real serial port) until SIGINT or
// SIGTERM. The first line of stdout is the path the tools open as their port.
#include "CliSupport.h"
#include "DeviceState.h"
#include "Replay.h"
#include "Simulator.h"
#include "TextCodec.h"
#include "Verbs.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kUsage =
    "sim [--version MAJ.MIN] [--letter C] [--strict | --profile NAME] [--link PATH] [--device PATH]\n"
    "      [--state FILE] [--pace] [--poll-gap MS] [--faults LIST] [--seed N] [--log] [--quiet-board]\n"
    "      [--answer-timeout MS] [--late-ms MS] [--replay FILE]\n"
    "      [--hold-lines]";

void Help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vq5 %s\n\n"
                 "Runs a simulated VQ-5: it polls and selects the PC over a pseudo-terminal whose path is\n"
                 "the first line printed, answers the device commands in program mode, keeps its\n"
                 "configuration, and plays the on-board system's inquiries and key presses.\n\n"
                 "  --version MAJ.MIN   device version, one hexadecimal digit each (default 8.7)\n"
                 "  --letter C          device letter of its replies (default Q)\n"
                 "  --profile NAME      what the device says besides answering queries:\n"
                 "                      default  answers every set with the value it now holds, the\n"
                 "                               program-mode exit with \"&QX\", and \"&PII\"/\"&PIJ\"\n"
                 "                               also outside program mode\n"
                 "                      strict   only what every VQ-5 does: identifies itself on\n"
                 "                               \"$PRG\" and answers queries in program mode; no reply\n"
                 "                               to any set (the exit included), no I/O lines outside\n"
                 "                               program mode\n"
                 "  --strict            the same as --profile strict\n"
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
                 "  --replay FILE       play the device's side of a link capture (vq5 ... --capture) at\n"
                 "                      its timing, report each place where the PC answers otherwise, and\n"
                 "                      end: exit 0 when it answered alike, 1 when not, 2 for a bad file\n"
                 "  --hold-lines        the input and output lines keep their state at start\n\n"
                 "The state FILE must be a regular file of at most 1 MB (or not exist yet).\n"
                 "Runs until SIGINT or SIGTERM, then exits 0.\n%s",
                 kUsage, vq5::cli::kExitCodesHelp);
}

bool ParseUnsigned(const char* text, unsigned long max, unsigned long& out) {
    if (!text || !*text)
        return false;
    const std::optional<unsigned long> v = vq5::ParseNumber<unsigned long>(text);
    if (!v || *v > max)
        return false;
    out = *v;
    return true;
}

int HexDigit(char c) {
    return vq5::HexDigitValue(c);
}

// --replay: the capture's device side against whichever tool opens the pseudo-terminal.
int Replay(const std::string& file, const std::string& link) {
    std::vector<vq5::CaptureRecord> records;
    std::string error;
    if (!vq5::ReadCaptureFile(file, records, error)) {
        std::fprintf(stderr, "vq5 sim: --replay %s: %s\n", file.c_str(), error.c_str());
        return 2;
    }
    std::vector<vq5::sim::ReplayTurn> turns = vq5::sim::ReplayTurns(records);
    if (turns.empty()) {
        std::fprintf(stderr, "vq5 sim: --replay %s: the capture holds nothing the device sent\n",
                     file.c_str());
        return 2;
    }
    vq5::sim::CLinePort port;
    std::string path;
    if (!port.OpenPty(path, error)) {
        std::fprintf(stderr, "vq5 sim: %s\n", error.c_str());
        return 3;
    }
    if (!link.empty()) {
        ::unlink(link.c_str());
        if (::symlink(path.c_str(), link.c_str()) != 0) {
            std::fprintf(stderr, "vq5 sim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
            return 3;
        }
    }
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "vq5 sim: replaying %zu exchanges of %s on %s\n", turns.size(), file.c_str(),
                 path.c_str());
    vq5::sim::CReplayDevice device(port, std::move(turns));
    const auto result = device.Play(60000, [](const vq5::sim::ReplayDifference& d) {
        std::printf("difference at exchange %zu (+%.6f s): device sent %s; capture has the PC answer %s, it "
                    "answered %s\n",
                    d.exchange, d.atS, d.device.c_str(), d.recorded.c_str(), d.got.c_str());
        std::fflush(stdout);
    });
    if (!link.empty())
        ::unlink(link.c_str());
    if (!result.started) {
        std::printf("no PC read the line within 60 s\n");
        return 1;
    }
    std::printf(
        "replayed %zu of %zu exchanges%s: %s\n", result.exchanges, result.total,
        result.pcLeft && result.differences.empty() ? " (the PC left; the rest was idle polling)" : "",
        result.differences.empty() ? "no difference"
                                   : (std::to_string(result.differences.size()) + " difference(s)").c_str());
    return result.differences.empty() ? 0 : 1;
}

int Main(int argc, char** argv) {
    vq5::sim::SimOptions o;
    std::string replay;
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
                std::fprintf(stderr,
                             "vq5 sim: --version takes MAJ.MIN with one hexadecimal digit each, e.g. 8.7\n");
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
        } else if (a == "--strict") {
            o.profile = vq5::sim::DeviceProfile::Strict;
        } else if (a == "--profile") {
            if (!(v = value(i, "--profile")))
                return 2;
            const auto profile = vq5::sim::ProfileFromName(v);
            if (!profile) {
                std::fprintf(stderr, "vq5 sim: --profile takes 'default' or 'strict', not '%s'\n", v);
                return 2;
            }
            o.profile = *profile;
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
        } else if (a == "--replay") {
            if (!(v = value(i, "--replay")))
                return 2;
            replay = v;
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
            (a == "--poll-gap"         ? o.pollGapMs
             : a == "--answer-timeout" ? o.answerTimeoutMs
                                       : o.lateMs) = static_cast<unsigned>(n);
        } else if (a == "--faults") {
            if (!(v = value(i, "--faults")))
                return 2;
            o.faults = v;
            vq5::sim::FaultPlan plan;
            std::string error;
            if (!vq5::sim::ParseFaults(o.faults, plan, error)) {
                std::fprintf(stderr, "vq5 sim: --faults: %s\n", vq5::cli::Shown(error).c_str());
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
            std::fprintf(stderr, "vq5 sim: unknown option '%s'\n", vq5::cli::Shown(a).c_str());
            Help(stderr);
            return 2;
        }
    }

    // The files first, while SIGINT and SIGTERM still end the process: a state file that
    // cannot be used is refused before anything runs.
    if (!o.stateFile.empty()) {
        vq5::sim::DeviceState probe;
        std::string error;
        if (!vq5::sim::LoadStateFile(o.stateFile, probe, error)) {
            std::fprintf(stderr, "vq5 sim: %s\n", vq5::cli::Shown(error, 400).c_str());
            return vq5::cli::kExitUsage;
        }
    }
    if (!o.link.empty()) {
        struct stat st {};
        if (::lstat(o.link.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "vq5 sim: %s exists and is not a symbolic link; not replaced\n",
                         vq5::cli::Shown(o.link).c_str());
            return vq5::cli::kExitUsage;
        }
    }
    if (!replay.empty())
        return Replay(replay, o.link);

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
        // The files were looked at above: what is left is the port (or the link beside it).
        std::fprintf(stderr, "vq5 sim: %s\n", vq5::cli::Shown(sim.Error(), 400).c_str());
        return vq5::cli::kExitPort;
    }
    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "vq5 sim: VQ-5 %X.%X, letter %c, %s profile, on %s%s%s; stop with Ctrl+C\n",
                 o.versionMajor, o.versionMinor, o.letter, vq5::sim::ProfileName(o.profile), path.c_str(),
                 o.link.empty() ? "" : ", linked at ", o.link.c_str());

    int sig = 0;
    sigwait(&stopSignals, &sig);
    sim.Stop();
    const auto c = sim.Counters();
    std::fprintf(stderr,
                 "vq5 sim: stopped by %s after %llu exchanges: %llu messages taken, %llu delivered, "
                 "%llu faults injected\n",
                 sig == SIGINT ? "SIGINT" : "SIGTERM", static_cast<unsigned long long>(c.exchanges),
                 static_cast<unsigned long long>(c.messagesTaken),
                 static_cast<unsigned long long>(c.messagesDelivered),
                 static_cast<unsigned long long>(c.faultsInjected));
    return 0;
}

vq5::cli::VerbRegistrar reg("sim", kUsage, &Main);

} // namespace
