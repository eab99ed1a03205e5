// vq5 io: the I/O tester without windows. Keeps the device busy with the two line queries
// and prints the input lines, the output lines and the decoded line and run number whenever
// they change, until SIGINT or SIGTERM (or --duration).
#include "CliSupport.h"
#include "IoTester.h"
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
    CVerbCommandLine line(
        "io", "Puts the device into program mode and polls its input lines (\"&PII\") and output\n"
              "lines (\"&PIJ\") at every free transmit opportunity, like VQ5WTest. Prints a line\n"
              "whenever something changes:\n"
              "  inputs  VALUE  active: LAMPS\n"
              "  outputs VALUE  active: LAMPS\n"
              "  numbers LijnNr = LLL  RunNr = RR\n"
              "Runs until SIGINT or SIGTERM (or --duration), then leaves program mode.\n"
              "Bytes outside printable ASCII in a value are shown as \\xHH. Done (exit 0) when\n"
              "the device answered at least once; 1 when it never did.");
    EngineOptions options;
    double duration = 0;
    AddDeviceVerbOptions(line.App(), options,
                         kPortOption | kTimeoutOption | kFastSpeedOption | kTraceOption | kCaptureOption);
    AddDuration(line.App(), duration);
    if (const int rc = line.Parse(argc, argv); rc >= 0)
        return rc;

    CConnectionStore store(options);
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
    const auto until = EndOfRun(duration);
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

VerbRegistrar reg("io", "polls the input and output lines like VQ5WTest and prints their changes", &Main);

} // namespace
} // namespace vq5::cli
