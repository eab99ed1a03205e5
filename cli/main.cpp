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

namespace {
void PrintHelp(std::FILE* out) {
    auto verbs = vq5::cli::Verbs();
    std::sort(verbs.begin(), verbs.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    std::fprintf(out, "usage: vq5 VERB [OPTIONS]...\n\nVerbs:\n");
    for (const auto& v : verbs)
        std::fprintf(out, "  %s\n", v.usage.c_str());
    std::fprintf(
        out, "\nconfig, info, reset, report, filter, send, io and velto add a visit to the service record\n"
             "when they reach a device (see 'vq5 history --help'); --db URL names the record for this\n"
             "run, --no-record leaves it out.\n");
    std::fprintf(out, "\n'vq5 VERB --help' tells more about one verb.\n\n%s", vq5::cli::kExitCodesHelp);
}
} // namespace

int main(int argc, char** argv) {
    vq5::cli::PrepareStdStreams();
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintHelp(argc < 2 ? stderr : stdout);
        return argc < 2 ? vq5::cli::kExitUsage : vq5::cli::kExitDone;
    }
    if (!vq5::cli::TakeRecordOptions(argc, argv))
        return 2;
    if (argc < 2) {
        std::fprintf(stderr, "vq5: no verb after the record's options (try 'vq5 --help')\n");
        return 2;
    }
    for (const auto& v : vq5::cli::Verbs())
        if (v.name == argv[1]) {
            const int rc = v.run(argc - 1, argv + 1);
            // A verb that reached a device left its visit for the record.
            vq5::cli::FinishVisit(rc);
            vq5::cli::FlushRecord();
            return rc;
        }
    std::fprintf(stderr, "vq5: unknown verb '%s' (try 'vq5 --help')\n", vq5::cli::Shown(argv[1]).c_str());
    return vq5::cli::kExitUsage;
}
