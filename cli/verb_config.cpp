// vq5 config: the programmer's configuration as a readable settings file.
//
//   vq5 config read  [engine options] [--expert] [--out FILE]
//   vq5 config write [engine options] [--expert] [--verify] FILE
//
// "read" runs the programmer's read sequence and writes every setting the device answered as
// a "Key=Value" line, the keys being the programmer's own settings names. "write" runs the
// programmer's write sequence with the settings the file names: a key that is absent is not
// written (indeterminate, as in the window). With --verify the configuration is read back
// and every setting of the file that the device does not hold is listed; the exit code is
// then 1.
#include "CliSupport.h"
#include "MultiPort.h"
#include "ProgrammerModel.h"
#include "Verbs.h"
#include "VisitRecord.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace {

using namespace vq5;
using namespace vq5::programmer;

constexpr int kExitOk = 0;
constexpr int kExitDiffers = 1; // --verify found differences
constexpr int kExitUsage = 2;   // bad options or a bad file
constexpr int kExitLink = 3;    // the port could not be opened, or the device did not answer in time

const char* const kUsageRead = "config read [--port NAME] [--expert] [--out FILE] [engine options]";
const char* const kUsageWrite = "config write [--port NAME] [--reboot] [--verify] [--expert] FILE [engine options]";

void PrintHelp(std::FILE* out) {
    std::fprintf(out,
                 "usage: vq5 %s\n"
                 "       vq5 %s\n\n"
                 "read   reads the device's whole configuration (the programmer's \"&From\") and writes\n"
                 "       it as Key=Value lines (to FILE with --out, else to stdout). Only settings the\n"
                 "       device answered are written; the keys are the programmer's settings names.\n"
                 "write  writes the settings the file names (the programmer's \"&To\"); an absent key\n"
                 "       is left alone. ConfigID is written unless CheckConfigID=0, each filter\n"
                 "       constant unless CheckTransConfig=0; RebootAfterProgramming=1 is --reboot.\n"
                 "       --verify reads the configuration back and lists every setting that differs\n"
                 "       (exit code 1).\n"
                 "--port may be given more than once: every port is served at the same time, and a\n"
                 "table of port, identification, outcome and differences ends the run (with --out,\n"
                 "each port's file is FILE with the port's name put before its extension).\n"
                 "--expert  also reads \"Paralelle transponder\" (FlagParalelleTransponder).\n\n"
                 "Values: tri-states 0 off, 1 on, 2 indeterminate; texts as they stand after '=',\n"
                 "with \\\\ for a backslash and \\xHH for a character outside printable ASCII.\n"
                 "Lines starting with ';' or '#' and [section] lines are skipped.\n\n"
                 "Exit codes: 0 done, 1 verify found differences, 2 bad options or file, 3 port or\n"
                 "device failure.\n\n%s\n",
                 kUsageRead, kUsageWrite, cli::kEngineOptionsHelp);
}

// One program-mode batch: queued, every notification fed to the model; returns the settings
// the device answered.
struct BatchResult {
    cli::CHeadlessRun::Outcome outcome;
    std::set<std::string> answered;
};

BatchResult RunBatch(CVLPEngine& engine, cli::CHeadlessRun& run, CProgrammerModel& model, const CSequence& seq,
                     cli::CVisit& visit) {
    BatchResult r;
    QueueSequence(engine, seq);
    r.outcome = run.WaitDrained([&](const Notification& n) {
        visit.Seen(n);
        const CNotifyOutcome out = model.OnNotification(n);
        for (const std::string& key : out.parse.changed)
            r.answered.insert(key);
    });
    return r;
}

int ReportOutcome(cli::CHeadlessRun::Outcome o, const cli::EngineOptions& opt) {
    if (o == cli::CHeadlessRun::Outcome::Stopped) {
        std::fprintf(stderr, "vq5 config: the engine stopped on port %s (see the message above)\n", opt.port.c_str());
        return kExitLink;
    }
    if (o == cli::CHeadlessRun::Outcome::Deadline) {
        std::fprintf(stderr, "vq5 config: the device on %s did not finish within %g s\n", opt.port.c_str(),
                     opt.deadlineS);
        return kExitLink;
    }
    return kExitOk;
}

bool WriteWhole(const std::string& path, const std::string& text, std::string& error) {
    // Beside the target, then renamed over it: a failed run never leaves half a file.
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "cannot write " + temp + ": " + std::strerror(errno);
            return false;
        }
        out << text;
        out.flush();
        if (!out) {
            error = "cannot write " + temp + ": " + std::strerror(errno);
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = "cannot rename " + temp + " to " + path + ": " + std::strerror(errno);
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

bool ReadWhole(const std::string& path, std::string& text, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    text = ss.str();
    return true;
}

struct Args {
    cli::EngineOptions engine;
    bool expert = false;
    bool verify = false;
    std::string out;
    std::vector<std::string> files;
};

// Parses the options after the sub-verb; returns -1 when fine, else an exit code.
int ParseArgs(int argc, char** argv, int first, bool write, Args& a) {
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintHelp(stdout);
            return kExitOk;
        }
        std::string error;
        switch (cli::ParseEngineOption(argc, argv, i, a.engine, error)) {
        case cli::OptionResult::Taken:
            continue;
        case cli::OptionResult::Error:
            std::fprintf(stderr, "vq5 config: %s\n", error.c_str());
            return kExitUsage;
        case cli::OptionResult::NotMine:
            break;
        }
        if (arg == "--expert") {
            a.expert = true;
        } else if (write && arg == "--verify") {
            a.verify = true;
        } else if (!write && arg == "--out") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "vq5 config: --out needs a file name\n");
                return kExitUsage;
            }
            a.out = argv[++i];
        } else if (write && !arg.empty() && arg[0] != '-') {
            a.files.push_back(arg);
        } else {
            std::fprintf(stderr, "vq5 config: unknown option '%s' (try 'vq5 config --help')\n", arg.c_str());
            return kExitUsage;
        }
    }
    if (!write && a.engine.reboot) {
        std::fprintf(stderr, "vq5 config: read does not reboot the device\n");
        return kExitUsage;
    }
    if (write && a.files.size() != 1) {
        std::fprintf(stderr, "vq5 config: write needs exactly one FILE\n");
        return kExitUsage;
    }
    return -1;
}

int Read(const Args& a) {
    CMemoryStore store;
    cli::ApplyConnectionSettings(store, a.engine);
    CVLPEngine engine(&store);
    cli::CHeadlessRun run(engine, a.engine);
    cli::CVisit visit("vq5 config read", engine, a.engine.port);
    CProgrammerModel model;
    model.m_Expert = a.expert;
    run.Start();
    const BatchResult r = RunBatch(engine, run, model, CProgrammerModel::ReadSequence(a.expert), visit);
    for (const std::string& key : r.answered)
        if (const auto value = ValueText(model.m_Values, key))
            visit.Read(record::kKindConfig, key, *value);
    if (const int rc = ReportOutcome(r.outcome, a.engine); rc != kExitOk)
        return rc;
    if (r.answered.empty()) {
        std::fprintf(stderr, "vq5 config: the device on %s answered none of the queries\n", a.engine.port.c_str());
        return kExitLink;
    }
    const std::vector<std::string> keys(r.answered.begin(), r.answered.end());
    std::vector<std::string> header = {"VQ-5 configuration, read by vq5 config read",
                                       "device: " + model.m_Device.identification};
    const std::string text = FormatConfigFile(model.m_Values, keys, header);
    if (a.out.empty() && !cli::LinePrefix().empty()) {
        // Several ports and no file: each port's lines carry its name.
        std::string lines;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find('\n', at);
            lines += cli::LinePrefix() + text.substr(at, end == std::string::npos ? end : end + 1 - at);
            at = end == std::string::npos ? text.size() : end + 1;
        }
        std::fwrite(lines.data(), 1, lines.size(), stdout);
        std::fflush(stdout);
        return kExitOk;
    }
    if (a.out.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
        return kExitOk;
    }
    std::string error;
    if (!WriteWhole(a.out, text, error)) {
        std::fprintf(stderr, "vq5 config: %s\n", error.c_str());
        return kExitUsage;
    }
    return kExitOk;
}

int Write(const Args& a) {
    std::string text, error;
    if (!ReadWhole(a.files[0], text, error)) {
        std::fprintf(stderr, "vq5 config: %s\n", error.c_str());
        return kExitUsage;
    }
    const auto file = ParseConfigFile(text, error);
    if (!file) {
        std::fprintf(stderr, "vq5 config: %s: %s\n", a.files[0].c_str(), error.c_str());
        return kExitUsage;
    }
    const auto w = FileToWrite(*file, error);
    if (!w) {
        std::fprintf(stderr, "vq5 config: %s: %s\n", a.files[0].c_str(), error.c_str());
        return kExitUsage;
    }
    CProgrammerModel model;
    model.m_Values = w->values;
    auto seq = model.WriteSequence(w->selection, error);
    if (!seq) {
        // Never sent cut: the whole write is refused.
        std::fprintf(stderr, "vq5 config: %s: %s\n", a.files[0].c_str(), error.c_str());
        return kExitUsage;
    }
    seq->reboot = seq->reboot || a.engine.reboot;
    for (const std::string& note : w->notes)
        std::fprintf(stderr, "vq5 config: note: %s\n", note.c_str());

    CMemoryStore store;
    cli::ApplyConnectionSettings(store, a.engine);
    CVLPEngine engine(&store);
    cli::CHeadlessRun run(engine, a.engine);
    cli::CVisit visit("vq5 config write", engine, a.engine.port);
    run.Start();
    const BatchResult written = RunBatch(engine, run, model, *seq, visit);
    if (const int rc = ReportOutcome(written.outcome, a.engine); rc != kExitOk)
        return rc;
    // The device took the whole batch: what it holds now, and the texts it took.
    visit.Wrote(seq->texts);
    for (const std::string& key : w->compared)
        if (const auto value = ValueText(w->values, key))
            visit.Read(record::kKindConfig, key, *value);
    if (!a.verify)
        return kExitOk;

    // Read back into a model of its own and compare every setting the file wrote.
    const bool expert = a.expert || file->Find(FlagRows()[fParalelleTransponder].key) != nullptr;
    CProgrammerModel back;
    back.m_Expert = expert;
    back.m_Device = model.m_Device;
    const BatchResult read = RunBatch(engine, run, back, CProgrammerModel::ReadSequence(expert), visit);
    if (const int rc = ReportOutcome(read.outcome, a.engine); rc != kExitOk)
        return rc;
    int differences = 0;
    for (const std::string& key : w->compared) {
        const std::string want = *ValueText(w->values, key);
        if (!read.answered.count(key)) {
            std::printf("%s%s: file %s, device did not answer\n", cli::LinePrefix().c_str(), key.c_str(),
                        EscapeValue(want).c_str());
            ++differences;
            continue;
        }
        const std::string got = *ValueText(back.m_Values, key);
        if (got != want) {
            std::printf("%s%s: file %s, device %s\n", cli::LinePrefix().c_str(), key.c_str(), EscapeValue(want).c_str(),
                        EscapeValue(got).c_str());
            ++differences;
        }
    }
    std::fflush(stdout);
    if (differences)
        visit.SetNote("verify: " + std::to_string(differences) + " differ");
    if (differences) {
        std::fprintf(stderr, "vq5 config: %d setting%s differ%s\n", differences, differences == 1 ? "" : "s",
                     differences == 1 ? "s" : "");
        return kExitDiffers;
    }
    return kExitOk;
}

int Main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        PrintHelp(argc < 2 ? stderr : stdout);
        return argc < 2 ? kExitUsage : kExitOk;
    }
    const std::string sub = argv[1];
    if (sub != "read" && sub != "write") {
        std::fprintf(stderr, "vq5 config: unknown '%s': read or write (try 'vq5 config --help')\n", sub.c_str());
        return kExitUsage;
    }
    const std::vector<std::string> ports = cli::TakePorts(argc, argv);
    Args a;
    if (const int rc = ParseArgs(argc, argv, 2, sub == "write", a); rc >= 0)
        return rc;
    if (!ports.empty())
        a.engine.port = ports.front();
    if (ports.size() > 1)
        return cli::RunOnPorts(sub == "read" ? "config read" : "config write", ports, [&](const std::string& port) {
            Args one = a;
            one.engine.port = port;
            if (!one.out.empty())
                one.out = cli::PerPortFile(a.out, port);
            return sub == "read" ? Read(one) : Write(one);
        });
    return sub == "read" ? Read(a) : Write(a);
}

vq5::cli::VerbRegistrar reg("config", "config read|write ... : the programmer's configuration as a Key=Value file",
                            &Main);

} // namespace
