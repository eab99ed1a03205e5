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
#include "CommandSet.h"
#include "MultiPort.h"
#include "ConfigFile.h"
#include "TextFile.h"
#include "Verbs.h"
#include "VisitRecord.h"

#include <sys/stat.h>

#include <cstdio>
#include <set>

namespace {

using namespace vq5;
using namespace vq5::programmer;
namespace dev = vq5::device;

using cli::kExitFailed;
using cli::kExitUsage;
using cli::Shown;
constexpr int kExitOk = cli::kExitDone;
constexpr int kExitDiffers = cli::kExitFailed; // --verify found differences

// One program-mode batch: queued, every notification fed to the model; returns the settings
// the device answered.
struct BatchResult {
    cli::CHeadlessRun::Outcome outcome;
    std::set<std::string> answered;
};

BatchResult RunBatch(CVLPEngine& engine, cli::CHeadlessRun& run, CProgrammerModel& model,
                     const CSequence& seq, cli::CVisit& visit) {
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
    if (o == cli::CHeadlessRun::Outcome::Stopped)
        std::fprintf(stderr, "vq5 config: the engine stopped on port %s (see the message above)\n",
                     Shown(opt.port).c_str());
    if (o == cli::CHeadlessRun::Outcome::Deadline)
        std::fprintf(stderr, "vq5 config: the device on %s did not finish within %g s\n",
                     Shown(opt.port).c_str(), opt.deadlineS);
    return cli::CHeadlessRun::ExitCode(o);
}

struct Args {
    cli::EngineOptions engine;
    bool expert = false;
    bool verify = false;
    std::string out;
    std::string file;
};

int Read(const Args& a) {
    // An --out that can never be written is refused before the device is asked.
    struct stat st {};
    if (!a.out.empty() && ::stat(a.out.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        std::fprintf(stderr, "vq5 config: cannot write %s: not a regular file\n", Shown(a.out).c_str());
        return kExitUsage;
    }
    cli::CConnectionStore store(a.engine);
    CVLPEngine engine(&store);
    cli::CHeadlessRun run(engine, a.engine);
    cli::CVisit visit("vq5 config read", engine, a.engine.port);
    CProgrammerModel model;
    model.m_Expert = a.expert;
    model.m_CoupleReplies = false; // the file holds what the device holds
    run.Start();
    const BatchResult r = RunBatch(engine, run, model, CProgrammerModel::ReadSequence(a.expert), visit);
    for (const std::string& key : r.answered)
        if (const auto value = ValueText(model.m_Values, key))
            visit.Read(record::kKindConfig, key, *value);
    if (const int rc = ReportOutcome(r.outcome, a.engine); rc != kExitOk)
        return rc;
    if (r.answered.empty()) {
        std::fprintf(stderr, "vq5 config: the device on %s answered none of the queries\n",
                     Shown(a.engine.port).c_str());
        return kExitFailed;
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
    if (!SaveTextFile(a.out, text, error)) {
        std::fprintf(stderr, "vq5 config: %s\n", Shown(error, 400).c_str());
        return kExitUsage;
    }
    return kExitOk;
}

int Write(const Args& a) {
    std::string text, error;
    if (ReadTextFile(a.file, text, error) != ReadFileResult::Read) {
        std::fprintf(stderr, "vq5 config: %s\n", Shown(error, 400).c_str());
        return kExitUsage;
    }
    const auto file = ParseConfigFile(text, error);
    if (!file) {
        std::fprintf(stderr, "vq5 config: %s: %s\n", Shown(a.file).c_str(), Shown(error, 400).c_str());
        return kExitUsage;
    }
    const auto w = FileToWrite(*file, error);
    if (!w) {
        std::fprintf(stderr, "vq5 config: %s: %s\n", Shown(a.file).c_str(), Shown(error, 400).c_str());
        return kExitUsage;
    }
    CProgrammerModel model;
    model.m_Values = w->values;
    auto seq = model.WriteSequence(w->selection, error);
    if (!seq) {
        // Never sent cut: the whole write is refused.
        std::fprintf(stderr, "vq5 config: %s: %s\n", Shown(a.file).c_str(), Shown(error, 400).c_str());
        return kExitUsage;
    }
    seq->reboot = seq->reboot || a.engine.reboot;
    for (const std::string& note : w->notes)
        std::fprintf(stderr, "vq5 config: note: %s\n", Shown(note, 400).c_str());
    if (const std::string warning = model.OffsetWarning(w->selection); !warning.empty())
        std::fprintf(stderr, "vq5 config: warning: TransConfigSliderOffset2: %s\n", warning.c_str());

    cli::CConnectionStore store(a.engine);
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
    back.m_CoupleReplies = false;
    const BatchResult read = RunBatch(engine, run, back, CProgrammerModel::ReadSequence(expert), visit);
    if (const int rc = ReportOutcome(read.outcome, a.engine); rc != kExitOk)
        return rc;
    const bool identified = back.m_Device.identifications > 0;
    const unsigned major = back.m_Device.identifiedMajor, minor = back.m_Device.identifiedMinor;
    const std::string offsetKey = SliderRows()[slOffset].key;
    int differences = 0;
    for (const std::string& key : w->compared) {
        const std::string want = *ValueText(w->values, key);
        if (identified && !KeyOnVersion(key, major, minor)) {
            // The device's version has no such setting: the set was held back, nothing differs.
            std::printf("%s: file %s, not on this version (%X.%X)\n", key.c_str(), EscapeValue(want).c_str(),
                        major, minor);
            continue;
        }
        if (key == offsetKey && read.answered.count(key)) {
            // An offset the device cannot hold is stored as the warning before sending said.
            const int sent = w->values.m_Slider[slOffset];
            const int held = dev::OffsetHeld(sent, major, minor);
            if (held != sent && back.m_Values.m_Slider[slOffset] == held) {
                std::fprintf(stderr, "vq5 config: note: %s: file %d, device %d as expected (%s)\n",
                             key.c_str(), sent, held, dev::OffsetWarning(sent, true, major, minor).c_str());
                continue;
            }
        }
        if (!read.answered.count(key)) {
            std::printf("%s%s: file %s, device did not answer\n", cli::LinePrefix().c_str(), key.c_str(),
                        EscapeValue(want).c_str());
            ++differences;
            continue;
        }
        const std::string got = *ValueText(back.m_Values, key);
        if (got != want) {
            std::printf("%s%s: file %s, device %s\n", cli::LinePrefix().c_str(), key.c_str(),
                        EscapeValue(want).c_str(), EscapeValue(got).c_str());
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
    cli::CVerbCommandLine line(
        "config", "The programmer's configuration as Key=Value lines, the keys being the programmer's\n"
                  "settings names. Values: tri-states 0 off, 1 on, 2 indeterminate; texts as they stand\n"
                  "after '=', with \\\\ for a backslash and \\xHH for a character outside printable\n"
                  "ASCII. Lines starting with ';' or '#' and [section] lines are skipped.\n"
                  "'vq5 config read --help' and 'vq5 config write --help' list their options.");
    Args a;
    std::vector<std::string> ports;
    CLI::App& app = line.App();
    app.require_subcommand(1);
    CLI::App* read = app.add_subcommand(
        "read", "reads the device's whole configuration (the programmer's \"&From\") and writes\n"
                "it as Key=Value lines (to FILE with --out, else to stdout). Only settings the\n"
                "device answered are written.");
    CLI::App* write = app.add_subcommand(
        "write", "writes the settings FILE names (the programmer's \"&To\"); an absent key\n"
                 "is left alone. ConfigID is written unless CheckConfigID=0, each filter\n"
                 "constant unless CheckTransConfig=0; RebootAfterProgramming=1 is --reboot.\n"
                 "FILE must be a regular file of at most 1 MB.");
    cli::StyleVerbApp(*read);
    cli::StyleVerbApp(*write,
                      std::string(cli::kExitCodesHelp) + "--verify finding a difference counts as 1.\n");
    for (CLI::App* sub : {read, write}) {
        cli::AddPorts(*sub, ports,
                      "every port is served at the same time, and a\n"
                      "table of port, identification, outcome and differences ends the run (with --out,\n"
                      "each port's file is FILE with the port's name put before its extension)");
        sub->add_flag("--expert", a.expert,
                      "also reads \"Paralelle transponder\" (FlagParalelleTransponder)");
        // Only writing may end with a reboot.
        const unsigned reboot = sub == write ? cli::kRebootOption : 0u;
        cli::AddDeviceVerbOptions(
            *sub, a.engine, (cli::kEveryEngineOption & ~cli::kPortOption & ~cli::kRebootOption) | reboot);
    }
    read->add_option("--out", a.out, "write to FILE instead of stdout")->type_name("FILE");
    write->add_flag("--verify", a.verify,
                    "read the configuration back and list every setting that differs\n"
                    "(exit code 1). A setting the device's version does not have is listed as\n"
                    "\"not on this version\" and does not count. An offset the device cannot hold\n"
                    "(warned about before sending, with the value it will store) counts as\n"
                    "done when the device holds that value.");
    write->add_option("FILE", a.file, "the settings to write")->required()->type_name("");
    if (const int rc = line.Parse(argc, argv); rc >= 0)
        return rc;
    const bool reading = read->parsed();
    if (!ports.empty())
        a.engine.port = ports.front();
    if (ports.size() > 1)
        return cli::RunOnPorts(reading ? "config read" : "config write", ports, [&](const std::string& port) {
            Args one = a;
            one.engine.port = port;
            if (!one.out.empty())
                one.out = cli::PerPortFile(a.out, port);
            return reading ? Read(one) : Write(one);
        });
    return reading ? Read(a) : Write(a);
}

vq5::cli::VerbRegistrar reg("config", "reads or writes the programmer's configuration as a Key=Value file",
                            &Main);

} // namespace
