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

bool IsGateSign(char c) {
    return c == '>' || c == '<';
}

} // namespace

void AddRecordOptions(CLI::App& app) {
    AddCheckedOption(app, "--db", "URL", "the service record of this run: an SQLite file or postgresql://...",
                     [](const std::string& value) -> std::string {
                         if (value.empty())
                             return "needs a database: a file or postgresql://...";
                         std::lock_guard<std::mutex> l(g_Lock);
                         g_Database = value;
                         return "";
                     })
        ->group("Service record");
    app.add_flag_callback(
           "--no-record",
           [] {
               std::lock_guard<std::mutex> l(g_Lock);
               g_Off = true;
           },
           "leave this run out of the service record")
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

CVisit::CVisit(std::string tool, const CVLPEngine& engine, std::string port) : m_Engine(engine) {
    m_Visit.tool = std::move(tool);
    m_Visit.port = std::move(port);
    m_Visit.started = record::NowText();
}

CVisit::~CVisit() {
    const std::string ident = m_Engine.Identification();
    if (!ident.empty()) {
        m_Reached = true;
        m_Visit.identification = ident;
    }
    if (m_Visit.version.empty() && (m_Engine.VersionMajor() || m_Engine.VersionMinor()))
        m_Visit.version =
            std::to_string(m_Engine.VersionMajor()) + "." + std::to_string(m_Engine.VersionMinor());
    if (m_Visit.letter.empty() && m_Reached)
        m_Visit.letter = std::string(1, m_Engine.DeviceLetter());
    m_Visit.ended = record::NowText();
    VisitSummary s;
    s.recorded = m_Reached;
    s.port = m_Visit.port;
    s.identification = m_Visit.identification;
    s.note = m_Note;
    s.visit = std::move(m_Visit);
    t_Pending = std::move(s);
}

void CVisit::Seen(const Notification& n) {
    if (n.kind == nkLinkStatus && n.value == 2)
        m_Reached = true;
    if (n.kind == nkIdent && n.value == 1) {
        m_Reached = true;
        m_Visit.identification = n.text;
        // Taken now: the program-mode exit resets the engine's version.
        m_Visit.version =
            std::to_string(m_Engine.VersionMajor()) + "." + std::to_string(m_Engine.VersionMinor());
        m_Visit.letter = std::string(1, m_Engine.DeviceLetter());
    }
}

void CVisit::Read(const char* kind, const std::string& item, const std::string& value) {
    m_Visit.items.push_back({kind, item, value});
    if ((std::strcmp(kind, record::kKindConfig) == 0 && item == "ConfigID") ||
        (std::strcmp(kind, record::kKindInfo) == 0 && item == "Version config"))
        m_Visit.configId = value;
}

void CVisit::Wrote(const std::vector<std::string>& texts) {
    unsigned major = 0, minor = 0;
    if (std::sscanf(m_Visit.version.c_str(), "%u.%u", &major, &minor) != 2)
        major = minor = 0;
    int n = 0;
    for (const std::string& t : texts) {
        std::size_t start = 0;
        if (t.size() >= 5 && IsGateSign(t[2])) {
            if (!GatesPass(t, major, minor))
                continue;
            start = t.size() >= 6 && IsGateSign(t[5]) ? 6 : 3;
        }
        std::string sent = t.substr(start);
        if (sent.size() >= 2 && sent[0] == '&' && sent[1] == 'P' && !m_Visit.letter.empty())
            sent[1] = m_Visit.letter[0];
        if (sent.rfind("&PIA", 0) == 0 ||
            (sent.size() > 4 && sent[0] == '&' && sent.compare(2, 2, "IA") == 0))
            m_Visit.configId = sent.substr(4);
        m_Visit.items.push_back({record::kKindWritten, std::to_string(++n), sent});
    }
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
