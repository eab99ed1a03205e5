#include "ServiceRecord.h"

#include "RecordBackend.h"
#include "RecordPlatform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>

namespace vq5::record {
namespace {

// Each step brings the schema from its index to the next version; never change a step that
// has shipped, add one.
struct Migration {
    const char* statements[4];
};
// "{ID}" stands for the backend's generated row number.
const Migration kMigrations[] = {
    {{"CREATE TABLE visit (id {ID}, started TEXT NOT NULL, ended TEXT NOT NULL, tool TEXT NOT NULL, "
      "operator TEXT NOT NULL, host TEXT NOT NULL, port TEXT NOT NULL, letter TEXT NOT NULL, "
      "version TEXT NOT NULL, identification TEXT NOT NULL, config_id TEXT NOT NULL, outcome TEXT NOT NULL)",
      "CREATE TABLE visit_item (visit_id BIGINT NOT NULL REFERENCES visit(id) ON DELETE CASCADE, "
      "seq INTEGER NOT NULL, kind TEXT NOT NULL, item TEXT NOT NULL, value TEXT NOT NULL)",
      nullptr, nullptr}},
    {{"CREATE INDEX visit_item_visit ON visit_item(visit_id, seq)",
      "CREATE INDEX visit_device ON visit(identification, started)", nullptr, nullptr}},
};
constexpr int kVersion = static_cast<int>(sizeof kMigrations / sizeof kMigrations[0]);

std::string Replace(std::string text, const std::string& what, const std::string& with) {
    for (std::size_t at; (at = text.find(what)) != std::string::npos;)
        text.replace(at, what.size(), with);
    return text;
}

constexpr const char* kVisitColumns =
    "id, started, ended, tool, operator, host, port, letter, version, identification, config_id, outcome";

Visit FromRow(const Row& r) {
    Visit v;
    v.id = std::stoll(r[0]);
    v.started = r[1];
    v.ended = r[2];
    v.tool = r[3];
    v.operatorName = r[4];
    v.host = r[5];
    v.port = r[6];
    v.letter = r[7];
    v.version = r[8];
    v.identification = r[9];
    v.configId = r[10];
    v.outcome = r[11];
    return v;
}

bool IsPostgresUrl(const std::string& where) {
    return where.rfind("postgresql://", 0) == 0 || where.rfind("postgres://", 0) == 0;
}

} // namespace

int CurrentSchemaVersion() {
    return kVersion;
}

std::string NowText() {
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const UtcTime t = UtcOf(static_cast<long long>(ms / 1000));
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.year, t.month, t.day, t.hour,
                  t.minute, t.second, static_cast<int>(ms % 1000));
    return buf;
}

std::vector<VisitItem> ConfigOf(const Visit& visit) {
    std::vector<VisitItem> out;
    for (const VisitItem& i : visit.items)
        if (i.kind == kKindConfig)
            out.push_back(i);
    return out;
}

std::vector<Difference> ConfigDifferences(const Visit& before, const Visit& after) {
    std::map<std::string, Difference> byKey;
    for (const VisitItem& i : ConfigOf(before))
        byKey[i.item].before = i.value;
    for (const VisitItem& i : ConfigOf(after))
        byKey[i.item].after = i.value;
    std::vector<Difference> out;
    for (auto& [key, d] : byKey) {
        // A setting the later visit did not touch is not a change.
        if (!d.after || d.before == d.after)
            continue;
        d.key = key;
        out.push_back(d);
    }
    return out;
}

CServiceRecord::CServiceRecord(std::unique_ptr<IRecordBackend> backend) : m_Db(std::move(backend)) {}
CServiceRecord::~CServiceRecord() = default;

std::unique_ptr<CServiceRecord> CServiceRecord::Open(const std::string& where, std::string& error) {
    try {
        std::unique_ptr<IRecordBackend> db;
        if (IsPostgresUrl(where))
            db = OpenPostgres(where);
        else
            db = OpenSqlite(where.rfind("sqlite:", 0) == 0 ? where.substr(7) : where);
        std::unique_ptr<CServiceRecord> record(new CServiceRecord(std::move(db)));
        record->Migrate();
        return record;
    } catch (const CRecordError& e) {
        error = e.what();
    } catch (const std::exception& e) {
        error = e.what();
    }
    return nullptr;
}

const char* CServiceRecord::Kind() const {
    return m_Db->Kind();
}

void CServiceRecord::Migrate() {
    m_Db->Begin(true);
    try {
        m_Db->Exec("CREATE TABLE IF NOT EXISTS record_schema (version INTEGER NOT NULL)");
        Rows rows = m_Db->Query("SELECT version FROM record_schema");
        int have = 0;
        if (rows.empty())
            m_Db->Exec("INSERT INTO record_schema (version) VALUES (0)");
        else
            have = std::stoi(rows[0][0]);
        if (have > kVersion)
            throw CRecordError("the record's schema (version " + std::to_string(have) +
                               ") is newer than this program knows (" + std::to_string(kVersion) + ")");
        for (int v = have; v < kVersion; ++v)
            for (const char* sql : kMigrations[v].statements)
                if (sql)
                    m_Db->Exec(Replace(sql, "{ID}", m_Db->IdColumn()));
        if (have < kVersion)
            m_Db->Exec("UPDATE record_schema SET version = ?", {std::to_string(kVersion)});
        m_Db->Commit();
    } catch (...) {
        m_Db->Rollback();
        throw;
    }
}

int CServiceRecord::SchemaVersion() {
    try {
        const Rows rows = m_Db->Query("SELECT version FROM record_schema");
        return rows.empty() ? 0 : std::stoi(rows[0][0]);
    } catch (const CRecordError&) {
        return 0;
    }
}

long long CServiceRecord::Add(const Visit& v, std::string& error) {
    try {
        m_Db->Begin(false);
        try {
            const Rows id =
                m_Db->Query("INSERT INTO visit (started, ended, tool, operator, host, port, letter, version, "
                            "identification, "
                            "config_id, outcome) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
                            {v.started, v.ended, v.tool, v.operatorName, v.host, v.port, v.letter, v.version,
                             v.identification, v.configId, v.outcome});
            if (id.empty() || id[0].empty())
                throw CRecordError("the database gave no row number");
            int seq = 0;
            for (const VisitItem& i : v.items)
                m_Db->Exec("INSERT INTO visit_item (visit_id, seq, kind, item, value) VALUES (?, ?, ?, ?, ?)",
                           {id[0][0], std::to_string(++seq), i.kind, i.item, i.value});
            m_Db->Commit();
            return std::stoll(id[0][0]);
        } catch (...) {
            m_Db->Rollback();
            throw;
        }
    } catch (const std::exception& e) {
        error = e.what();
        return 0;
    }
}

std::vector<VisitItem> CServiceRecord::ItemsOf(long long id) {
    std::vector<VisitItem> items;
    for (const Row& r : m_Db->Query(
             "SELECT kind, item, value FROM visit_item WHERE visit_id = CAST(? AS BIGINT) ORDER BY seq",
             {std::to_string(id)}))
        items.push_back({r[0], r[1], r[2]});
    return items;
}

std::vector<Visit> CServiceRecord::List(const VisitFilter& f, std::string& error) {
    std::vector<Visit> out;
    try {
        std::string sql = std::string("SELECT ") + kVisitColumns + " FROM visit WHERE 1 = 1";
        std::vector<std::string> params;
        if (!f.device.empty()) {
            // Plain text, not a pattern: '%' and '_' of the user match themselves.
            sql += " AND (instr(identification, ?) > 0 OR instr(config_id, ?) > 0 OR instr(port, ?) > 0)";
            if (std::string(m_Db->Kind()) == "PostgreSQL")
                sql = Replace(sql, "instr(", "strpos(");
            params.insert(params.end(), {f.device, f.device, f.device});
        }
        if (!f.since.empty()) {
            sql += " AND started >= ?";
            params.push_back(f.since);
        }
        sql += " ORDER BY started DESC, id DESC";
        if (f.limit > 0)
            sql += " LIMIT " + std::to_string(f.limit);
        for (const Row& r : m_Db->Query(sql, params))
            out.push_back(FromRow(r));
        for (Visit& v : out)
            v.items = ItemsOf(v.id);
    } catch (const std::exception& e) {
        error = e.what();
    }
    return out;
}

std::optional<Visit> CServiceRecord::First(const std::string& where, const std::vector<std::string>& params,
                                           std::string& error) {
    try {
        const Rows rows =
            m_Db->Query(std::string("SELECT ") + kVisitColumns + " FROM visit WHERE " + where, params);
        if (rows.empty())
            return std::nullopt;
        Visit v = FromRow(rows[0]);
        v.items = ItemsOf(v.id);
        return v;
    } catch (const std::exception& e) {
        error = e.what();
    }
    return std::nullopt;
}

std::optional<Visit> CServiceRecord::Get(long long id, std::string& error) {
    return First("id = CAST(? AS BIGINT)", {std::to_string(id)}, error);
}

std::optional<Visit> CServiceRecord::Previous(const Visit& visit, std::string& error) {
    return First("identification = ? AND (ended < ? OR (ended = ? AND id < CAST(? AS BIGINT))) "
                 "AND EXISTS (SELECT 1 FROM visit_item WHERE visit_id = visit.id AND kind = ?) "
                 "ORDER BY ended DESC, id DESC LIMIT 1",
                 {visit.identification, visit.started, visit.started, std::to_string(visit.id), kKindConfig},
                 error);
}

} // namespace vq5::record
