// Programs run as child processes by the tests: stdout and stderr collected through pipes, a
// signal on demand, and an exit status waited for with a deadline.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace vq5::test {

class CChild {
public:
    // Starts `path` with the arguments (argv[0] is the path).
    CChild(const std::string& path, const std::vector<std::string>& args);
    ~CChild(); // kills a child that has not ended
    CChild(const CChild&) = delete;
    CChild& operator=(const CChild&) = delete;

    bool Started() const { return m_Pid > 0; }
    pid_t Pid() const { return m_Pid; }
    void Signal(int sig);

    // Collects what the child writes until `done` holds for its stdout; false when the time ran
    // out or both pipes ended before that.
    bool ReadUntil(const std::function<bool(const std::string&)>& done, std::chrono::milliseconds timeout);
    // Waits for the end, collecting the output; the exit status (128 + the signal that ended
    // it), or -1 when it did not end in time.
    int Wait(std::chrono::milliseconds timeout);

    const std::string& Out() const { return m_Stdout; }
    const std::string& Err() const { return m_Stderr; }

private:
    // Takes what arrives within `ms`; false when both pipes are at their end.
    bool Pump(int ms);

    pid_t m_Pid = -1;
    int m_Out = -1, m_Err = -1;
    int m_Status = -1;
    std::string m_Stdout, m_Stderr;
};

// Whether the process `pid` holds `path` open (looked up in /proc).
bool HasOpen(pid_t pid, const std::string& path);

struct RunResult {
    int exitCode = -1; // the exit status, or 128 + the signal that ended it
    std::string out;
    std::string err;
    double seconds = 0; // from start to end
};

// Runs the program with the arguments, its stdout and stderr collected; kills it (and fails
// the test) after `limit`. With `terminateAfter` above zero it gets SIGTERM after that long.
RunResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                     std::chrono::milliseconds limit = std::chrono::seconds(60),
                     std::chrono::milliseconds terminateAfter = std::chrono::milliseconds(0));

} // namespace vq5::test
