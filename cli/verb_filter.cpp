// vq5 filter: the headless twin of VQ5WTCT. "load" reads the four transponder filter
// constants from the device; "save" writes them (both offset encodings, the device's version
// lets one through) and optionally reboots the device. Neither changes the line speed.
#include "CliSupport.h"
#include "CommandSet.h"
#include "TransponderModel.h"
#include "Verbs.h"
#include "VisitRecord.h"

#include <cctype>
#include <cstdio>
#include <string>

namespace vq5::cli {
namespace {

const char* const kNames[tct::kSettingCount] = {"Window", "Minimal", "Offset", "Stable"};

int Main(int argc, char** argv) {
    CVerbCommandLine line("filter",
                          "The transponder filter constants, like VQ5WTCT. Both sub-verbs print the values\n"
                          "the device holds, one per line: name, tab, value, tab, the value as the tool's\n"
                          "frame title shows it. Neither changes the line speed (no --fast-speed).\n"
                          "'vq5 filter load --help' and 'vq5 filter save --help' list their options.");
    EngineOptions options;
    tct::CTransponderModel model; // the tool's defaults
    int values[tct::kSettingCount] = {model.m_Window, model.m_Minimal, model.m_Offset, model.m_Stable};
    CLI::App& app = line.App();
    app.require_subcommand(1);
    CLI::App* load = app.add_subcommand("load", "reads Window, Minimal, Offset and Stable from the device;\n"
                                                "done when the device reported all four values");
    CLI::App* saving = app.add_subcommand(
        "save", "writes the four; values not given take the tool's defaults (8, 7, 22, 10), then\n"
                "reads the four back in the same program-mode visit; done when the values read\n"
                "back are those sent. An offset the device cannot hold (below 16 ms before 8.2) is\n"
                "warned about before sending, naming what the device will store; holding that\n"
                "counts as done.");
    for (CLI::App* sub : {load, saving}) {
        StyleVerbApp(*sub);
        AddDeviceVerbOptions(*sub, options, kEveryEngineOption & ~kFastSpeedOption & ~kRebootOption);
    }
    const char* const descriptions[tct::kSettingCount] = {
        "1 to 15, steps of 24 ms", "1 to 15 Vx pulses, not above the window",
        "10 to 25 ms (devices before 8.2 take 16 to 25)", "1 to 15, steps of 100 ms"};
    for (int i = 0; i < tct::kSettingCount; ++i) {
        const tct::SettingRange r = tct::RangeOf(static_cast<tct::Setting>(i));
        std::string name = "--" + std::string(kNames[i]);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        AddNumberOption(*saving, name, i == tct::sOffset ? "MS" : "N", descriptions[i], r.lo, r.hi,
                        [&values, i](long n) { values[i] = static_cast<int>(n); });
    }
    AddReboot(*saving, options.reboot, "reboot the device after programming (\"&PXR\")");
    if (const int rc = line.Parse(argc, argv); rc >= 0)
        return rc;
    const bool save = saving->parsed();

    if (save) {
        if (values[tct::sMinimal] > values[tct::sWindow]) {
            std::fprintf(stderr, "vq5 filter: --minimal (%d) must not be above --window (%d)\n",
                         values[tct::sMinimal], values[tct::sWindow]);
            return kExitUsage;
        }
        if (auto refused = model.Take(values[0], values[1], values[2], values[3], options.reboot)) {
            std::fprintf(stderr, "vq5 filter: %s\n", refused->c_str());
            return kExitUsage;
        }
    }

    if (save) {
        // Before anything is sent: the version is not known yet, so for every device it may reach.
        const std::string warning = device::OffsetWarning(values[tct::sOffset], false, 0, 0);
        if (!warning.empty())
            std::fprintf(stderr, "vq5 filter: warning: %s\n", warning.c_str());
    }

    CConnectionStore store(options);
    CVLPEngine engine(&store);
    CHeadlessRun run(engine, options);
    CVisit visit(save ? "vq5 filter save" : "vq5 filter load", engine, options.port);
    run.Start();

    // What the device says, in order: a later reply for a value replaces an earlier one, so a
    // save's read-back decides (a device may or may not answer a set). Each value is read with
    // the version that held when it arrived.
    tct::CTransponderModel reported;
    tct::CVersionTracker version;
    bool seen[tct::kSettingCount] = {};
    auto handle = [&](const Notification& n) {
        version.OnNotification(n);
        visit.Seen(n);
        if (n.kind != nkReceived)
            return;
        // Each value as the device holds it: read into a fresh model and taken unclamped, so
        // that neither the sliders' ranges nor the Minimal-Window coupling change it.
        tct::CTransponderModel one;
        auto r = one.ParseReply(n.text, engine.AddressCommand("&PK"), version.Major(), version.Minor());
        if (r.effect == tct::CTransponderModel::ReplyEffect::Changed) {
            reported.Value(r.changed) = r.deviceValue;
            seen[r.changed] = true;
            visit.Read(record::kKindConfig, tct::CTransponderModel::SettingKey(r.changed),
                       std::to_string(r.deviceValue));
        }
    };
    std::vector<std::string> saved; // the sets queued, recorded once the device took them
    if (save)
        saved = model.QueueSave(engine, true);
    else
        model.QueueLoad(engine);

    const auto outcome = run.WaitDrained(handle);
    if (outcome == CHeadlessRun::Outcome::Deadline)
        std::fprintf(stderr, "vq5 filter: the device did not answer within %g s (port %s, status %s)\n",
                     options.deadlineS, Shown(options.port).c_str(), engine.StatusText());
    if (outcome != CHeadlessRun::Outcome::Done)
        return CHeadlessRun::ExitCode(outcome);
    if (save)
        visit.Wrote(saved);
    int missing = 0;
    for (int i = 0; i < tct::kSettingCount; ++i) {
        auto s = static_cast<tct::Setting>(i);
        if (seen[i])
            std::printf("%s\t%d\t%s\n", kNames[i], reported.Value(s), reported.FrameTitle(s).c_str());
        else {
            std::printf("%s\t?\t(no reply)\n", kNames[i]);
            ++missing;
        }
    }
    std::fflush(stdout);
    if (missing) {
        std::fprintf(stderr, "vq5 filter: the device reported %d of the 4 values%s\n",
                     tct::kSettingCount - missing, save ? " read back after the save" : "");
        return kExitFailed;
    }
    if (!save)
        return kExitDone;
    int differences = 0;
    for (int i = 0; i < tct::kSettingCount; ++i) {
        auto s = static_cast<tct::Setting>(i);
        const int held = model.HeldValue(s, version.IdentifiedMajor(), version.IdentifiedMinor());
        if (reported.Value(s) != held) {
            std::fprintf(stderr, "vq5 filter: %s: sent %d, the device holds %d\n", kNames[i], model.Value(s),
                         reported.Value(s));
            ++differences;
        } else if (held != model.Value(s)) {
            std::fprintf(stderr, "vq5 filter: %s: sent %d, the device holds %d, as warned\n", kNames[i],
                         model.Value(s), held);
        }
    }
    if (differences) {
        std::fprintf(stderr, "vq5 filter: %d of the 4 values read back differ from what was sent\n",
                     differences);
        return kExitFailed;
    }
    return kExitDone;
}

VerbRegistrar reg("filter", "loads or saves the transponder filter constants, like VQ5WTCT", &Main);

} // namespace
} // namespace vq5::cli
