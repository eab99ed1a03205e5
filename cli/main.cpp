// vq5: the VQ-5 service tools on the command line.
#include "CliSupport.h"
#include "Verbs.h"
#include "VisitRecord.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace vq5::cli {
std::vector<Verb>& Verbs() {
    static std::vector<Verb> verbs;
    return verbs;
}
} // namespace vq5::cli

namespace {

// Where the verb stands in argv: the first word that is not one of the record's options (or
// its value) given before the verb, or --help.
int VerbIndex(int argc, char** argv) {
    int i = 1;
    while (i < argc) {
        const std::string_view word = argv[i];
        if (word == "--db")
            i += 2;
        else if (word.rfind("--db=", 0) == 0 || word == "--no-record" || word == "--help" || word == "-h")
            ++i;
        else
            break;
    }
    return std::min(i, argc);
}

} // namespace

int main(int argc, char** argv) {
    using namespace vq5::cli;
    PrepareStdStreams();
    // Only the words before the verb are parsed here; the verb parses everything after its
    // name itself, exactly as it was given (and tells its own --help). The verbs are listed
    // as sub-commands for the help alone.
    CLI::App app("The VQ-5 service tools on the command line.", "vq5");
    StyleVerbApp(app,
                 std::string("config, info, reset, report, filter, send, io and velto add a visit to the\n"
                             "service record when they reach a device (see 'vq5 history --help').\n\n"
                             "'vq5 VERB --help' tells more about one verb.\n\n") +
                     kExitCodesHelp);
    AddRecordOptions(app);
    auto verbs = Verbs();
    std::sort(verbs.begin(), verbs.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    for (const Verb& v : verbs)
        app.add_subcommand(v.name, v.summary)->group("Verbs")->set_help_flag();
    if (argc < 2) {
        std::fputs(app.help().c_str(), stderr);
        return kExitUsage;
    }
    const int at = VerbIndex(argc, argv);
    try {
        app.parse(at, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return kExitDone;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "vq5: %s (try 'vq5 --help')\n", Shown(e.what(), 400).c_str());
        return kExitUsage;
    }
    if (at == argc) {
        std::fprintf(stderr, "vq5: no verb after the record's options (try 'vq5 --help')\n");
        return kExitUsage;
    }
    const auto verb =
        std::find_if(verbs.begin(), verbs.end(), [&](const Verb& v) { return v.name == argv[at]; });
    if (verb == verbs.end()) {
        std::fprintf(stderr, "vq5: unknown verb '%s' (try 'vq5 --help')\n", Shown(argv[at]).c_str());
        return kExitUsage;
    }
    // The verb's own arguments, its name first.
    const int rc = verb->run(argc - at, argv + at);
    // A verb that reached a device left its visit for the record.
    FinishVisit(rc);
    FlushRecord();
    return rc;
}
