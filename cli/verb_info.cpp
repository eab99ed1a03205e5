// vq5 info: the headless twin of VQ5WInfo. Requests groups of the information item table
// and prints every row the tool would list, "Item<TAB>Value", one per line.
#include "CliSupport.h"
#include "InfoTable.h"
#include "MultiPort.h"
#include "Verbs.h"
#include "VisitRecord.h"

#include <cstdio>
#include <string>
#include <vector>

namespace vq5::cli {
namespace {

constexpr const char* kUsage =
    "info [--port NAME] [--expert] [--timeout MS] [--fast-speed N] [--deadline S] [--trace MASK] [GROUP...]";

void Help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vq5 %s\n\n"
                 "Asks the device for groups of information, as the buttons of VQ5WInfo do, and\n"
                 "prints every row the tool would list: the item, a tab, the value. Each GROUP is\n"
                 "one program-mode sequence, in the order given (default: all).\n\n"
                 "  GROUP            all, version, rcs, datacalls, settings, misc\n"
                 "  --expert         also ask the expert-only items (as with VQ5WInfo.Lumark)\n%s"
                 "--port may be given more than once: every port is asked at the same time, each line\n"
                 "starts with its port and a tab, and a table of the ports ends the run.\n"
                 "A backslash and control characters in a value are printed as \\\\ and \\xHH.\n"
                 "Exits 0 when every request was answered to its end.\n",
                 kUsage, kEngineOptionsHelp);
}

// One row as a line: control characters (tab and newline among them) would break the
// columns, so they and the backslash are escaped.
std::string Escaped(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int Run(const EngineOptions& options, bool expert, const std::vector<std::uint32_t>& groups);

int Main(int argc, char** argv) {
    const std::vector<std::string> ports = TakePorts(argc, argv);
    EngineOptions options;
    bool expert = false;
    std::vector<std::uint32_t> groups;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Help(stdout);
            return 0;
        }
        if (arg == "--expert") {
            expert = true;
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') {
            std::string error;
            OptionResult r = ParseEngineOption(argc, argv, i, options, error);
            if (r == OptionResult::Error) {
                std::fprintf(stderr, "vq5 info: %s\n", error.c_str());
                return 2;
            }
            if (r == OptionResult::NotMine) {
                std::fprintf(stderr, "vq5 info: unknown option '%s' (try 'vq5 info --help')\n", arg.c_str());
                return 2;
            }
            if (options.reboot) {
                std::fprintf(stderr, "vq5 info: --reboot is not for this verb: it only asks, it never changes the device\n");
                return 2;
            }
            continue;
        }
        std::uint32_t group = information::GroupByName(arg);
        if (group == 0) {
            std::fprintf(stderr, "vq5 info: unknown group '%s' (all, version, rcs, datacalls, settings, misc)\n",
                         arg.c_str());
            return 2;
        }
        groups.push_back(group);
    }
    if (groups.empty())
        groups.push_back(information::gAllInfo);
    if (!ports.empty())
        options.port = ports.front();
    if (ports.size() > 1)
        return RunOnPorts("info", ports, [&](const std::string& port) {
            EngineOptions one = options;
            one.port = port;
            return Run(one, expert, groups);
        });
    return Run(options, expert, groups);
}

int Run(const EngineOptions& options, bool expert, const std::vector<std::uint32_t>& groups) {
    CMemoryStore store;
    ApplyConnectionSettings(store, options);
    CVLPEngine engine(&store);
    CHeadlessRun run(engine, options);
    CVisit visit("vq5 info", engine, options.port);
    run.Start();

    auto print = [&](const Notification& n) {
        visit.Seen(n);
        if (n.kind != nkReceived)
            return;
        for (const auto& row : information::RowsForReply(n.text)) {
            visit.Read(row.item == "Counters" ? record::kKindCounters : record::kKindInfo, row.item, row.value);
            std::printf("%s%s\t%s\n", LinePrefix().c_str(), Escaped(row.item).c_str(), Escaped(row.value).c_str());
        }
        std::fflush(stdout);
    };
    // One request at a time, so that each waits for its own exit reply.
    for (std::uint32_t group : groups) {
        information::QueueRequest(engine, group, expert);
        switch (run.WaitDrained(print)) {
        case CHeadlessRun::Outcome::Done:
            break;
        case CHeadlessRun::Outcome::Stopped:
            return 1; // the engine has said why (the port's error on stderr)
        case CHeadlessRun::Outcome::Deadline:
            std::fprintf(stderr, "vq5 info: the device did not answer within %g s (port %s, status %s)\n",
                         options.deadlineS, options.port.c_str(), engine.StatusText());
            return 1;
        }
    }
    return 0;
}

VerbRegistrar reg("info", kUsage, &Main);

} // namespace
} // namespace vq5::cli
