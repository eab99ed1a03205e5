#include "RecordPlatform.h"

#include <cstdlib>
#include <ctime>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

namespace vq5::record {

namespace {
std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}
} // namespace

UtcTime UtcOf(long long secondsSinceEpoch) {
    const std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &t);
#else
    gmtime_r(&t, &tm);
#endif
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string OperatorName() {
#ifdef _WIN32
    return Env("USERNAME");
#else
    std::string name = Env("LOGNAME");
    if (name.empty())
        name = Env("USER");
    if (name.empty()) {
        // getpwuid_r: visits of several ports are added from threads of their own.
        passwd pw{};
        passwd* found = nullptr;
        std::vector<char> buf(16384);
        if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found)
            name = found->pw_name;
    }
    return name;
#endif
}

std::string HostName() {
#ifdef _WIN32
    return Env("COMPUTERNAME");
#else
    char buf[256] = {};
    if (::gethostname(buf, sizeof buf - 1) != 0)
        return "";
    return buf;
#endif
}

#ifndef _WIN32
namespace {
// The folder the variable `xdg` names, else `underHome` in the home folder ("" without one).
std::string XdgFolder(const char* xdg, const char* underHome) {
    const std::string set = Env(xdg);
    if (!set.empty())
        return set;
    const std::string home = Env("HOME");
    return home.empty() ? "" : home + underHome;
}
} // namespace
#endif

std::string ConfigHome() {
#ifdef _WIN32
    return Env("APPDATA");
#else
    return XdgFolder("XDG_CONFIG_HOME", "/.config");
#endif
}

std::string DataHome() {
#ifdef _WIN32
    return Env("LOCALAPPDATA");
#else
    return XdgFolder("XDG_DATA_HOME", "/.local/share");
#endif
}

} // namespace vq5::record
