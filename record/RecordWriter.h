// Writes visits to the service record on a thread of its own, so that the link never waits
// for the database. A database that cannot be opened or written is reported once (through
// the report function, on the writer's thread); the tool goes on, and later visits are tried
// again without another report.
#pragma once

#include "ServiceRecord.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vq5 {
class ISettingsStore;
}

namespace vq5::record {

// Where the record goes, and whether at all.
struct RecordConfig {
    bool enabled = true;
    std::string where; // a PostgreSQL URL or an SQLite file
    std::string off;   // why it is off, for the user ("VQ5_RECORD=off")
};

// Settings section and keys of the record in a tool's settings.
inline constexpr const char* kSection = "ServiceRecord";
inline constexpr const char* kKeyEnabled = "Enabled";   // 0 switches the record off
inline constexpr const char* kKeyDatabase = "Database"; // URL or file; empty: the default file

// The SQLite file used when nothing else is said: <data folder>/vq5-tools/service-record.db.
std::string DefaultDatabase();

// In order, the later winning: the default file; the settings store (may be null); the
// environment (VQ5_RECORD=off/0/no switches it off, VQ5_RECORD_DB names the database);
// `database` (a --db option) when not empty. A store's Enabled=0 and VQ5_RECORD=off both
// switch it off whatever names the database.
RecordConfig ResolveConfig(ISettingsStore* store, const std::string& database = {});

// The settings file of the command line, in the tools' form ("Lumark Electronics/vq5.conf"
// in the user's settings folder): its [ServiceRecord] section says Enabled and Database.
std::string CommandLineSettingsFile();
// ResolveConfig with the [ServiceRecord] section of an INI file (a missing file says nothing).
RecordConfig ResolveConfigFromFile(const std::string& iniFile, const std::string& database = {});

// A device's visits (same identification), newest first, at most `limit`, read from the
// record at `place`. When there are none to show, `note` says why (the record is off, the
// device gave no identification, the record cannot be read).
std::vector<Visit> DeviceHistory(const RecordConfig& place, const std::string& identification,
                                 std::string& note, std::size_t limit = 50);

using ReportFn = std::function<void(const std::string& message)>;

class CRecordWriter {
public:
    CRecordWriter(RecordConfig config, ReportFn report);
    ~CRecordWriter(); // waits for what is queued, at most Flush's default time
    CRecordWriter(const CRecordWriter&) = delete;
    CRecordWriter& operator=(const CRecordWriter&) = delete;

    bool Enabled() const { return m_Config.enabled; }
    const RecordConfig& Config() const { return m_Config; }

    // Queues the visit and returns at once; fills operator and host when empty.
    void Add(Visit visit);
    // Waits until every queued visit is written (or given up); false when `limit` passed.
    bool Flush(std::chrono::milliseconds limit = std::chrono::seconds(15));
    // Visits written, and visits given up, so far.
    unsigned Written() const;
    unsigned Failed() const;

private:
    struct Shared;
    RecordConfig m_Config;
    std::shared_ptr<Shared> m_Shared;
};

} // namespace vq5::record
