// vq5 velto: the on-board system emulator without windows. Sends the display message at
// every free transmit opportunity, answers the device's inquiry with the announcement, and
// prints the message log, until SIGINT or SIGTERM (or --duration).
#include "CliSupport.h"
#include "Emulator.h"
#include "Verbs.h"
#include "VisitRecord.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace vq5::cli {
namespace {

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

// --line and --run: checked as the tool's fields are.
void AddNumberField(CLI::App& app, const std::string& name, const std::string& description, int& out) {
    AddCheckedOption(app, name, "N", description, [&out](const std::string& value) -> std::string {
        const emu::FieldCheck r = emu::CheckNumberField(value.c_str(), 0, 999, out);
        return r == emu::FieldCheck::Ok ? "" : emu::FieldCheckMessage(r, 0, 999);
    });
}

int Main(int argc, char** argv) {
    CVerbCommandLine cl(
        "velto", "Plays the vehicle's Velto on-board system like VQ5WVLP: the display message\n"
                 "\"$LLL/RRR   HH:MM XX\" goes out at every free transmit opportunity, an inquiry \"?\"\n"
                 "is answered with the announcement \"=LLLRRR0011777777799999\". Prints the message\n"
                 "log, one line per entry: time, mark (> sent, < received, * engine event, blank for\n"
                 "an error line) and text. Runs until SIGINT or SIGTERM (or --duration).\n"
                 "Bytes outside printable ASCII in a text are shown as \\xHH. Done (exit 0) when the\n"
                 "device polled or selected at least once; 1 when it never did.");
    EngineOptions options;
    double duration = 0;
    int line = 123, run = 45;
    bool autoIncr = false;
    AddDeviceVerbOptions(cl.App(), options, kPortOption | kTimeoutOption | kTraceOption | kCaptureOption);
    AddNumberField(cl.App(), "--line", "line number, 0 to 999 (default 123)", line);
    AddNumberField(cl.App(), "--run", "run number, 0 to 999 (default 45)", run);
    cl.App().add_flag("--auto-incr", autoIncr,
                      "raise the line number after every announcement (799 is followed by 0)");
    AddDuration(cl.App(), duration);
    if (const int rc = cl.Parse(argc, argv); rc >= 0)
        return rc;

    CConnectionStore store(options);
    store.WriteInt(emu::kSettingsSection, "LijnNr", line);
    store.WriteInt(emu::kSettingsSection, "RunNr", run);
    store.WriteInt(emu::kSettingsSection, "AutoIncrement", autoIncr ? 1 : 0);
    emu::CVL engine(&store);
    emu::CEmulator model(engine, &store);
    model.PushNumbers();
    model.PushAutoIncrement();
    CHeadlessRun headless(engine, options);
    CStopSignals signals(headless.Queue());
    CVisit visit("vq5 velto", engine, options.port);
    headless.Start();

    bool exchanged = false;
    auto handle = [&](const Notification& n) {
        if (n.kind == kStopKind)
            return true;
        if (n.kind == nkLinkStatus && n.value == lsConnected)
            exchanged = true;
        visit.Seen(n);
        // What it played, as the tool records it: a repeated message once until another follows.
        if (n.kind == nkGenerated)
            visit.WroteUnlessRepeated(n.text);
        const auto text = model.LogLineFor(n);
        if (!text)
            return false;
        const emu::LogEntry e = emu::SplitLogLine(*text);
        std::printf("%s %c %s\n", emu::LogTime(std::chrono::system_clock::now()).c_str(), Mark(e.icon),
                    Shown(e.text, kMaxTraceLine).c_str());
        std::fflush(stdout);
        return false;
    };
    const auto until = EndOfRun(duration);
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

VerbRegistrar reg("velto", "plays the on-board system like VQ5WVLP and prints the message log", &Main);

} // namespace
} // namespace vq5::cli
