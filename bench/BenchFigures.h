// Figures of the benchmark programs: min, median, p99, max of samples, and the clocks they are
// measured with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vq5::bench {

// ---- figures --------------------------------------------------------------------------

struct Summary {
    std::size_t count = 0;
    double min = 0, median = 0, p99 = 0, max = 0, mean = 0;
};

// Nearest-rank percentile of sorted samples (p in 0..100); 0 for no samples.
double Percentile(const std::vector<double>& sorted, double p);
// Sorts a copy and takes min, median (nearest rank 50), p99, max and the mean.
Summary Summarize(std::vector<double> samples);
// "name  n=...  min=... median=... p99=... max=... unit" on one line.
std::string FormatSummary(const std::string& name, const Summary& s, const std::string& unit,
                          int decimals = 1);

// Monotonic clock in nanoseconds (the same clock in every process of the machine).
std::int64_t NowNs();
// CPU time of the calling thread / of this process (user + system), in nanoseconds.
std::int64_t ThreadCpuNs();
std::int64_t ProcessCpuNs();

} // namespace vq5::bench
