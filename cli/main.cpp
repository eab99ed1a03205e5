// vq5: the VQ-5 service tools on the command line.
#include "CliSupport.h"
#include "Verbs.h"
#include "VisitRecord.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace vq5::cli {
std::vector<Verb>& Verbs() {
    static std::vector<Verb> verbs;
    return verbs;
}
} // namespace vq5::cli

int main(int argc, char** argv) {
    using namespace vq5::cli;
    PrepareStdStreams();
    // The verbs are sub-commands that take everything after their name as it stands: each
    // parses its own arguments (and tells its own --help).
    CLI::App app("The VQ-5 service tools on the command line.", "vq5");
    StyleVerbApp(app,
                 std::string("config, info, reset, report, filter, send, io and velto add a visit to the\n"
                             "service record when they reach a device (see 'vq5 history --help').\n\n"
                             "'vq5 VERB --help' tells more about one verb.\n\n") +
                     kExitCodesHelp);
    app.prefix_command();
    AddRecordOptions(app);
    auto verbs = Verbs();
    std::sort(verbs.begin(), verbs.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    for (const Verb& v : verbs) {
        CLI::App* verb = app.add_subcommand(v.name, v.summary)->prefix_command()->group("Verbs");
        verb->set_help_flag();
    }
    if (argc < 2) {
        std::fputs(app.help().c_str(), stderr);
        return kExitUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return kExitDone;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "vq5: %s (try 'vq5 --help')\n", Shown(e.what(), 400).c_str());
        return kExitUsage;
    }
    const auto chosen = app.get_subcommands();
    if (chosen.empty()) {
        const auto rest = app.remaining();
        if (rest.empty())
            std::fprintf(stderr, "vq5: no verb after the record's options (try 'vq5 --help')\n");
        else
            std::fprintf(stderr, "vq5: unknown verb '%s' (try 'vq5 --help')\n", Shown(rest.front()).c_str());
        return kExitUsage;
    }
    // The verb's own arguments, its name first.
    std::vector<std::string> args = chosen.front()->remaining();
    args.insert(args.begin(), chosen.front()->get_name());
    std::vector<char*> verbArgv;
    for (std::string& a : args)
        verbArgv.push_back(a.data());
    verbArgv.push_back(nullptr);
    for (const Verb& v : verbs)
        if (v.name == args.front()) {
            const int rc = v.run(static_cast<int>(args.size()), verbArgv.data());
            // A verb that reached a device left its visit for the record.
            FinishVisit(rc);
            FlushRecord();
            return rc;
        }
    return kExitUsage;
}
