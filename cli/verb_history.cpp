// vq5 history: the visits of the service record.
//
//   vq5 history [--device TEXT] [--since DATE] [--limit N] [--csv | --json]
//   vq5 history show ID [--json]
#include "CliSupport.h"
#include "RecordText.h"
#include "ServiceRecord.h"
#include "Verbs.h"
#include "VisitRecord.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace vq5::cli {
namespace {

using namespace vq5::record;

// "YYYY-MM-DD HH:MM:SS" of a stored start time.
std::string StartText(const std::string& started) {
    std::string s = Printable(started.substr(0, 19));
    if (s.size() > 10 && s[10] == 'T')
        s[10] = ' ';
    return s;
}

std::unique_ptr<CServiceRecord> OpenRecord(bool& missing) {
    const RecordConfig place = RecordPlace();
    missing = false;
    const bool postgres = place.where.rfind("postgres", 0) == 0;
    if (!postgres) {
        const std::string path = place.where.rfind("sqlite:", 0) == 0 ? place.where.substr(7) : place.where;
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            missing = true;
            std::fprintf(stderr, "vq5 history: no visits recorded yet (%s)\n", path.c_str());
            return nullptr;
        }
    }
    std::string error;
    auto db = CServiceRecord::Open(place.where, error);
    if (!db)
        std::fprintf(stderr, "vq5 history: the service record cannot be used: %s\n", error.c_str());
    return db;
}

int Show(long long id, bool json) {
    bool missing;
    auto db = OpenRecord(missing);
    if (!db)
        return missing ? 1 : 3;
    std::string error;
    const auto v = db->Get(id, error);
    if (!v) {
        std::fprintf(stderr, "vq5 history: %s\n",
                     error.empty() ? ("no visit " + std::to_string(id)).c_str() : error.c_str());
        return error.empty() ? 1 : 3;
    }
    const auto prev = db->Previous(*v, error);
    if (json) {
        std::printf("%s\n", JsonVisit(*v, true, prev ? &*prev : nullptr).c_str());
        return 0;
    }
    std::printf("Visit %lld\n", v->id);
    const std::pair<const char*, const std::string*> fields[] = {{"Started", &v->started},
                                                                 {"Ended", &v->ended},
                                                                 {"Tool", &v->tool},
                                                                 {"Operator", &v->operatorName},
                                                                 {"Host", &v->host},
                                                                 {"Port", &v->port},
                                                                 {"Device letter", &v->letter},
                                                                 {"Version", &v->version},
                                                                 {"Identification", &v->identification},
                                                                 {"Configuration identifier", &v->configId},
                                                                 {"Outcome", &v->outcome}};
    for (const auto& [name, value] : fields)
        std::printf("  %-26s %s\n", name, Printable(*value).c_str());
    const std::pair<const char*, const char*> groups[] = {{kKindConfig, "Configuration"},
                                                          {kKindCounters, "Counters"},
                                                          {kKindInfo, "Information"},
                                                          {kKindWritten, "Taken by the device"}};
    for (const auto& [kind, title] : groups) {
        bool any = false;
        for (const VisitItem& i : v->items) {
            if (i.kind != kind)
                continue;
            if (!any)
                std::printf("%s\n", title);
            any = true;
            if (i.kind == std::string(kKindWritten))
                std::printf("  %s\n", Printable(i.value).c_str());
            else
                std::printf("  %-26s %s\n", Printable(i.item).c_str(), Printable(i.value).c_str());
        }
    }
    if (ConfigOf(*v).empty()) {
        return 0;
    }
    if (!prev) {
        std::printf("Changes: first recorded configuration of this device\n");
        return 0;
    }
    const auto diff = ConfigDifferences(*prev, *v);
    std::printf("Changes since visit %lld (%s):%s\n", prev->id, prev->started.c_str(),
                diff.empty() ? " none" : "");
    for (const Difference& d : diff)
        std::printf("  %-26s %s -> %s\n", Printable(d.key).c_str(),
                    d.before ? Printable(*d.before).c_str() : "(not read)", Printable(*d.after).c_str());
    return 0;
}

int Main(int argc, char** argv) {
    CVerbCommandLine line(
        "history", "Lists the visits of the service record, newest first: every run of a tool or of\n"
                   "vq5 config, info, reset, report, filter, send, io or velto that reached a device,\n"
                   "with its time, tool, operator, port, device and outcome.\n\n"
                   "The record is an SQLite file (default $XDG_DATA_HOME/vq5-tools/service-record.db),\n"
                   "or the file or postgresql:// URL of VQ5_RECORD_DB or of --db.");
    const std::string exitCodes =
        "Exit codes: 0 done, 1 no such visit, 2 bad arguments, 3 the record could not be used.\n";
    StyleVerbApp(line.App(), exitCodes);
    VisitFilter filter;
    bool csv = false, json = false;
    long long showId = 0;
    CLI::App& app = line.App();
    app.add_option("--device", filter.device,
                   "visits whose identification, configuration identifier or port\nholds TEXT")
        ->type_name("TEXT");
    AddCheckedOption(app, "--since", "DATE", "visits started on or after DATE (YYYY-MM-DD, UTC)",
                     [&filter](const std::string& v) -> std::string {
                         unsigned y, m, d;
                         char tail;
                         if (std::sscanf(v.c_str(), "%4u-%2u-%2u%c", &y, &m, &d, &tail) < 3 || m < 1 ||
                             m > 12 || d < 1 || d > 31 || v.size() < 10)
                             return "wants a date YYYY-MM-DD, not '" + Shown(v) + "'";
                         filter.since = v;
                         return "";
                     });
    AddNumberOption(app, "--limit", "N", "the newest N visits only", 1, 1000000,
                    [&filter](long n) { filter.limit = static_cast<int>(n); });
    app.add_flag("--csv", csv, "comma-separated values instead of the table");
    app.add_flag("--json", json, "a JSON array instead of the table");
    AddDatabaseOption(app);
    CLI::App* show =
        app.add_subcommand("show", "prints one visit whole: what was read, what the device took, and "
                                   "the\nconfiguration settings that changed since the previous "
                                   "visit to the same device");
    StyleVerbApp(*show, exitCodes);
    AddNumberOption(*show, "ID", "", "the number of a visit", 1, 0x7fffffff, [&showId](long n) {
        showId = n;
    })->required();
    show->add_flag("--json", json, "the visit as a JSON object");
    AddDatabaseOption(*show);
    if (const int rc = line.Parse(argc, argv); rc >= 0)
        return rc;
    if (csv && json) {
        std::fprintf(stderr, "vq5 history: --csv or --json, not both\n");
        return 2;
    }
    if (showId)
        return Show(showId, json);

    bool missing;
    auto db = OpenRecord(missing);
    if (!db) {
        if (missing && json)
            std::printf("[]\n");
        return missing ? 0 : 3;
    }
    std::string error;
    const auto visits = db->List(filter, error);
    if (!error.empty()) {
        std::fprintf(stderr, "vq5 history: %s\n", error.c_str());
        return 3;
    }
    if (csv) {
        std::fputs(CsvHeader().c_str(), stdout);
        for (const Visit& v : visits)
            std::fputs(CsvLine(v).c_str(), stdout);
    } else if (json) {
        std::printf("[");
        for (std::size_t i = 0; i < visits.size(); ++i)
            std::printf("%s\n%s", i ? "," : "", JsonVisit(visits[i], false).c_str());
        std::printf("\n]\n");
    } else {
        std::printf("%6s  %-19s  %-18s  %-14s  %-24s  %-24s  %s\n", "ID", "STARTED (UTC)", "TOOL", "PORT",
                    "IDENTIFICATION", "CONFIGURATION", "OUTCOME");
        for (const Visit& v : visits)
            std::printf("%6lld  %-19s  %-18s  %-14s  %-24s  %-24s  %s\n", v.id, StartText(v.started).c_str(),
                        Printable(v.tool).c_str(), Printable(v.port).c_str(),
                        Printable(v.identification).c_str(), Printable(v.configId).c_str(),
                        Printable(v.outcome).c_str());
    }
    return 0;
}

VerbRegistrar reg("history", "lists the visits of the service record", &Main);

} // namespace
} // namespace vq5::cli
