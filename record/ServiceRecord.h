// The service record: one row per visit to a device (a tool or verb that reached it), with
// what was read from it and what it acknowledged, kept in an SQLite file or a shared
// PostgreSQL database. The same schema and the same statements serve both.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vq5::record {

// One thing read from or written to the device during a visit.
struct VisitItem {
    std::string
        kind; // "config" (a configuration setting), "counters", "info" (an information row), "written"
    std::string item;  // settings key, information label; for "written" the position "1", "2", ...
    std::string value; // the value as text; for "written" the text the device acknowledged
    bool operator==(const VisitItem&) const = default;
};

inline constexpr const char* kKindConfig = "config";
inline constexpr const char* kKindCounters = "counters";
inline constexpr const char* kKindInfo = "info";
inline constexpr const char* kKindWritten = "written";

struct Visit {
    long long id = 0;    // given by the database
    std::string started; // UTC, "YYYY-MM-DDTHH:MM:SS.mmmZ"
    std::string ended;
    std::string tool; // "VQ5WPrg", "vq5 config write", ...
    std::string operatorName;
    std::string host;
    std::string port;
    std::string letter;  // the device letter of its replies
    std::string version; // "8.7"
    std::string identification;
    std::string configId; // the configuration identifier, when it was read or written
    std::string outcome;  // "done", "device did not do it", "port could not be used", ...
    std::vector<VisitItem> items;
    bool operator==(const Visit&) const = default;
};

// The current UTC time in the form of Visit::started.
std::string NowText();

// What a visit's configuration says, "key" -> value (the items of kind "config").
std::vector<VisitItem> ConfigOf(const Visit& visit);

// One setting that differs between two visits.
struct Difference {
    std::string key;
    std::optional<std::string> before, after; // nullopt: not read in that visit
};
// The configuration settings read in both visits (or in one of them) whose values differ.
std::vector<Difference> ConfigDifferences(const Visit& before, const Visit& after);

struct VisitFilter {
    std::string device; // part of the identification, configuration identifier or port
    std::string since;  // "YYYY-MM-DD" or a longer time text: visits started at or after it
    int limit = 0;      // 0: all
};

class IRecordBackend;

// An open service record. Not thread-safe: one per thread (the record writer owns one).
class CServiceRecord {
public:
    ~CServiceRecord();
    CServiceRecord(const CServiceRecord&) = delete;
    CServiceRecord& operator=(const CServiceRecord&) = delete;

    // Opens (creating the file and its folder for SQLite) and brings the schema up to date.
    // `where` is a PostgreSQL URL ("postgresql://..." or "postgres://...") or an SQLite file
    // (a path, or "sqlite:PATH"). On failure returns nullptr and a one-line reason.
    static std::unique_ptr<CServiceRecord> Open(const std::string& where, std::string& error);

    const char* Kind() const; // "SQLite" or "PostgreSQL"
    int SchemaVersion();

    // Adds a visit with its items in one transaction; returns its id, or 0 with `error`.
    long long Add(const Visit& visit, std::string& error);
    // Newest first.
    std::vector<Visit> List(const VisitFilter& filter, std::string& error);
    std::optional<Visit> Get(long long id, std::string& error);
    // The latest visit to the same device (same identification) that had ended when `visit`
    // began and that read or wrote configuration settings.
    std::optional<Visit> Previous(const Visit& visit, std::string& error);

private:
    explicit CServiceRecord(std::unique_ptr<IRecordBackend> backend);
    void Migrate();
    std::vector<VisitItem> ItemsOf(long long id);
    // The first visit of "SELECT ... FROM visit WHERE <where>", with its items.
    std::optional<Visit> First(const std::string& where, const std::vector<std::string>& params,
                               std::string& error);
    std::unique_ptr<IRecordBackend> m_Db;
};

// The schema version this build writes.
int CurrentSchemaVersion();

} // namespace vq5::record
