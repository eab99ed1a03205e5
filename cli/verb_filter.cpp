// vq5 filter: the headless twin of VQ5WTCT. "load" reads the four transponder filter
// constants from the device; "save" writes them (both offset encodings, the device's version
// lets one through) and optionally reboots the device. Neither changes the line speed.
#include "CliSupport.h"
#include "CommandSet.h"
#include "TransponderModel.h"
#include "Verbs.h"
#include "VisitRecord.h"

#include <cstdio>
#include <string>

namespace vq5::cli {
namespace {

constexpr const char* kUsage = "filter load|save [--port NAME] [--window N --minimal N --offset MS --stable "
                               "N] [--reboot] [--timeout MS] "
                               "[--deadline S] [--trace MASK]";

void Help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vq5 %s\n\n"
                 "load  reads Window, Minimal, Offset and Stable from the device.\n"
                 "save  writes them; values not given take the tool's defaults (8, 7, 22, 10), then\n"
                 "      reads the four back in the same program-mode visit.\n"
                 "Both print the values the device holds, one per line: name, tab, value, tab,\n"
                 "the value as the tool's frame title shows it.\n\n"
                 "  --window N       1 to 15, steps of 24 ms\n"
                 "  --minimal N      1 to 15 Vx pulses, not above the window\n"
                 "  --offset MS      10 to 25 ms (devices before 8.2 take 16 to 25)\n"
                 "  --stable N       1 to 15, steps of 100 ms\n"
                 "  --reboot         save only: reboot the device after programming (\"&PXR\")\n%s"
                 "--fast-speed is refused: this tool never changes the line speed.\n"
                 "load exits 0 when the device reported all four values; save when the values read\n"
                 "back are those sent. An offset the device cannot hold (below 16 ms before 8.2) is\n"
                 "warned about before sending, naming what the device will store; holding that\n"
                 "counts as done.\n\n%s",
                 kUsage, kEngineOptionsHelp, kExitCodesHelp);
}

const char* const kNames[tct::kSettingCount] = {"Window", "Minimal", "Offset", "Stable"};

int Main(int argc, char** argv) {
    if (argc >= 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        Help(stdout);
        return kExitDone;
    }
    if (argc < 2 || (std::string(argv[1]) != "load" && std::string(argv[1]) != "save")) {
        std::fprintf(stderr, "vq5 filter: say 'load' or 'save' (try 'vq5 filter --help')\n");
        return kExitUsage;
    }
    const bool save = std::string(argv[1]) == "save";
    EngineOptions options;
    tct::CTransponderModel model; // the tool's defaults
    int values[tct::kSettingCount] = {model.m_Window, model.m_Minimal, model.m_Offset, model.m_Stable};
    bool valueGiven = false;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Help(stdout);
            return kExitDone;
        }
        int which = arg == "--window"    ? tct::sWindow
                    : arg == "--minimal" ? tct::sMinimal
                    : arg == "--offset"  ? tct::sOffset
                    : arg == "--stable"  ? tct::sStable
                                         : -1;
        if (which >= 0) {
            tct::SettingRange r = tct::RangeOf(static_cast<tct::Setting>(which));
            long n = 0;
            if (i + 1 >= argc || !ParseNumber(argv[i + 1], r.lo, r.hi, n)) {
                std::fprintf(stderr, "vq5 filter: %s must be %d to %d%s%s%s\n", arg.c_str(), r.lo, r.hi,
                             i + 1 < argc ? ", not '" : "", i + 1 < argc ? Shown(argv[i + 1]).c_str() : "",
                             i + 1 < argc ? "'" : "");
                return kExitUsage;
            }
            values[which] = static_cast<int>(n);
            valueGiven = true;
            ++i;
            continue;
        }
        if (arg == "--fast-speed") {
            std::fprintf(stderr,
                         "vq5 filter: --fast-speed is refused: this tool never changes the line speed\n");
            return kExitUsage;
        }
        std::string error;
        OptionResult r = ParseEngineOption(argc, argv, i, options, error);
        if (r == OptionResult::Error) {
            std::fprintf(stderr, "vq5 filter: %s\n", Shown(error).c_str());
            return kExitUsage;
        }
        if (r == OptionResult::NotMine) {
            std::fprintf(stderr, "vq5 filter: unknown option '%s' (try 'vq5 filter --help')\n",
                         Shown(arg).c_str());
            return kExitUsage;
        }
    }
    if (!save && (valueGiven || options.reboot)) {
        std::fprintf(stderr, "vq5 filter: load takes no values and no --reboot\n");
        return kExitUsage;
    }
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

    CMemoryStore store;
    ApplyConnectionSettings(store, options);
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
    if (save)
        model.QueueSave(engine, true);
    else
        model.QueueLoad(engine);

    const auto outcome = run.WaitDrained(handle);
    if (outcome == CHeadlessRun::Outcome::Deadline)
        std::fprintf(stderr, "vq5 filter: the device did not answer within %g s (port %s, status %s)\n",
                     options.deadlineS, Shown(options.port).c_str(), engine.StatusText());
    if (outcome != CHeadlessRun::Outcome::Done)
        return CHeadlessRun::ExitCode(outcome);
    if (save)
        visit.Wrote(model.SetTexts());
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

VerbRegistrar reg("filter", kUsage, &Main);

} // namespace
} // namespace vq5::cli
