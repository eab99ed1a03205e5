// vq5 send: enters program mode, sends each TEXT as it stands, leaves program mode, and
// prints every message the device sends back, one per line.
#include "CliSupport.h"
#include "Verbs.h"

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
                 "sends, one per line. Exits 0 when everything was sent.\n\n%s"
                 "  --reboot         leave program mode with a reboot of the device (\"&PXR\")\n"
                 "  --               the arguments after it are texts\n",
                 kUsage, kEngineOptionsHelp);
}

int Main(int argc, char** argv) {
    EngineOptions options;
    std::vector<std::string> texts;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!optionsDone && (arg == "--help" || arg == "-h")) {
            Help(stdout);
            return 0;
        }
        if (!optionsDone && arg == "--") {
            optionsDone = true;
            continue;
        }
        if (!optionsDone && arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            std::string error;
            OptionResult r = ParseEngineOption(argc, argv, i, options, error);
            if (r == OptionResult::Error) {
                std::fprintf(stderr, "vq5 send: %s\n", error.c_str());
                return 2;
            }
            if (r == OptionResult::NotMine) {
                std::fprintf(stderr, "vq5 send: unknown option '%s' (try 'vq5 send --help')\n", arg.c_str());
                return 2;
            }
            continue;
        }
        texts.push_back(arg);
    }

    CMemoryStore store;
    ApplyConnectionSettings(store, options);
    CVLPEngine engine(&store);
    CHeadlessRun run(engine, options);
    run.Start();
    engine.EnterProgramMode();
    for (const std::string& text : texts) {
        if (text.size() > kMaxMessage)
            std::fprintf(stderr, "vq5 send: '%s' is cut to %zu characters\n", text.c_str(), kMaxMessage);
        engine.QueueText(text);
    }
    engine.LeaveProgramMode(options.reboot);

    auto outcome = run.WaitDrained([](const Notification& n) {
        if (n.kind == nkReceived) {
            std::fwrite(n.text.data(), 1, n.text.size(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
        }
    });
    switch (outcome) {
    case CHeadlessRun::Outcome::Done:
        return 0;
    case CHeadlessRun::Outcome::Stopped:
        // The engine has already said why (the port's error on stderr).
        return 1;
    case CHeadlessRun::Outcome::Deadline:
        std::fprintf(stderr, "vq5 send: the queue did not drain within %g s (port %s, status %s)\n",
                     options.deadlineS, options.port.c_str(), engine.StatusText());
        return 1;
    }
    return 1;
}

VerbRegistrar reg("send", kUsage, &Main);

} // namespace
} // namespace vq5::cli
