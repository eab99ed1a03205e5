#include "RecordText.h"

#include <cstdio>

namespace vq5::record {

std::string CsvField(const std::string& s) {
    if (s.find_first_of(",\"\r\n") == std::string::npos)
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

std::string JsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c); // UTF-8 passes as it stands
        }
    }
    return out + "\"";
}

std::string Printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string CsvHeader() {
    return "id,started,ended,tool,operator,host,port,letter,version,identification,config_id,outcome\r\n";
}

std::string CsvLine(const Visit& v) {
    std::string out = std::to_string(v.id);
    for (const std::string* f : {&v.started, &v.ended, &v.tool, &v.operatorName, &v.host, &v.port, &v.letter,
                                 &v.version, &v.identification, &v.configId, &v.outcome})
        out += "," + CsvField(*f);
    return out + "\r\n";
}

std::string JsonVisit(const Visit& v, bool items, const Visit* previous) {
    std::string out = "{\"id\":" + std::to_string(v.id);
    const std::pair<const char*, const std::string*> fields[] = {
        {"started", &v.started},       {"ended", &v.ended},     {"tool", &v.tool},
        {"operator", &v.operatorName}, {"host", &v.host},       {"port", &v.port},
        {"letter", &v.letter},         {"version", &v.version}, {"identification", &v.identification},
        {"config_id", &v.configId},    {"outcome", &v.outcome}};
    for (const auto& [name, value] : fields)
        out += ",\"" + std::string(name) + "\":" + JsonString(*value);
    if (items) {
        out += ",\"items\":[";
        for (std::size_t i = 0; i < v.items.size(); ++i)
            out += std::string(i ? "," : "") + "{\"kind\":" + JsonString(v.items[i].kind) +
                   ",\"item\":" + JsonString(v.items[i].item) + ",\"value\":" + JsonString(v.items[i].value) +
                   "}";
        out += "]";
        out += ",\"previous\":" + (previous ? std::to_string(previous->id) : std::string("null"));
        out += ",\"changes\":[";
        if (previous) {
            const auto diff = ConfigDifferences(*previous, v);
            for (std::size_t i = 0; i < diff.size(); ++i)
                out += std::string(i ? "," : "") + "{\"key\":" + JsonString(diff[i].key) +
                       ",\"before\":" + (diff[i].before ? JsonString(*diff[i].before) : "null") +
                       ",\"after\":" + (diff[i].after ? JsonString(*diff[i].after) : "null") + "}";
        }
        out += "]";
    }
    return out + "}";
}

} // namespace vq5::record
