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

// Whole number in decimal, at most `max`.
bool ParseUnsigned(const std::string& text, unsigned long max, unsigned long& out) {
    if (text.empty() || text[0] == '-')
        return false;
    const std::optional<unsigned long> v = vq5::ParseNumber<unsigned long>(text);
    if (!v || *v > max)
        return false;
    out = *v;
    return true;
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
    using vq5::cli::AddCheckedOption;
    vq5::cli::CVerbCommandLine line(
        "sim", "Runs a simulated VQ-5: it polls and selects the PC over a pseudo-terminal whose path is\n"
               "the first line printed, answers the device commands in program mode, keeps its\n"
               "configuration, and plays the on-board system's inquiries and key presses.\n"
               "Runs until SIGINT or SIGTERM, then exits 0.");
    vq5::sim::SimOptions o;
    std::string replay;
    CLI::App& app = line.App();
    AddCheckedOption(app, "--version", "MAJ.MIN", "device version, one hexadecimal digit each (default 8.7)",
                     [&o](const std::string& v) -> std::string {
                         if (v.size() != 3 || v[1] != '.' || vq5::HexDigitValue(v[0]) < 0 ||
                             vq5::HexDigitValue(v[2]) < 0)
                             return "takes MAJ.MIN with one hexadecimal digit each, e.g. 8.7";
                         o.versionMajor = static_cast<unsigned>(vq5::HexDigitValue(v[0]));
                         o.versionMinor = static_cast<unsigned>(vq5::HexDigitValue(v[2]));
                         return "";
                     });
    AddCheckedOption(app, "--letter", "C", "device letter of its replies (default Q)",
                     [&o](const std::string& v) -> std::string {
                         if (v.size() != 1 || v[0] < 0x21 || v[0] > 0x7E)
                             return "takes one printable character";
                         o.letter = v[0];
                         return "";
                     });
    AddCheckedOption(app, "--profile", "NAME",
                     "what the device says besides answering queries:\n"
                     "default  answers every set with the value it now holds, the\n"
                     "         program-mode exit with \"&QX\", and \"&PII\"/\"&PIJ\"\n"
                     "         also outside program mode\n"
                     "strict   only what every VQ-5 does: identifies itself on\n"
                     "         \"$PRG\" and answers queries in program mode; no reply\n"
                     "         to any set (the exit included), no I/O lines outside\n"
                     "         program mode",
                     [&o](const std::string& v) -> std::string {
                         const auto profile = vq5::sim::ProfileFromName(v);
                         if (!profile)
                             return "takes 'default' or 'strict', not '" + vq5::cli::Shown(v) + "'";
                         o.profile = *profile;
                         return "";
                     });
    app.add_flag_callback(
        "--strict", [&o] { o.profile = vq5::sim::DeviceProfile::Strict; }, "the same as --profile strict");
    app.add_option("--link", o.link, "also make a symbolic link to the pseudo-terminal at PATH")
        ->type_name("PATH");
    app.add_option("--device", o.device, "drive this serial port instead of a pseudo-terminal")
        ->type_name("PATH");
    app.add_option("--state", o.stateFile,
                   "load the device state from FILE and save it after every change;\n"
                   "a regular file of at most 1 MB (or not there yet)")
        ->type_name("FILE");
    app.add_flag("--pace", o.pace, "every byte takes 10 bit times at the current line speed");
    const struct {
        const char* name;
        const char* description;
        unsigned* target;
        unsigned long min;
    } milliseconds[] = {
        {"--poll-gap", "pause between exchanges (default 5)", &o.pollGapMs, 0},
        {"--answer-timeout", "how long to wait for the PC's answer (default 250)", &o.answerTimeoutMs, 10},
        {"--late-ms", "how late a 'late' fault answers (default 500)", &o.lateMs, 0}};
    for (const auto& m : milliseconds)
        AddCheckedOption(app, m.name, "MS", m.description, [m](const std::string& v) -> std::string {
            unsigned long n = 0;
            if (!ParseUnsigned(v, 60000, n) || n < m.min)
                return "takes milliseconds (" + std::to_string(m.min) + " to 60000)";
            *m.target = static_cast<unsigned>(n);
            return "";
        });
    AddCheckedOption(app, "--faults", "LIST",
                     "line faults, name=RATE or name=COUNT, comma separated; names:\n"
                     "flip drop noise bytes check nak silent late block adr",
                     [&o](const std::string& v) -> std::string {
                         vq5::sim::FaultPlan plan;
                         std::string error;
                         if (!vq5::sim::ParseFaults(v, plan, error))
                             return vq5::cli::Shown(error);
                         o.faults = v;
                         return "";
                     });
    AddCheckedOption(app, "--seed", "N", "seed of every random choice (default 1)",
                     [&o](const std::string& v) -> std::string {
                         unsigned long n = 0;
                         if (!ParseUnsigned(v, ~0ul, n))
                             return "takes a whole number";
                         o.seed = n;
                         return "";
                     });
    app.add_flag("--log", o.log, "every frame both ways with a time stamp on stderr");
    app.add_flag_callback(
        "--quiet-board", [&o] { o.onboardTraffic = false; },
        "no inquiries and key presses of the on-board side");
    app.add_option("--replay", replay,
                   "play the device's side of a link capture (vq5 ... --capture) at\n"
                   "its timing, report each place where the PC answers otherwise, and\n"
                   "end: exit 0 when it answered alike, 1 when not, 2 for a bad file")
        ->type_name("FILE");
    app.add_flag("--hold-lines", o.holdLines, "the input and output lines keep their state at start");
    if (const int rc = line.Parse(argc, argv); rc >= 0)
        return rc;

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

vq5::cli::VerbRegistrar reg("sim", "runs a simulated VQ-5 on a pseudo-terminal", &Main);

} // namespace
