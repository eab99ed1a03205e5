#include "ServiceReport.h"

namespace vq5::record {
namespace {

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

std::string Table(const Rows2& rows, const char* left, const char* right, const char* empty) {
    if (rows.empty())
        return std::string("<p class=\"none\">") + empty + "</p>\n";
    std::string out =
        std::string("<table><thead><tr><th>") + left + "</th><th>" + right + "</th></tr></thead><tbody>\n";
    for (const auto& [k, v] : rows)
        out += "<tr><td>" + HtmlEscape(k) + "</td><td>" + HtmlEscape(v) + "</td></tr>\n";
    return out + "</tbody></table>\n";
}

constexpr const char* kStyle =
    "body{font-family:'DejaVu Sans',Arial,sans-serif;margin:24px;color:#1d2330;background:#fff}"
    "h1{font-size:22px;margin:0 0 4px}h2{font-size:16px;margin:22px 0 6px;border-bottom:2px solid #2b5c8a;"
    "padding-bottom:2px;color:#2b5c8a}p.meta{color:#5a6270;margin:0 0 12px}"
    "table{border-collapse:collapse;font-size:13px;min-width:50%}th,td{border:1px solid #c9ced8;padding:3px "
    "8px;"
    "text-align:left;vertical-align:top}th{background:#eef2f7}tr:nth-child(even) td{background:#f8f9fb}"
    "td.changed{background:#fff2c2 !important;font-weight:bold}pre{font-size:12px;background:#f4f5f7;"
    "padding:8px;border:1px solid "
    "#d9dce3;overflow-x:auto;white-space:pre-wrap}p.none{color:#7a808c;font-style:italic}"
    "section{break-inside:avoid}";

} // namespace

const std::vector<std::pair<std::string, std::string>>& ReportSections() {
    static const std::vector<std::pair<std::string, std::string>> sections = {
        {"identification", "Identification"},
        {"versions", "Versions"},
        {"revisions", "Revision identifiers"},
        {"counters", "Counters"},
        {"flags", "Flags"},
        {"configuration", "Configuration"},
        {"link", "Link figures"},
        {"log", "Last log lines"},
        {"history", "History of this device"},
    };
    return sections;
}

std::string HtmlEscape(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            if (c < 0x20 && c != '\t') {
                out += "&#" + std::to_string(0x2400 + c) + ";"; // the control picture, visible and harmless
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

std::string RenderReport(const ReportInput& in) {
    Rows2 versions, revisions, counters, flags, other;
    for (const auto& row : in.info) {
        if (row.first == "Version config" || row.first == "Copyright" || row.first == "Version software")
            versions.push_back(row);
        else if (StartsWith(row.first, "RCS ID"))
            revisions.push_back(row);
        else if (row.first == "Counters")
            counters.push_back(row);
        else if (StartsWith(row.second, "Flag: "))
            flags.push_back(row);
        else
            other.push_back(row);
    }
    Rows2 configuration = in.configuration;
    for (const auto& row : other) // data calls, I/O lines, filter constants
        configuration.push_back(row);

    const std::string title =
        "VQ-5 service report" + (in.identification.empty() ? "" : ": " + in.identification);
    std::string h = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>" +
                    HtmlEscape(title) + "</title>\n<style>" + kStyle + "</style></head><body>\n";
    h += "<h1>" + HtmlEscape(title) + "</h1>\n<p class=\"meta\">Made by " + HtmlEscape(in.tool) + " on " +
         HtmlEscape(in.generated) + (in.port.empty() ? "" : ", port " + HtmlEscape(in.port)) + "</p>\n";
    auto open = [&](const char* id) {
        for (const auto& [sid, stitle] : ReportSections())
            if (sid == id)
                h += "<section id=\"" + sid + "\"><h2>" + stitle + "</h2>\n";
    };
    open("identification");
    h += Table({{"Identification",
                 in.identification.empty() ? "(the device did not identify itself)" : in.identification},
                {"Device letter", in.letter},
                {"Version", in.version},
                {"Link", in.linkStatus},
                {"Port", in.port}},
               "Item", "Value", "");
    h += "</section>\n";
    open("versions");
    h += Table(versions, "Item", "Value", "No version was read.") + "</section>\n";
    open("revisions");
    h += Table(revisions, "Module", "Revision", "No revision identifier was read.") + "</section>\n";
    open("counters");
    h += Table(counters, "Item", "Value", "No counters were read.") + "</section>\n";
    open("flags");
    h += Table(flags, "Flag", "Value", "No flag was read.") + "</section>\n";
    open("configuration");
    h += Table(configuration, "Setting", "Value", "No configuration was read.") + "</section>\n";
    open("link");
    h += Table(in.linkFigures, "Figure", "Value", "No link figures were taken.") + "</section>\n";
    open("log");
    if (in.logLines.empty()) {
        h += "<p class=\"none\">The log is empty.</p>\n";
    } else {
        h += "<pre>";
        for (const std::string& line : in.logLines)
            h += HtmlEscape(line) + "\n";
        h += "</pre>\n";
    }
    h += "</section>\n";
    open("history");
    if (in.history.empty()) {
        h += "<p class=\"none\">" +
             HtmlEscape(in.historyNote.empty() ? "No earlier visit is recorded." : in.historyNote) + "</p>\n";
    } else {
        h += "<table><thead><tr><th>Visit</th><th>Started "
             "(UTC)</th><th>Tool</th><th>Operator</th><th>Host</th>"
             "<th>Port</th><th>Configuration identifier</th><th>Outcome</th><th>Changed since the visit "
             "before</th>"
             "</tr></thead><tbody>\n";
        for (std::size_t i = 0; i < in.history.size(); ++i) {
            const Visit& v = in.history[i];
            std::string changed;
            // The next older visit with configuration is the one before.
            for (std::size_t j = i + 1; j < in.history.size() && !ConfigOf(v).empty(); ++j) {
                if (ConfigOf(in.history[j]).empty())
                    continue;
                for (const Difference& d : ConfigDifferences(in.history[j], v))
                    changed += (changed.empty() ? "" : ", ") + d.key + " " + d.before.value_or("?") + " → " +
                               d.after.value_or("?");
                break;
            }
            h += "<tr><td>" + std::to_string(v.id) + "</td><td>" + HtmlEscape(v.started) + "</td><td>" +
                 HtmlEscape(v.tool) + "</td><td>" + HtmlEscape(v.operatorName) + "</td><td>" +
                 HtmlEscape(v.host) + "</td><td>" + HtmlEscape(v.port) + "</td><td>" +
                 HtmlEscape(v.configId) + "</td><td>" + HtmlEscape(v.outcome) + "</td><td" +
                 (changed.empty() ? "" : " class=\"changed\"") + ">" + HtmlEscape(changed) + "</td></tr>\n";
        }
        h += "</tbody></table>\n";
    }
    h += "</section>\n</body></html>\n";
    return h;
}

std::string BuildReport(ReportInput in, const LinkFigures& atStart, const LinkFigures& now,
                        const RecordConfig& place) {
    in.generated = NowText();
    if (now.kept)
        in.linkFigures = FigureFields(now, RatesBetween(atStart, now));
    in.history = DeviceHistory(place, in.identification, in.historyNote);
    return RenderReport(in);
}

} // namespace vq5::record
