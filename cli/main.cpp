// vq5: the VQ-5 service tools on the command line.
#include "CliSupport.h"
#include "Verbs.h"

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
    std::fprintf(out, "\n'vq5 VERB --help' tells more about one verb.\n\n%s", vq5::cli::kExitCodesHelp);
}
} // namespace

int main(int argc, char** argv) {
    vq5::cli::PrepareStdStreams();
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintHelp(argc < 2 ? stderr : stdout);
        return argc < 2 ? vq5::cli::kExitUsage : vq5::cli::kExitDone;
    }
    for (const auto& v : vq5::cli::Verbs())
        if (v.name == argv[1])
            return v.run(argc - 1, argv + 1);
    std::fprintf(stderr, "vq5: unknown verb '%s' (try 'vq5 --help')\n", vq5::cli::Shown(argv[1]).c_str());
    return vq5::cli::kExitUsage;
}
