#include "DeviceState.h"
#include "TextFile.h"

#include "CommandSet.h"
#include "TextCodec.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sstream>
#include <unistd.h>

namespace vq5::sim {

namespace {

const char* const kModules[13] = {"h",   "main", "cbf", "vtg", "tim", "cfg", "v24",
                                  "eep", "i2c",  "dbg", "led", "key", "trp"};

bool ParseUnsigned(const std::string& s, int base, unsigned long max, unsigned long& out) {
    const std::optional<unsigned long> v = s.size() > 12 ? std::nullopt : ParseNumber<unsigned long>(s, base);
    if (!v || *v > max)
        return false;
    out = *v;
    return true;
}

std::string HexDigit(unsigned v) {
    static const char d[] = "0123456789ABCDEF";
    return std::string(1, d[v & 15u]);
}

} // namespace

DeviceState FactoryState(unsigned major, unsigned minor) {
    DeviceState s;
    for (const auto& f : device::Flags())
        s.flags[f.item] = false;
    s.flags['O'] = true; // public transport
    s.identifier = "Factory default";
    s.datacall[0] = "&P.1";
    s.datacall[1] = "&P.2";
    s.datacall[2] = "&P.3";
    s.window = 8;
    s.minimal = 7;
    s.offsetDigit = device::OffsetDigit(22, major, minor);
    s.stable = 10;
    char buf[64];
    for (int i = 0; i < 13; ++i) {
        std::snprintf(buf, sizeof buf, "$Id: %s.c %X.%X sim $", kModules[i], major & 15u, minor & 15u);
        s.revision[i] = buf;
    }
    s.copyright = "(c) Lumark Electronics";
    std::snprintf(buf, sizeof buf, "VQ-5 %X.%X (simulated)", major & 15u, minor & 15u);
    s.software = buf;
    s.identText = "VQ-5 simulator";
    s.line = 0;
    s.run = 0;
    return s;
}

std::string StateToText(const DeviceState& s, unsigned major, unsigned minor) {
    std::ostringstream o;
    o << "# Simulated VQ-5 " << HexDigit(major) << "." << HexDigit(minor)
      << ": configuration, counters and texts.\n";
    o << "# Texts are escaped: \\\\ \\n \\r \\t \\xHH. Flags are 0 or 1, filter constants one hex digit.\n";
    o << "identifier=" << EscapeText(s.identifier) << "\n";
    for (int i = 0; i < 3; ++i)
        o << "datacall" << i << "=" << EscapeText(s.datacall[i]) << "\n";
    for (const auto& f : device::Flags()) {
        auto it = s.flags.find(f.item);
        o << "flag." << f.item << "=" << ((it != s.flags.end() && it->second) ? 1 : 0);
        if (f.name && *f.name)
            o << "    # " << f.name;
        o << "\n";
    }
    o << "window=" << HexDigit(s.window) << "\n";
    o << "minimal=" << HexDigit(s.minimal) << "\n";
    o << "offset=" << HexDigit(s.offsetDigit) << "    # "
      << device::OffsetFromDigit(s.offsetDigit, major, minor) << " ms\n";
    o << "stable=" << HexDigit(s.stable) << "\n";
    o << "reboots=" << s.reboots << "\n";
    o << "configInits=" << s.configInits << "\n";
    o << "programModeEntries=" << s.programModeEntries << "\n";
    for (int i = 0; i < 13; ++i)
        o << "revision." << i << "=" << EscapeText(s.revision[i]) << "\n";
    o << "copyright=" << EscapeText(s.copyright) << "\n";
    o << "software=" << EscapeText(s.software) << "\n";
    o << "identText=" << EscapeText(s.identText) << "\n";
    o << "line=" << s.line << "\n";
    o << "run=" << s.run << "\n";
    return o.str();
}

void StateFromText(const std::string& text, DeviceState& s, int* skipped) {
    int bad = 0;
    std::istringstream in(text);
    std::string rawLine;
    while (std::getline(in, rawLine)) {
        if (!rawLine.empty() && rawLine.back() == '\r')
            rawLine.pop_back();
        if (rawLine.empty() || rawLine[0] == '#')
            continue;
        const std::size_t eq = rawLine.find('=');
        if (eq == std::string::npos || eq == 0) {
            ++bad;
            continue;
        }
        const std::string key = rawLine.substr(0, eq);
        std::string value = rawLine.substr(eq + 1);
        const bool isText = key == "identifier" || key.rfind("datacall", 0) == 0 ||
                            key.rfind("revision.", 0) == 0 || key == "copyright" || key == "software" ||
                            key == "identText";
        if (!isText) {
            // Numbers may carry a trailing comment.
            const std::size_t hash = value.find('#');
            if (hash != std::string::npos)
                value = value.substr(0, hash);
            while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
                value.pop_back();
        }
        unsigned long v = 0;
        bool ok = true;
        if (key == "identifier") {
            s.identifier = UnescapeText(value);
        } else if (key.size() == 9 && key.rfind("datacall", 0) == 0 && key[8] >= '0' && key[8] <= '2') {
            s.datacall[key[8] - '0'] = UnescapeText(value);
        } else if (key.size() == 6 && key.rfind("flag.", 0) == 0 && device::FindFlag(key[5])) {
            ok = (value == "0" || value == "1");
            if (ok)
                s.flags[key[5]] = value == "1";
        } else if (key == "window" || key == "minimal" || key == "offset" || key == "stable") {
            ok = value.size() == 1 && IsDeviceHexDigit(value[0]) && ParseUnsigned(value, 16, 15, v);
            if (ok) {
                unsigned d = static_cast<unsigned>(v);
                (key == "window"    ? s.window
                 : key == "minimal" ? s.minimal
                 : key == "offset"  ? s.offsetDigit
                                    : s.stable) = d;
            }
        } else if (key == "reboots" || key == "configInits" || key == "programModeEntries") {
            ok = ParseUnsigned(value, 10, 0xFFFFFFFFul, v);
            if (ok)
                (key == "reboots"       ? s.reboots
                 : key == "configInits" ? s.configInits
                                        : s.programModeEntries) = static_cast<std::uint32_t>(v);
        } else if (key.rfind("revision.", 0) == 0) {
            unsigned long i = 0;
            ok = ParseUnsigned(key.substr(9), 10, 12, i);
            if (ok)
                s.revision[i] = UnescapeText(value);
        } else if (key == "copyright") {
            s.copyright = UnescapeText(value);
        } else if (key == "software") {
            s.software = UnescapeText(value);
        } else if (key == "identText") {
            s.identText = UnescapeText(value);
        } else if (key == "line" || key == "run") {
            ok = ParseUnsigned(value, 10, 999, v);
            if (ok)
                (key == "line" ? s.line : s.run) = static_cast<int>(v);
        } else {
            ok = false;
        }
        if (!ok)
            ++bad;
    }
    if (skipped)
        *skipped = bad;
}

bool LoadStateFile(const std::string& path, DeviceState& state, std::string& error, bool missingOk) {
    std::string text;
    switch (ReadTextFile(path, text, error)) {
    case ReadFileResult::Read:
        break;
    case ReadFileResult::Missing:
        if (missingOk)
            return true;
        return false;
    case ReadFileResult::Failed:
        return false;
    }
    StateFromText(text, state);
    return true;
}

bool SaveStateFile(const std::string& path, const DeviceState& state, unsigned major, unsigned minor,
                   std::string& error) {
    return SaveTextFile(path, StateToText(state, major, minor), error);
}

} // namespace vq5::sim
