// The service record of the `vq5` verbs. A verb that talks to a device makes a CVisit beside
// its engine and tells it what it read and what the device took; when the verb returns, its
// exit code completes the visit, which goes to the record writer's thread. Visits that never
// reached a device (no identification, link never up) are not recorded.
#pragma once

#include "CliSupport.h"
#include "Notify.h"
#include "RecordWriter.h"
#include "VLPEngine.h"
#include "VisitLog.h"

#include <string>
#include <vector>

namespace vq5::cli {

// Declares --db URL (the record of this run; without it settings and environment say) and
// --no-record on a verb's command line; `vq5 --db URL VERB` takes them before the verb.
void AddRecordOptions(CLI::App& app);
// Declares --db URL alone: for a verb that reads the record and never adds to it.
void AddDatabaseOption(CLI::App& app);
// The options of a verb that reaches a device: the engine's (`which`, see AddEngineOptions),
// then the record's.
void AddDeviceVerbOptions(CLI::App& app, EngineOptions& options, unsigned which = kEveryEngineOption);
// The record's place as resolved from options, environment and default.
record::RecordConfig RecordPlace();
// The writer of this process, made on first use; a failing database is told once on stderr.
record::CRecordWriter& RecordWriter();

// Waits (bounded) until the visits of this run are in the record; nothing when none was made.
void FlushRecord();

// Outcome text of an exit code.
std::string OutcomeText(int exitCode);

class CVisit {
public:
    CVisit(std::string tool, const CVLPEngine& engine, std::string port);
    ~CVisit(); // takes the device's letter, version and identification and parks the visit
    CVisit(const CVisit&) = delete;
    CVisit& operator=(const CVisit&) = delete;

    // Follows the notifications: the identification and whether the link came up.
    void Seen(const Notification& n);
    void Read(const char* kind, const std::string& item, const std::string& value);
    // The same, replacing an earlier value of the item (a state polled again and again).
    void ReadLatest(const char* kind, const std::string& item, const std::string& value);
    // The texts of a batch the device took (after a drained queue), as they were queued.
    void Wrote(const std::vector<std::string>& texts);
    // One text the device took, recorded once until another follows.
    void WroteUnlessRepeated(const std::string& text) { m_Log.WroteUnlessRepeated(text); }
    // Shown in the table of several ports ("3 settings differ", ...).
    void SetNote(std::string note) { m_Note = std::move(note); }

private:
    const CVLPEngine& m_Engine;
    record::CVisitLog m_Log;
    bool m_Reached = false;
    std::string m_Note;
};

struct VisitSummary {
    bool recorded = false; // the device was reached and the visit handed to the writer
    std::string port, identification, note;
    record::Visit visit;
};
// Completes this thread's visit with the exit code and queues it; an empty summary when the
// thread has none.
VisitSummary FinishVisit(int exitCode);

} // namespace vq5::cli
