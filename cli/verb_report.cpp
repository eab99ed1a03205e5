// vq5 report: a service report of the device on a port as one self-contained HTML file:
// everything VQ5WInfo's "All info" lists, the programmer's configuration, the last lines of
// the protocol log, and the device's visits from the service record.
#include "CliSupport.h"
#include "InfoTable.h"
#include "LinkStats.h"
#include "ProgrammerModel.h"
#include "ServiceReport.h"
#include "Verbs.h"
#include "VisitRecord.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <set>
#include <string>

namespace vq5::cli {
namespace {

constexpr std::size_t kLogLines = 60;

// Keeps the last lines of every trace level, and hands the ones --trace asks for on.
class CLastLines : public ITraceSink {
public:
    explicit CLastLines(int mask) : m_Stream(mask), m_Mask(mask) {}
    void AddLine(int level, std::string line) override {
        if (m_Mask & (1 << level))
            m_Stream.AddLine(level, line);
        std::lock_guard<std::mutex> l(m_Lock);
        m_Lines.push_back(TraceTimeStamp(std::chrono::system_clock::now()) + " " + line);
        if (m_Lines.size() > kLogLines)
            m_Lines.pop_front();
    }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> l(m_Lock);
        return {m_Lines.begin(), m_Lines.end()};
    }

private:
    CStreamTraceSink m_Stream;
    int m_Mask;
    std::mutex m_Lock;
    std::deque<std::string> m_Lines;
};

bool WriteFile(const std::string& path, const std::string& text, std::string& error) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
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

int Main(int argc, char** argv) {
    CVerbCommandLine line(
        "report", "Asks the device everything VQ5WInfo's \"All info\" asks and reads its configuration as\n"
                  "the programmer's \"&From\" does, then writes one HTML file that needs nothing else to\n"
                  "be shown: identification, versions, revision identifiers, counters, flags,\n"
                  "configuration, the last " +
                      std::to_string(kLogLines) +
                      " lines of the protocol log, and this device's visits from\n"
                      "the service record. The visit itself is recorded too.");
    StyleVerbApp(line.App(),
                 "Exit codes: 0 done, 1 the device did not answer, 2 bad arguments or the file cannot\n"
                 "be written, 3 the port could not be used.\n");
    EngineOptions options;
    std::string outPath;
    bool expert = false;
    line.App().add_option("--out", outPath, "the report to write")->type_name("FILE.html")->required();
    line.App().add_flag("--expert", expert, "also ask the expert-only items");
    AddDeviceVerbOptions(line.App(), options, kEveryEngineOption & ~kRebootOption);
    if (const int rc = line.Parse(argc, argv); rc >= 0)
        return rc;

    CConnectionStore store(options);
    CVLPEngine engine(&store);
    CLastLines log(options.traceMask); // outlives the run, which stops the engine
    CHeadlessRun run(engine, options);
    engine.SetTraceSink(&log);
    CVisit visit("vq5 report", engine, options.port);
    record::ReportInput in;
    in.tool = "vq5 report";
    in.port = options.port;
    std::string identification, version, letter;
    auto follow = [&](const Notification& n) {
        visit.Seen(n);
        if (n.kind == nkIdent && n.value == 1) {
            identification = n.text;
            version = std::to_string(engine.VersionMajor()) + "." + std::to_string(engine.VersionMinor());
            letter = std::string(1, engine.DeviceLetter());
        }
    };
    run.Start();
    const LinkFigures figuresAtStart = engine.Figures();

    information::QueueRequest(engine, information::gAllInfo, expert);
    CHeadlessRun::Outcome outcome = run.WaitDrained([&](const Notification& n) {
        follow(n);
        if (n.kind != nkReceived)
            return;
        for (const auto& row : information::RowsForReply(n.text)) {
            visit.Read(row.item == "Counters" ? record::kKindCounters : record::kKindInfo, row.item,
                       row.value);
            in.info.emplace_back(row.item, row.value);
        }
    });
    if (outcome == CHeadlessRun::Outcome::Done) {
        programmer::CProgrammerModel model;
        model.m_Expert = expert;
        std::set<std::string> answered;
        programmer::QueueSequence(engine, programmer::CProgrammerModel::ReadSequence(expert));
        outcome = run.WaitDrained([&](const Notification& n) {
            follow(n);
            for (const std::string& key : model.OnNotification(n).parse.changed)
                answered.insert(key);
        });
        for (const std::string& key : answered)
            if (const auto value = programmer::ValueText(model.m_Values, key)) {
                visit.Read(record::kKindConfig, key, *value);
                in.configuration.emplace_back(key, *value);
            }
    }
    engine.SetTraceSink(nullptr);
    if (outcome == CHeadlessRun::Outcome::Stopped)
        return 3; // the engine has said why
    const bool answered = outcome == CHeadlessRun::Outcome::Done && !in.info.empty();
    if (!answered)
        std::fprintf(
            stderr,
            "vq5 report: the device on %s did not answer in full within %g s (status %s); the report "
            "holds what came\n",
            options.port.c_str(), options.deadlineS, engine.StatusText());

    in.identification = identification;
    in.version = version;
    in.letter = letter;
    in.linkStatus = engine.StatusText();
    in.logLines = log.Lines();
    const record::RecordConfig place = RecordPlace();
    if (place.enabled && !identification.empty())
        RecordWriter().Flush(); // nothing of this run is queued yet; earlier runs are written
    std::string error;
    if (!WriteFile(outPath, record::BuildReport(std::move(in), figuresAtStart, engine.Figures(), place),
                   error)) {
        std::fprintf(stderr, "vq5 report: %s\n", error.c_str());
        return 2;
    }
    std::printf("service report written to %s\n", outPath.c_str());
    return answered ? 0 : 1;
}

VerbRegistrar reg("report", "writes a service report of the device as one HTML file", &Main);

} // namespace
} // namespace vq5::cli
