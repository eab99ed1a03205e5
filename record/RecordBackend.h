// The two databases behind the service record. Statements are written once, with '?' for
// each parameter; a backend turns them into its own form. Failures throw CRecordError.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace vq5::record {

class CRecordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using Row = std::vector<std::string>; // NULL reads as ""
using Rows = std::vector<Row>;

class IRecordBackend {
public:
    virtual ~IRecordBackend() = default;
    virtual const char* Kind() const = 0;
    // The column type of a generated row number.
    virtual const char* IdColumn() const = 0;
    virtual Rows Query(const std::string& sql, const std::vector<std::string>& params = {}) = 0;
    void Exec(const std::string& sql, const std::vector<std::string>& params = {}) { Query(sql, params); }
    // Begins a transaction that writes; for a schema change also keeps every other
    // connection's schema change out until the end.
    virtual void Begin(bool schema) = 0;
    void Commit() { Exec("COMMIT"); }
    void Rollback() noexcept {
        try {
            Exec("ROLLBACK");
        } catch (const CRecordError&) {
        }
    }
};

std::unique_ptr<IRecordBackend> OpenSqlite(const std::string& path);
// nullptr-free: throws when this build has no PostgreSQL client.
std::unique_ptr<IRecordBackend> OpenPostgres(const std::string& url);
bool HavePostgres();

} // namespace vq5::record
