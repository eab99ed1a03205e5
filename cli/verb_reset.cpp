// vq5 reset: the headless twin of VQ5WReset. Makes the device restore its factory defaults
// and reboot: "$PRG" (with the gated speed change when --fast-speed is given), "&PFE1",
// "&PXR". No confirmation, as in the tool.
#include "CliSupport.h"
#include "CommandSet.h"
#include "MultiPort.h"
#include "ResetModel.h"
#include "Verbs.h"
#include "VisitRecord.h"

#include <cstdio>
#include <string>

namespace vq5::cli {
namespace {

constexpr const char* kUsage =
    "reset [--port NAME] [--timeout MS] [--fast-speed N] [--deadline S] [--trace MASK]";

void Help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vq5 %s\n\n"
                 "Makes the VQ-5 restore its factory defaults and reboot, as VQ5WReset does: program\n"
                 "mode, the clear-configuration flag (\"&PFE1\"), and the exit with reboot (\"&PXR\").\n"
                 "\n%s"
                 "The device always reboots; --reboot changes nothing.\n"
                 "--port may be given more than once: every port is reset at the same time, and a\n"
                 "table of the ports ends the run.\n"
                 "Done when the device has acknowledged the whole sequence.\n\n%s",
                 kUsage, kEngineOptionsHelp, kExitCodesHelp);
}

int Run(const EngineOptions& options);

int Main(int argc, char** argv) {
    const std::vector<std::string> ports = TakePorts(argc, argv);
    EngineOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Help(stdout);
            return kExitDone;
        }
        std::string error;
        OptionResult r = ParseEngineOption(argc, argv, i, options, error);
        if (r == OptionResult::Error) {
            std::fprintf(stderr, "vq5 reset: %s\n", Shown(error).c_str());
            return kExitUsage;
        }
        if (r == OptionResult::NotMine) {
            std::fprintf(stderr, "vq5 reset: unknown argument '%s' (try 'vq5 reset --help')\n",
                         Shown(arg).c_str());
            return kExitUsage;
        }
    }

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
    CMemoryStore store;
    ApplyConnectionSettings(store, options);
    CVLPEngine engine(&store);
    CHeadlessRun run(engine, options);
    CVisit visit("vq5 reset", engine, options.port);
    factory_reset::CResetModel model(engine);
    run.Start();
    model.Reset();

    const auto outcome = run.WaitDrained([&](const Notification& n) { visit.Seen(n); });
    if (outcome == CHeadlessRun::Outcome::Deadline)
        std::fprintf(stderr,
                     "vq5 reset: the device did not take the sequence within %g s (port %s, status %s)\n",
                     options.deadlineS, Shown(options.port).c_str(), engine.StatusText());
    if (outcome != CHeadlessRun::Outcome::Done)
        return CHeadlessRun::ExitCode(outcome);
    std::vector<std::string> taken = device::FactoryResetCommands();
    taken.push_back("&PXR");
    visit.Wrote(taken);
    std::printf("%sfactory reset sent%s\n", LinePrefix().c_str(),
                run.ExitAnswered() ? "; the device left program mode to reboot" : "");
    return kExitDone;
}

VerbRegistrar reg("reset", kUsage, &Main);

} // namespace
} // namespace vq5::cli
