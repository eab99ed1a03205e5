// vq5 send: enters program mode, sends each TEXT as it stands, leaves program mode, and
// prints every message the device sends back, one per line.
#include "CliSupport.h"
#include "Verbs.h"
#include "VisitRecord.h"

#include <cstdio>
#include <string>
#include <vector>

namespace vq5::cli {
namespace {

int Main(int argc, char** argv) {
    CVerbCommandLine line(
        "send", "Enters program mode, queues each TEXT exactly as given (version gates such as\n"
                "'91<&PIB' allowed), leaves program mode, and prints every message the device\n"
                "sends, one per line, with a backslash and any byte outside printable ASCII shown\n"
                "as \\\\ and \\xHH. Done when the device has acknowledged every text. The arguments\n"
                "after '--' are texts, also when they start with '-'.");
    EngineOptions options;
    std::vector<std::string> texts;
    AddDeviceVerbOptions(line.App(), options);
    line.App()
        .add_option("TEXT", texts, "a message to send, as it stands")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->type_name("");
    if (const int rc = line.Parse(argc, argv); rc >= 0)
        return rc;

    CConnectionStore store(options);
    CVLPEngine engine(&store);
    CHeadlessRun run(engine, options);
    CVisit visit("vq5 send", engine, options.port);
    run.Start();
    engine.EnterProgramMode();
    std::vector<std::string> queued; // as the engine takes them: cut to kMaxMessage characters
    for (const std::string& text : texts) {
        if (text.size() > kMaxMessage)
            std::fprintf(stderr, "vq5 send: '%s' is cut to %zu characters\n", Shown(text, 40).c_str(),
                         kMaxMessage);
        queued.push_back(text.substr(0, kMaxMessage));
        engine.QueueText(queued.back());
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
        visit.Wrote(queued); // the queue drained: the device took every one
    // Stopped: the engine has already said why (the port's error on stderr).
    if (outcome == CHeadlessRun::Outcome::Deadline)
        std::fprintf(stderr, "vq5 send: the queue did not drain within %g s (port %s, status %s)\n",
                     options.deadlineS, Shown(options.port).c_str(), engine.StatusText());
    return CHeadlessRun::ExitCode(outcome);
}

VerbRegistrar reg("send", "sends texts in program mode and prints what the device answers", &Main);

} // namespace
} // namespace vq5::cli
