// The service report: one self-contained HTML file (styles inside, no scripts, no outside
// references) with what a device told about itself and its history from the record.
#pragma once

#include "LinkStats.h"
#include "RecordWriter.h"
#include "ServiceRecord.h"

#include <string>
#include <utility>
#include <vector>

namespace vq5::record {

using Rows2 = std::vector<std::pair<std::string, std::string>>;

struct ReportInput {
    std::string tool;      // who made it: "vq5 report", "VQ5WInfo", ...
    std::string generated; // time text
    std::string port;
    std::string identification, letter, version, linkStatus;
    Rows2 info;                        // information rows as the information tool lists them (item, value)
    Rows2 configuration;               // the programmer's settings (key, value)
    Rows2 linkFigures;                 // may be empty
    std::vector<std::string> logLines; // the last lines of the protocol log
    std::vector<Visit> history;        // this device's visits, newest first
    std::string historyNote;           // why there is no history, when there is none
};

// The sections every report has, by their HTML id, in order.
const std::vector<std::pair<std::string, std::string>>& ReportSections(); // id, title

std::string HtmlEscape(const std::string& s);
std::string RenderReport(const ReportInput& in);

// The report as the command line and the tools make it: `in` with the device and what was
// read, completed with the time, the link figures (rates between the two snapshots; none
// when the engine keeps no figures) and this device's history from the record at `place`.
std::string BuildReport(ReportInput in, const LinkFigures& atStart, const LinkFigures& now,
                        const RecordConfig& place);

} // namespace vq5::record
