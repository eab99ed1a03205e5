// vq5 reset: the headless twin of VQ5WReset. Makes the device restore its factory defaults
// and reboot: "$PRG" (with the gated speed change when --fast-speed is given), "&PFE1",
// "&PXR". No confirmation, as in the tool.
#include "CliSupport.h"
#include "MultiPort.h"
#include "ResetModel.h"
#include "Verbs.h"
#include "VisitRecord.h"

#include <cstdio>
#include <string>

namespace vq5::cli {
namespace {

int Run(const EngineOptions& options);

int Main(int argc, char** argv) {
    CVerbCommandLine line(
        "reset", "Makes the VQ-5 restore its factory defaults and reboot, as VQ5WReset does: program\n"
                 "mode, the clear-configuration flag (\"&PFE1\"), and the exit with reboot (\"&PXR\").\n"
                 "Done when the device has acknowledged the whole sequence.");
    EngineOptions options;
    std::vector<std::string> ports;
    bool reboot = false;
    AddPorts(line.App(), ports,
             "every port is reset at the same time, and a table\nof the ports ends the run");
    AddDeviceVerbOptions(line.App(), options, kEveryEngineOption & ~kPortOption & ~kRebootOption);
    AddReboot(line.App(), reboot, "changes nothing: the device always reboots");
    if (const int rc = line.Parse(argc, argv); rc >= 0)
        return rc;

    if (!ports.empty())
        options.port = ports.front();
    if (ports.size() > 1)
        return RunOnPorts("reset", ports, [&](const std::string& port) {
            EngineOptions one = options;
            one.port = port;
            return Run(one);
        });
    return Run(options);
}

int Run(const EngineOptions& options) {
    CConnectionStore store(options);
    CVLPEngine engine(&store);
    CHeadlessRun run(engine, options);
    CVisit visit("vq5 reset", engine, options.port);
    factory_reset::CResetModel model(engine);
    run.Start();
    std::vector<std::string> taken = model.Reset();

    const auto outcome = run.WaitDrained([&](const Notification& n) { visit.Seen(n); });
    if (outcome == CHeadlessRun::Outcome::Deadline)
        std::fprintf(stderr,
                     "vq5 reset: the device did not take the sequence within %g s (port %s, status %s)\n",
                     options.deadlineS, Shown(options.port).c_str(), engine.StatusText());
    if (outcome != CHeadlessRun::Outcome::Done)
        return CHeadlessRun::ExitCode(outcome);
    taken.push_back("&PXR");
    visit.Wrote(taken);
    std::printf("%sfactory reset sent%s\n", LinePrefix().c_str(),
                run.ExitAnswered() ? "; the device left program mode to reboot" : "");
    return kExitDone;
}

VerbRegistrar reg("reset", "restores the factory defaults and reboots the device, like VQ5WReset", &Main);

} // namespace
} // namespace vq5::cli
