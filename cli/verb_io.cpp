// vq5 io: the I/O tester without windows. Keeps the device busy with the two line queries
// and prints the input lines, the output lines and the decoded line and run number whenever
// they change, until SIGINT or SIGTERM (or --duration).
#include "CliSupport.h"
#include "IoTester.h"
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
    "io [--port NAME] [--timeout MS] [--fast-speed N] [--trace MASK] [--duration S]";

void Help(std::FILE* out) {
    std::fprintf(
        out,
        "usage: vq5 %s\n\n"
        "Puts the device into program mode and polls its input lines (\"&PII\") and output\n"
        "lines (\"&PIJ\") at every free transmit opportunity, like VQ5WTest. Prints a line\n"
        "whenever something changes:\n"
        "  inputs  VALUE  active: LAMPS\n"
        "  outputs VALUE  active: LAMPS\n"
        "  numbers LijnNr = LLL  RunNr = RR\n"
        "Runs until SIGINT or SIGTERM (or --duration), then leaves program mode.\n\n"
        "  --port NAME      serial port: COM1..COM8 (/dev/ttyS0..7) or a device path (default COM1)\n"
        "  --timeout MS     read time-out in milliseconds, 200 to 6000 (default 2000)\n"
        "  --fast-speed N   line speed in program mode, 0=1200 .. 5=19200 (default 0)\n"
        "  --trace MASK     trace lines to stderr; bits: 1 I/O, 2 Frame, 4 Slave, 8 Appl\n"
        "  --duration S     stop after S seconds\n\n"
        "Bytes outside printable ASCII in a value are shown as \\xHH. Done (exit 0) when\n"
        "the device answered at least once; 1 when it never did.\n%s",
        kUsage, kExitCodesHelp);
}

std::string ActiveList(bool inputs, const io::CIoTester& m) {
    std::string list;
    const std::size_t count = inputs ? io::kInputCount : io::kOutputCount;
    for (std::size_t i = 0; i < count; ++i) {
        const io::LampState s = inputs ? m.InputLamp(i) : m.OutputLamp(i);
        if (s != io::LampState::Active)
            continue;
        if (!list.empty())
            list += ", ";
        list += inputs ? io::InputLamps()[i].label : io::OutputLamps()[i].label;
    }
    return list.empty() ? "(none)" : list;
}

int Main(int argc, char** argv) {
    EngineOptions options;
    double duration = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Help(stdout);
            return kExitDone;
        }
        if (arg == "--duration") {
            if (!ParseDuration("io", i + 1 < argc ? argv[++i] : "", duration))
                return kExitUsage;
            continue;
        }
        std::string error;
        const OptionResult r = ParseEngineOption(argc, argv, i, options, error);
        if (r == OptionResult::Error) {
            std::fprintf(stderr, "vq5 io: %s\n", Shown(error).c_str());
            return kExitUsage;
        }
        if (r == OptionResult::NotMine) {
            std::fprintf(stderr, "vq5 io: unknown argument '%s' (try 'vq5 io --help')\n", Shown(arg).c_str());
            return kExitUsage;
        }
    }

    CMemoryStore store;
    ApplyConnectionSettings(store, options);
    // Both groups on.
    store.WriteInt(io::kSettingsSection, "ShowInputs", 1);
    store.WriteInt(io::kSettingsSection, "ShowOutputs", 1);
    io::CVLP engine(&store);
    io::CIoTester model(engine, &store);
    CHeadlessRun run(engine, options);
    CStopSignals signals(run.Queue());
    CVisit visit("vq5 io", engine, options.port);
    run.Start();
    model.Begin();

    std::string shownInputs, shownOutputs, shownNumbers;
    bool stopped = false;
    bool answered = false;
    auto handle = [&](const Notification& n) {
        if (n.kind == kStopKind)
            return stopped = true;
        visit.Seen(n);
        if (n.kind != nkReceived)
            return false;
        answered = true;
        const auto change = model.HandleReceived(n.text);
        if (change == io::CIoTester::kInputs && model.LastInputs() != shownInputs) {
            shownInputs = model.LastInputs();
            visit.ReadLatest(record::kKindInfo, "Inputs", shownInputs);
            std::printf("inputs  %s  active: %s\n", Shown(shownInputs).c_str(),
                        ActiveList(true, model).c_str());
        } else if (change == io::CIoTester::kOutputs) {
            if (model.LastOutputs() != shownOutputs) {
                shownOutputs = model.LastOutputs();
                visit.ReadLatest(record::kKindInfo, "Outputs", shownOutputs);
                std::printf("outputs %s  active: %s\n", Shown(shownOutputs).c_str(),
                            ActiveList(false, model).c_str());
            }
            const std::string numbers = model.LineText() + "  " + model.RunText();
            if (numbers != shownNumbers) {
                shownNumbers = numbers;
                std::printf("numbers %s\n", numbers.c_str());
            }
        }
        std::fflush(stdout);
        return false;
    };
    const auto until =
        duration > 0 ? std::chrono::steady_clock::now() +
                           std::chrono::milliseconds(static_cast<long long>(std::llround(duration * 1000)))
                     : std::chrono::steady_clock::now() + std::chrono::hours(24 * 365 * 10);
    const auto outcome = run.Pump(until, handle);
    if (outcome == CHeadlessRun::Outcome::Stopped) {
        std::fprintf(stderr, "vq5 io: the port %s could not be used\n", Shown(options.port).c_str());
        return kExitPort;
    }
    // Leave program mode (back to the base speed), giving it two seconds to go out.
    engine.m_PollInputs = false;
    engine.m_PollOutputs = false;
    model.Disconnect();
    run.Pump(std::chrono::steady_clock::now() + std::chrono::seconds(2), [&visit](const Notification& n) {
        visit.Seen(n);
        return n.kind == nkQueueEmpty || (n.kind == nkIdent && n.value == 0);
    });
    if (!answered) {
        std::fprintf(stderr, "vq5 io: the device on %s never answered\n", Shown(options.port).c_str());
        return kExitFailed;
    }
    return kExitDone;
}

VerbRegistrar reg("io", kUsage, &Main);

} // namespace
} // namespace vq5::cli
