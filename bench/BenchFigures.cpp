#include "BenchFigures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <time.h>

namespace vq5::bench {

// ---- figures --------------------------------------------------------------------------

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty())
        return 0;
    if (p <= 0)
        return sorted.front();
    // Nearest rank: the smallest sample with at least p percent of the samples at or below it.
    auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(sorted.size())));
    if (rank < 1)
        rank = 1;
    if (rank > sorted.size())
        rank = sorted.size();
    return sorted[rank - 1];
}

Summary Summarize(std::vector<double> samples) {
    Summary s;
    s.count = samples.size();
    if (samples.empty())
        return s;
    std::sort(samples.begin(), samples.end());
    s.min = samples.front();
    s.max = samples.back();
    s.median = Percentile(samples, 50);
    s.p99 = Percentile(samples, 99);
    double sum = 0;
    for (double v : samples)
        sum += v;
    s.mean = sum / static_cast<double>(samples.size());
    return s;
}

std::string FormatSummary(const std::string& name, const Summary& s, const std::string& unit, int decimals) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "%-34s n=%-6zu min=%.*f median=%.*f p99=%.*f max=%.*f %s", name.c_str(),
                  s.count, decimals, s.min, decimals, s.median, decimals, s.p99, decimals, s.max,
                  unit.c_str());
    return buf;
}

std::int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

std::int64_t ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

std::int64_t ProcessCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

} // namespace vq5::bench
