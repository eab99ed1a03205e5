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

int Run(const EngineOptions& options, bool expert, const std::vector<std::uint32_t>& groups);

int Main(int argc, char** argv) {
    CVerbCommandLine line(
        "info", "Asks the device for groups of information, as the buttons of VQ5WInfo do, and\n"
                "prints every row the tool would list: the item, a tab, the value. Each GROUP is\n"
                "one program-mode sequence, in the order given (default: all).\n"
                "A backslash and any byte outside printable ASCII are printed as \\\\ and \\xHH.\n"
                "Done when the device answered every group and acknowledged the program-mode exit.");
    EngineOptions options;
    std::vector<std::string> ports;
    bool expert = false;
    std::vector<std::uint32_t> groups;
    AddPorts(
        line.App(), ports,
        "every port is asked at the same time, each line starts\nwith its port and a tab, and a table of "
        "the ports ends the run");
    line.App().add_flag("--expert", expert, "also ask the expert-only items (as with VQ5WInfo.Lumark)");
    AddDeviceVerbOptions(line.App(), options, kEveryEngineOption & ~kPortOption & ~kRebootOption);
    line.App()
        .add_option_function<std::vector<std::string>>(
            "GROUP", [](const std::vector<std::string>&) {}, "all, version, rcs, datacalls, settings, misc")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->type_name("")
        ->check(CLI::Validator(
            [&groups](std::string& name) -> std::string {
                const std::uint32_t group = information::GroupByName(name);
                if (group == 0)
                    return "unknown group '" + Shown(name) +
                           "' (all, version, rcs, datacalls, settings, misc)";
                groups.push_back(group);
                return "";
            },
            "", ""));
    if (const int rc = line.Parse(argc, argv); rc >= 0)
        return rc;
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
    CConnectionStore store(options);
    CVLPEngine engine(&store);
    CHeadlessRun run(engine, options);
    CVisit visit("vq5 info", engine, options.port);
    run.Start();

    std::size_t rows = 0; // rows of the group being asked
    auto print = [&](const Notification& n) {
        visit.Seen(n);
        if (n.kind != nkReceived)
            return;
        for (const auto& row : information::RowsForReply(n.text)) {
            ++rows;
            visit.Read(row.item == "Counters" ? record::kKindCounters : record::kKindInfo, row.item,
                       row.value);
            std::printf("%s%s\t%s\n", LinePrefix().c_str(), Shown(row.item, kMaxTraceLine).c_str(),
                        Shown(row.value, kMaxTraceLine).c_str());
        }
        std::fflush(stdout);
    };
    // One request at a time, so that each waits for its own exit reply.
    for (std::uint32_t group : groups) {
        rows = 0;
        information::QueueRequest(engine, group, expert);
        const auto outcome = run.WaitDrained(print);
        // Stopped: the engine has said why (the port's error on stderr).
        if (outcome == CHeadlessRun::Outcome::Deadline)
            std::fprintf(stderr, "vq5 info: the device did not answer within %g s (port %s, status %s)\n",
                         options.deadlineS, Shown(options.port).c_str(), engine.StatusText());
        if (outcome != CHeadlessRun::Outcome::Done)
            return CHeadlessRun::ExitCode(outcome);
        // A device need not answer the program-mode exit: the rows are what this verb waits for.
        if (rows == 0) {
            std::fprintf(stderr, "vq5 info: the device on %s answered none of the requests\n",
                         Shown(options.port).c_str());
            return kExitFailed;
        }
    }
    return kExitDone;
}

VerbRegistrar reg("info", "prints the device's information like VQ5WInfo", &Main);

} // namespace
} // namespace vq5::cli
