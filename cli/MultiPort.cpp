#include "MultiPort.h"

#include "ServiceRecord.h"
#include "VisitRecord.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

namespace vq5::cli {
namespace {

thread_local std::string t_Prefix;

struct PortRun {
    std::string port;
    int rc = 0;
    VisitSummary summary;
};

// What changed on the device since its previous recorded visit: the settings read or
// written this time that the previous visit held otherwise.
std::string ChangesSincePrevious(record::CServiceRecord* db, const record::Visit& visit) {
    if (record::ConfigOf(visit).empty())
        return "-";
    if (!db)
        return "no record";
    std::string error;
    const auto prev = db->Previous(visit, error);
    if (!prev)
        return error.empty() ? "first visit" : "record: " + error;
    const auto diff = record::ConfigDifferences(*prev, visit);
    if (diff.empty())
        return "none since visit " + std::to_string(prev->id);
    std::string keys;
    for (const auto& d : diff)
        keys += (keys.empty() ? "" : ",") + d.key;
    return std::to_string(diff.size()) + " since visit " + std::to_string(prev->id) + ": " + keys;
}

} // namespace

const std::string& LinePrefix() {
    return t_Prefix;
}

std::string PerPortFile(const std::string& file, const std::string& port) {
    std::string tag = port.substr(port.find_last_of("/\\") + 1);
    std::replace_if(
        tag.begin(), tag.end(), [](char c) { return c == ':' || c == ' '; }, '_');
    const std::size_t slash = file.find_last_of("/\\");
    const std::size_t dot = file.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1))
        return file.substr(0, dot) + "." + tag + file.substr(dot);
    return file + "." + tag;
}

int RunOnPorts(const char* verb, const std::vector<std::string>& ports,
               const std::function<int(const std::string& port)>& one) {
    std::vector<PortRun> runs(ports.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        runs[i].port = ports[i];
        threads.emplace_back([&, i] {
            t_Prefix = ports[i] + "\t";
            runs[i].rc = one(ports[i]);
            runs[i].summary = FinishVisit(runs[i].rc);
        });
    }
    for (auto& t : threads)
        t.join();

    // Differences are looked up once every link is done, never while one runs.
    std::unique_ptr<record::CServiceRecord> db;
    const record::RecordConfig place = RecordPlace();
    if (place.enabled) {
        std::string error;
        db = record::CServiceRecord::Open(place.where, error);
    }
    std::size_t wPort = 4, wIdent = 14, wOutcome = 7;
    std::vector<std::string> diffs;
    for (const PortRun& r : runs) {
        std::string d = r.summary.note;
        if (d.empty())
            d = r.summary.recorded ? ChangesSincePrevious(db.get(), r.summary.visit) : "-";
        diffs.push_back(d);
        wPort = std::max(wPort, r.port.size());
        wIdent = std::max(wIdent, r.summary.identification.size());
        wOutcome = std::max(wOutcome, OutcomeText(r.rc).size());
    }
    std::printf("%-*s  %-*s  %-*s  %s\n", int(wPort), "PORT", int(wIdent), "IDENTIFICATION", int(wOutcome),
                "OUTCOME", "DIFFERENCES");
    int worst = 0;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const PortRun& r = runs[i];
        const std::string ident = r.summary.identification.empty() ? "-" : r.summary.identification;
        std::printf("%-*s  %-*s  %-*s  %s\n", int(wPort), r.port.c_str(), int(wIdent), ident.c_str(),
                    int(wOutcome), OutcomeText(r.rc).c_str(), diffs[i].c_str());
        worst = std::max(worst, r.rc);
    }
    std::fflush(stdout);
    std::fprintf(stderr, "vq5 %s: %zu ports, worst exit code %d\n", verb, runs.size(), worst);
    return worst;
}

} // namespace vq5::cli
