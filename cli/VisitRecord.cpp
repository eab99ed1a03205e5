#include "VisitRecord.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

namespace vq5::cli {
namespace {

std::mutex g_Lock; // guards the options and the writer
std::string g_Database;
bool g_Off = false;
std::unique_ptr<record::CRecordWriter> g_Writer;

// The finished visit of this thread, waiting for the verb's exit code.
thread_local std::optional<VisitSummary> t_Pending;

} // namespace

void AddDeviceVerbOptions(CLI::App& app, EngineOptions& options, unsigned which) {
    AddEngineOptions(app, options, which);
    AddRecordOptions(app);
}

void AddRecordOptions(CLI::App& app) {
    AddDatabaseOption(app);
    app.add_flag_callback(
           "--no-record",
           [] {
               std::lock_guard<std::mutex> l(g_Lock);
               g_Off = true;
           },
           "leave this run out of the service record")
        ->group("Service record");
}

void AddDatabaseOption(CLI::App& app) {
    AddCheckedOption(app, "--db", "URL", "the service record of this run: an SQLite file or postgresql://...",
                     [](const std::string& value) -> std::string {
                         if (value.empty())
                             return "needs a database: a file or postgresql://...";
                         std::lock_guard<std::mutex> l(g_Lock);
                         g_Database = value;
                         return "";
                     })
        ->group("Service record");
}

record::RecordConfig RecordPlace() {
    std::lock_guard<std::mutex> l(g_Lock);
    record::RecordConfig c = record::ResolveConfigFromFile(record::CommandLineSettingsFile(), g_Database);
    if (g_Off) {
        c.enabled = false;
        c.off = "--no-record";
    }
    return c;
}

record::CRecordWriter& RecordWriter() {
    const record::RecordConfig place = RecordPlace();
    std::lock_guard<std::mutex> l(g_Lock);
    if (!g_Writer)
        g_Writer = std::make_unique<record::CRecordWriter>(
            place, [](const std::string& message) { std::fprintf(stderr, "vq5: %s\n", message.c_str()); });
    return *g_Writer;
}

void FlushRecord() {
    record::CRecordWriter* writer;
    {
        std::lock_guard<std::mutex> l(g_Lock);
        writer = g_Writer.get();
    }
    if (writer)
        writer->Flush();
}

std::string OutcomeText(int exitCode) {
    switch (exitCode) {
    case 0:
        return "done";
    case 1:
        return "device did not do it";
    case 2:
        return "bad arguments or file";
    case 3:
        return "port could not be used";
    default:
        return "exit code " + std::to_string(exitCode);
    }
}

CVisit::CVisit(std::string tool, const CVLPEngine& engine, std::string port)
    : m_Engine(engine), m_Log(std::move(tool), std::move(port)) {}

CVisit::~CVisit() {
    if (const std::string ident = m_Engine.Identification(); !ident.empty()) {
        m_Reached = true;
        if (!m_Log.HasIdentification())
            m_Log.Identified(ident, m_Engine.DeviceLetter(), m_Engine.VersionMajor(),
                             m_Engine.VersionMinor());
    }
    VisitSummary s;
    s.recorded = m_Reached;
    s.visit = m_Log.Finish({}); // the outcome follows with the exit code
    s.port = s.visit.port;
    s.identification = s.visit.identification;
    s.note = m_Note;
    t_Pending = std::move(s);
}

void CVisit::Seen(const Notification& n) {
    if (n.kind == nkLinkStatus && n.value == 2)
        m_Reached = true;
    if (n.kind == nkIdent && n.value == 1) {
        m_Reached = true;
        // Taken now: the program-mode exit resets the engine's version.
        m_Log.Identified(n.text, m_Engine.DeviceLetter(), m_Engine.VersionMajor(), m_Engine.VersionMinor());
    }
}

void CVisit::Read(const char* kind, const std::string& item, const std::string& value) {
    m_Log.Read(kind, item, value);
}

void CVisit::ReadLatest(const char* kind, const std::string& item, const std::string& value) {
    m_Log.ReadLatest(kind, item, value);
}

void CVisit::Wrote(const std::vector<std::string>& texts) {
    m_Log.Wrote(texts);
}

VisitSummary FinishVisit(int exitCode) {
    if (!t_Pending)
        return {};
    VisitSummary s = std::move(*t_Pending);
    t_Pending.reset();
    s.visit.outcome = OutcomeText(exitCode);
    if (s.recorded)
        RecordWriter().Add(s.visit);
    return s;
}

} // namespace vq5::cli
