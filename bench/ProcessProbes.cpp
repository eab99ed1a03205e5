#include "ProcessProbes.h"

#include "BenchFigures.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/utsname.h>
#include <unistd.h>

namespace vq5::bench {

// ---- another process ------------------------------------------------------------------

namespace {
std::string ReadWhole(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        return {};
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
} // namespace

long long ParseStatTicks(const std::string& statLine) {
    // "pid (comm) state ppid ... utime stime ...": comm may hold anything, so start after
    // the last ')'. After it, field 0 is the state; utime and stime are fields 11 and 12.
    const std::size_t close = statLine.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream in(statLine.substr(close + 1));
    std::string field;
    long long utime = -1, stime = -1;
    for (int i = 0; i <= 12 && (in >> field); ++i) {
        if (i == 11 || i == 12) {
            char* end = nullptr;
            errno = 0;
            long long v = std::strtoll(field.c_str(), &end, 10);
            if (errno != 0 || end == field.c_str() || *end != 0 || v < 0)
                return -1;
            (i == 11 ? utime : stime) = v;
        }
    }
    if (utime < 0 || stime < 0)
        return -1;
    return utime + stime;
}

std::int64_t ProcStatCpuNs(int pid) {
    const std::string line = ReadWhole("/proc/" + std::to_string(pid) + "/stat");
    const long long ticks = ParseStatTicks(line);
    if (ticks < 0)
        return -1;
    const long hz = sysconf(_SC_CLK_TCK);
    return ticks * (1000000000LL / (hz > 0 ? hz : 100));
}

std::int64_t ProcSchedCpuNs(int pid) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    DIR* d = opendir(dir.c_str());
    if (!d)
        return -1;
    std::int64_t sum = 0;
    bool any = false;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        const std::string s = ReadWhole(dir + "/" + e->d_name + "/schedstat");
        long long ns = 0;
        if (std::sscanf(s.c_str(), "%lld", &ns) == 1) {
            sum += ns;
            any = true;
        }
    }
    closedir(d);
    return any ? sum : -1;
}

long ProcStatusKb(int pid, const char* key) {
    const std::string path =
        pid == 0 ? std::string("/proc/self/status") : "/proc/" + std::to_string(pid) + "/status";
    std::ifstream in(path);
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            long kb = -1;
            if (std::sscanf(line.c_str() + prefix.size(), "%ld", &kb) == 1)
                return kb;
        }
    }
    return -1;
}

std::string LoadText() {
    std::string s = ReadWhole("/proc/loadavg");
    double a = 0, b = 0, c = 0;
    if (std::sscanf(s.c_str(), "%lf %lf %lf", &a, &b, &c) != 3)
        return "load ?";
    char buf[64];
    std::snprintf(buf, sizeof buf, "load %.2f %.2f %.2f", a, b, c);
    return buf;
}

std::string MachineText() {
    utsname u{};
    uname(&u);
    std::string model = "unknown CPU";
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 10, "model name") == 0) {
            std::size_t colon = line.find(':');
            if (colon != std::string::npos) {
                model = line.substr(colon + 1);
                model.erase(0, model.find_first_not_of(" \t"));
            }
            break;
        }
    }
    char buf[512];
    std::snprintf(buf, sizeof buf, "%s, %s, %ld cores, %s", u.machine, model.c_str(),
                  sysconf(_SC_NPROCESSORS_ONLN), LoadText().c_str());
    return buf;
}

int ThreadId() {
    return static_cast<int>(::gettid());
}

SchedStat ThreadSchedStat(int tid) {
    SchedStat s;
    const std::string text = ReadWhole("/proc/self/task/" + std::to_string(tid) + "/schedstat");
    long long a = 0, b = 0, c = 0;
    if (std::sscanf(text.c_str(), "%lld %lld %lld", &a, &b, &c) == 3) {
        s.cpuNs = a;
        s.waitNs = b;
        s.slices = c;
    }
    return s;
}

} // namespace vq5::bench
