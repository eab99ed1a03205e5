// The service record in an SQLite file: write-ahead log, so that readers never wait for a
// writer, and a busy time-out, so that two tools writing at the same moment take turns.
#include "RecordBackend.h"

#ifdef VQ5_RECORD_WITH_SQLITE
#include <sqlite3.h>
#endif

#include <chrono>
#include <filesystem>
#include <thread>

namespace vq5::record {
#ifdef VQ5_RECORD_WITH_SQLITE
namespace {

constexpr int kBusyTimeoutMs = 10000;

class CSqlite : public IRecordBackend {
public:
    explicit CSqlite(const std::string& path) {
        std::error_code ec;
        const std::filesystem::path file(path);
        if (file.has_parent_path())
            std::filesystem::create_directories(file.parent_path(), ec);
        if (ec)
            throw CRecordError("cannot make the folder " + file.parent_path().string() + ": " + ec.message());
        const int rc =
            sqlite3_open_v2(path.c_str(), &m_Db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc != SQLITE_OK) {
            const std::string why = m_Db ? sqlite3_errmsg(m_Db) : sqlite3_errstr(rc);
            sqlite3_close(m_Db);
            m_Db = nullptr;
            throw CRecordError("cannot open " + path + ": " + why);
        }
        sqlite3_busy_timeout(m_Db, kBusyTimeoutMs);
        try {
            // The switch to write-ahead logging does not wait on the busy handler when another
            // connection is creating the same new file at that moment: it is tried again.
            Rows mode;
            const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
            for (;;) {
                try {
                    mode = Query("PRAGMA journal_mode=WAL", {});
                    break;
                } catch (const CRecordError&) {
                    if ((sqlite3_errcode(m_Db) & 0xff) != SQLITE_BUSY ||
                        std::chrono::steady_clock::now() > until)
                        throw;
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            }
            if (mode.empty() || mode[0].empty() || mode[0][0] != "wal")
                throw CRecordError("cannot switch to write-ahead logging");
            Exec("PRAGMA foreign_keys=ON");
            Exec("PRAGMA synchronous=NORMAL");
        } catch (const CRecordError& e) {
            sqlite3_close(m_Db);
            m_Db = nullptr;
            throw CRecordError(path + ": " + e.what());
        }
    }
    ~CSqlite() override { sqlite3_close(m_Db); }

    const char* Kind() const override { return "SQLite"; }
    const char* IdColumn() const override { return "INTEGER PRIMARY KEY AUTOINCREMENT"; }

    Rows Query(const std::string& sql, const std::vector<std::string>& params) override {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_Db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
            throw CRecordError(sqlite3_errmsg(m_Db));
        for (std::size_t i = 0; i < params.size(); ++i)
            sqlite3_bind_text(stmt, static_cast<int>(i + 1), params[i].c_str(),
                              static_cast<int>(params[i].size()), SQLITE_TRANSIENT);
        Rows rows;
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            Row row;
            const int n = sqlite3_column_count(stmt);
            for (int c = 0; c < n; ++c) {
                const unsigned char* text = sqlite3_column_text(stmt, c);
                row.emplace_back(text ? reinterpret_cast<const char*>(text) : "",
                                 static_cast<std::size_t>(sqlite3_column_bytes(stmt, c)));
            }
            rows.push_back(std::move(row));
        }
        if (rc != SQLITE_DONE) {
            const std::string why = sqlite3_errmsg(m_Db);
            sqlite3_finalize(stmt);
            throw CRecordError(why);
        }
        sqlite3_finalize(stmt);
        return rows;
    }

    // IMMEDIATE takes the write lock at once (waiting through the busy time-out), so that
    // a transaction never has to give up half-way for a lock another writer holds.
    void Begin(bool) override { Exec("BEGIN IMMEDIATE"); }

private:
    sqlite3* m_Db = nullptr;
};

} // namespace

std::unique_ptr<IRecordBackend> OpenSqlite(const std::string& path) {
    return std::make_unique<CSqlite>(path);
}

#else
std::unique_ptr<IRecordBackend> OpenSqlite(const std::string&) {
    throw CRecordError("this build has no SQLite");
}
#endif

} // namespace vq5::record
