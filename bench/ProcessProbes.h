// CPU and memory probes of this and of another process and of single threads, and the
// machine the figures were taken on.
#pragma once

#include <cstdint>
#include <string>

namespace vq5::bench {

// ---- another process ------------------------------------------------------------------

// CPU time of a process from /proc/<pid>/stat (utime + stime, in clock ticks turned into
// nanoseconds; includes threads that have ended); -1 when it cannot be read.
std::int64_t ProcStatCpuNs(int pid);
// The sum of the first field of /proc/<pid>/task/*/schedstat: nanoseconds on a CPU of the
// threads alive now (finer than the ticks of ProcStatCpuNs); -1 when it cannot be read.
std::int64_t ProcSchedCpuNs(int pid);
// A "Vm...:" line of /proc/<pid>/status ("VmHWM", "VmRSS") in kB; -1 when absent. pid 0 =
// this process.
long ProcStatusKb(int pid, const char* key);

// Parses the fields of a /proc/<pid>/stat line after the command name: returns utime +
// stime in ticks, -1 when the line is malformed (the command may hold spaces and ')').
long long ParseStatTicks(const std::string& statLine);

// The machine, for the figures' header: "x86_64, AMD EPYC ..., 2 cores, load 1.02 0.95 0.80".
std::string MachineText();
std::string LoadText(); // "load 1.02 0.95 0.80" from /proc/loadavg

// The calling thread's id as the kernel knows it.
int ThreadId();

// One thread's scheduler figures from /proc/self/task/<tid>/schedstat: nanoseconds on a CPU,
// nanoseconds waiting in a run queue (runnable, but another thread had the CPU), and the
// number of times it was given a CPU. All -1 when it cannot be read.
struct SchedStat {
    std::int64_t cpuNs = -1;
    std::int64_t waitNs = -1;
    std::int64_t slices = -1;
};
SchedStat ThreadSchedStat(int tid);

} // namespace vq5::bench
