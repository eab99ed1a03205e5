// The service record in a shared PostgreSQL database, through libpq. Parameters go as text
// ($1, $2, ...), never into the statement itself.
#include "RecordBackend.h"

#ifdef VQ5_RECORD_WITH_POSTGRES
#include <libpq-fe.h>
#endif

namespace vq5::record {

#ifdef VQ5_RECORD_WITH_POSTGRES
namespace {

// A lock number of the record's own, taken for schema changes.
constexpr const char* kSchemaLock = "SELECT pg_advisory_xact_lock(560517)";
constexpr int kConnectTimeoutS = 5;

std::string WithConnectTimeout(const std::string& url) {
    if (url.find("connect_timeout") != std::string::npos)
        return url;
    return url + (url.find('?') == std::string::npos ? "?" : "&") +
           "connect_timeout=" + std::to_string(kConnectTimeoutS);
}

std::string OneLine(const char* text) {
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
        s.pop_back();
    for (char& c : s)
        if (c == '\n')
            c = ' ';
    return s;
}

class CPostgres : public IRecordBackend {
public:
    explicit CPostgres(const std::string& url) {
        m_Conn = PQconnectdb(WithConnectTimeout(url).c_str());
        if (!m_Conn || PQstatus(m_Conn) != CONNECTION_OK) {
            const std::string why = m_Conn ? OneLine(PQerrorMessage(m_Conn)) : "out of memory";
            PQfinish(m_Conn);
            m_Conn = nullptr;
            throw CRecordError("cannot reach the PostgreSQL server: " + why);
        }
        Exec("SET client_min_messages TO WARNING");
    }
    ~CPostgres() override { PQfinish(m_Conn); }

    const char* Kind() const override { return "PostgreSQL"; }
    const char* IdColumn() const override { return "BIGSERIAL PRIMARY KEY"; }

    Rows Query(const std::string& sql, const std::vector<std::string>& params) override {
        // '?' becomes $n; the record's statements hold no '?' of their own.
        std::string text;
        int n = 0;
        for (char c : sql) {
            if (c == '?')
                text += "$" + std::to_string(++n);
            else
                text += c;
        }
        std::vector<const char*> values;
        for (const std::string& p : params)
            values.push_back(p.c_str());
        PGresult* res = PQexecParams(m_Conn, text.c_str(), static_cast<int>(values.size()), nullptr,
                                     values.data(), nullptr, nullptr, 0);
        const ExecStatusType status = PQresultStatus(res);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
            const std::string why = OneLine(PQresultErrorMessage(res));
            PQclear(res);
            throw CRecordError(why.empty() ? OneLine(PQerrorMessage(m_Conn)) : why);
        }
        Rows rows;
        for (int r = 0; r < PQntuples(res); ++r) {
            Row row;
            for (int c = 0; c < PQnfields(res); ++c)
                row.emplace_back(PQgetvalue(res, r, c), static_cast<std::size_t>(PQgetlength(res, r, c)));
            rows.push_back(std::move(row));
        }
        PQclear(res);
        return rows;
    }

    void Begin(bool schema) override {
        Exec("BEGIN");
        if (schema)
            Exec(kSchemaLock);
    }

private:
    PGconn* m_Conn = nullptr;
};

} // namespace

std::unique_ptr<IRecordBackend> OpenPostgres(const std::string& url) {
    return std::make_unique<CPostgres>(url);
}
bool HavePostgres() {
    return true;
}
#else
std::unique_ptr<IRecordBackend> OpenPostgres(const std::string&) {
    throw CRecordError("this build has no PostgreSQL client");
}
bool HavePostgres() {
    return false;
}
#endif

} // namespace vq5::record
