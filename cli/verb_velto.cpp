// vq5 velto: the on-board system emulator without windows. Sends the display message at
// every free transmit opportunity, answers the device's inquiry with the announcement, and
// prints the message log, until SIGINT or SIGTERM (or --duration).
#include "CliSupport.h"
#include "Emulator.h"
#include "Verbs.h"
#include "VisitRecord.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace vq5::cli {
namespace {

constexpr const char* kUsage =
    "velto [--port NAME] [--line N] [--run N] [--auto-incr] [--timeout MS] [--trace MASK] [--duration S]";

void Help(std::FILE* out) {
    std::fprintf(
        out,
        "usage: vq5 %s\n\n"
        "Plays the vehicle's Velto on-board system like VQ5WVLP: the display message\n"
        "\"$LLL/RRR   HH:MM XX\" goes out at every free transmit opportunity, an inquiry \"?\"\n"
        "is answered with the announcement \"=LLLRRR0011777777799999\". Prints the message\n"
        "log, one line per entry: time, mark (> sent, < received, * engine event, blank for\n"
        "an error line) and text. Runs until SIGINT or SIGTERM (or --duration).\n\n"
        "  --port NAME      serial port: COM1..COM8 (/dev/ttyS0..7) or a device path (default COM1)\n"
        "  --line N         line number, 0 to 999 (default 123)\n"
        "  --run N          run number, 0 to 999 (default 45)\n"
        "  --auto-incr      raise the line number after every announcement (799 is followed by 0)\n"
        "  --timeout MS     read time-out in milliseconds, 200 to 6000 (default 2000)\n"
        "  --trace MASK     trace lines to stderr; bits: 1 I/O, 2 Frame, 4 Slave, 8 Appl\n"
        "  --duration S     stop after S seconds\n\n"
        "Bytes outside printable ASCII in a text are shown as \\xHH. Done (exit 0) when the\n"
        "device polled or selected at least once; 1 when it never did.\n%s",
        kUsage, kExitCodesHelp);
}

char Mark(int icon) {
    switch (icon) {
    case emu::kIconSent:
        return '>';
    case emu::kIconReceived:
        return '<';
    case emu::kIconEvent:
        return '*';
    default:
        return ' ';
    }
}

bool NumberOption(const char* name, const char* v, int& out) {
    const emu::FieldCheck r = emu::CheckNumberField(v, 0, 999, out);
    if (r == emu::FieldCheck::Ok)
        return true;
    std::fprintf(stderr, "vq5 velto: %s: %s\n", name, emu::FieldCheckMessage(r, 0, 999).c_str());
    return false;
}

int Main(int argc, char** argv) {
    EngineOptions options;
    double duration = 0;
    int line = 123, run = 45, autoIncr = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Help(stdout);
            return kExitDone;
        }
        if (arg == "--duration") {
            if (!ParseDuration("velto", i + 1 < argc ? argv[++i] : "", duration))
                return kExitUsage;
            continue;
        }
        if (arg == "--line" || arg == "--run") {
            if (!NumberOption(arg.c_str(), i + 1 < argc ? argv[++i] : "", arg == "--line" ? line : run))
                return kExitUsage;
            continue;
        }
        if (arg == "--auto-incr") {
            autoIncr = 1;
            continue;
        }
        std::string error;
        const OptionResult r = ParseEngineOption(argc, argv, i, options, error);
        if (r == OptionResult::Error) {
            std::fprintf(stderr, "vq5 velto: %s\n", Shown(error).c_str());
            return kExitUsage;
        }
        if (r == OptionResult::NotMine) {
            std::fprintf(stderr, "vq5 velto: unknown argument '%s' (try 'vq5 velto --help')\n",
                         Shown(arg).c_str());
            return kExitUsage;
        }
    }

    CMemoryStore store;
    ApplyConnectionSettings(store, options);
    store.WriteInt(emu::kSettingsSection, "LijnNr", line);
    store.WriteInt(emu::kSettingsSection, "RunNr", run);
    store.WriteInt(emu::kSettingsSection, "AutoIncrement", autoIncr);
    emu::CVL engine(&store);
    emu::CEmulator model(engine, &store);
    model.PushNumbers();
    model.PushAutoIncrement();
    CHeadlessRun headless(engine, options);
    CStopSignals signals(headless.Queue());
    CVisit visit("vq5 velto", engine, options.port);
    headless.Start();

    bool exchanged = false;
    std::string lastPlayed;
    auto handle = [&](const Notification& n) {
        if (n.kind == kStopKind)
            return true;
        if (n.kind == nkLinkStatus && n.value == lsConnected)
            exchanged = true;
        visit.Seen(n);
        // What it played, as the tool records it: a repeated message once until another follows.
        if (n.kind == nkGenerated && n.text != lastPlayed) {
            lastPlayed = n.text;
            visit.Wrote({n.text});
        }
        const auto text = model.LogLineFor(n);
        if (!text)
            return false;
        const emu::LogEntry e = emu::SplitLogLine(*text);
        std::printf("%s %c %s\n", emu::LogTime(std::chrono::system_clock::now()).c_str(), Mark(e.icon),
                    Shown(e.text, kMaxTraceLine).c_str());
        std::fflush(stdout);
        return false;
    };
    const auto until =
        duration > 0 ? std::chrono::steady_clock::now() +
                           std::chrono::milliseconds(static_cast<long long>(std::llround(duration * 1000)))
                     : std::chrono::steady_clock::now() + std::chrono::hours(24 * 365 * 10);
    if (headless.Pump(until, handle) == CHeadlessRun::Outcome::Stopped) {
        std::fprintf(stderr, "vq5 velto: the port %s could not be used\n", Shown(options.port).c_str());
        return kExitPort;
    }
    if (!exchanged) {
        std::fprintf(stderr, "vq5 velto: the device on %s never polled\n", Shown(options.port).c_str());
        return kExitFailed;
    }
    return kExitDone;
}

VerbRegistrar reg("velto", kUsage, &Main);

} // namespace
} // namespace vq5::cli
