// vq5 send: enters program mode, sends each TEXT as it stands, leaves program mode, and
// prints every message the device sends back, one per line.
#include "CliSupport.h"
#include "Verbs.h"
#include "VisitRecord.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace vq5::cli {
namespace {

constexpr const char* kUsage =
    "send [--port NAME] [--timeout MS] [--fast-speed N] [--reboot] [--deadline S] [--trace MASK] TEXT...";

void Help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vq5 %s\n\n"
                 "Enters program mode, queues each TEXT exactly as given (version gates such as\n"
                 "'91<&PIB' allowed), leaves program mode, and prints every message the device\n"
                 "sends, one per line, with a backslash and any byte outside printable ASCII shown\n"
                 "as \\\\ and \\xHH. Done when the device has acknowledged every text.\n\n%s"
                 "  --reboot         leave program mode with a reboot of the device (\"&PXR\")\n"
                 "  --               the arguments after it are texts\n\n%s",
                 kUsage, kEngineOptionsHelp, kExitCodesHelp);
}

int Main(int argc, char** argv) {
    EngineOptions options;
    std::vector<std::string> texts;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!optionsDone && (arg == "--help" || arg == "-h")) {
            Help(stdout);
            return kExitDone;
        }
        if (!optionsDone && arg == "--") {
            optionsDone = true;
            continue;
        }
        if (!optionsDone && arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            std::string error;
            OptionResult r = ParseEngineOption(argc, argv, i, options, error);
            if (r == OptionResult::Error) {
                std::fprintf(stderr, "vq5 send: %s\n", Shown(error).c_str());
                return kExitUsage;
            }
            if (r == OptionResult::NotMine) {
                std::fprintf(stderr, "vq5 send: unknown option '%s' (try 'vq5 send --help')\n",
                             Shown(arg).c_str());
                return kExitUsage;
            }
            continue;
        }
        texts.push_back(arg);
    }

    CMemoryStore store;
    ApplyConnectionSettings(store, options);
    CVLPEngine engine(&store);
    CHeadlessRun run(engine, options);
    CVisit visit("vq5 send", engine, options.port);
    run.Start();
    engine.EnterProgramMode();
    for (const std::string& text : texts) {
        if (text.size() > kMaxMessage)
            std::fprintf(stderr, "vq5 send: '%s' is cut to %zu characters\n", Shown(text, 40).c_str(),
                         kMaxMessage);
        engine.QueueText(text);
    }
    engine.LeaveProgramMode(options.reboot);

    auto outcome = run.WaitDrained([&visit](const Notification& n) {
        visit.Seen(n);
        if (n.kind == nkReceived) {
            std::printf("%s\n", Shown(n.text, kMaxTraceLine).c_str());
            std::fflush(stdout);
        }
    });
    if (outcome == CHeadlessRun::Outcome::Done)
        visit.Wrote(texts); // the queue drained: the device took every one
    // Stopped: the engine has already said why (the port's error on stderr).
    if (outcome == CHeadlessRun::Outcome::Deadline)
        std::fprintf(stderr, "vq5 send: the queue did not drain within %g s (port %s, status %s)\n",
                     options.deadlineS, Shown(options.port).c_str(), engine.StatusText());
    return CHeadlessRun::ExitCode(outcome);
}

VerbRegistrar reg("send", kUsage, &Main);

} // namespace
} // namespace vq5::cli
