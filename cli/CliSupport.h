// Shared pieces of the `vq5` verbs: the engine options every verb that talks to a device
// takes, and running an engine headless (stderr for boxes and trace lines, a notification
// queue for the rest) until its queue has drained.
#pragma once

#include "NotifyQueue.h"
#include "PcapCapture.h"
#include "SettingsStore.h"
#include "VLPEngine.h"

#include <CLI.hpp> // CLI11, from its own folder

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vq5::cli {

// The exit codes of every verb.
inline constexpr int kExitDone = 0;   // done: the device did what was asked
inline constexpr int kExitFailed = 1; // the device or the link did not do it (no answer, time-out, refused)
inline constexpr int kExitUsage = 2;  // bad arguments, or a file that cannot be read, written or used
inline constexpr int kExitPort = 3;   // the port could not be used (missing, in use, no permission)
// The same for help texts.
extern const char* const kExitCodesHelp;

// A device text or a piece of the user's input for one line of the terminal: escaped as
// EscapeText does, and cut to `limit` characters of the input with "..." after it.
std::string Shown(std::string_view text, std::size_t limit = 200);

// Options of a verb that runs the engine on a port.
struct EngineOptions {
    std::string port = "COM1";
    unsigned timeoutMs = 2000; // read time-out, 200..6000
    int fastSpeed = 0;         // speed index for program mode, 0..5
    bool reboot = false;       // leave program mode with a reboot
    double deadlineS = 30;     // the queue must drain within this
    int traceMask = 0;         // trace levels to print (bit 0 "I/O" .. bit 3 "Appl")
    std::string capture;       // every byte both ways into this pcap file (empty: none)
};

// Whole number in decimal or 0x hexadecimal within [min, max].
bool ParseNumber(const std::string& text, long min, long max, long& value);

// The command line of one verb, declared once with CLI11: its help is generated from the
// declaration. The options several verbs share are declared by the Add* functions below.
class CVerbCommandLine {
public:
    // `verb` as it is typed ("io"); `description` the paragraph under the usage line.
    CVerbCommandLine(const char* verb, const std::string& description);
    CLI::App& App() { return m_App; }
    // Parses the verb's arguments (argv[0] is the verb). Returns -1 to go on, else the exit
    // code: 0 after --help (the help on stdout), 2 after a bad argument (one line on stderr).
    int Parse(int argc, char** argv);

private:
    std::string m_Verb;
    CLI::App m_App;
};

// Makes a verb's (or a sub-verb's) help look like every other: usage line first, the exit
// codes (or `footer`) last. CVerbCommandLine does it for its own App.
void StyleVerbApp(CLI::App& app, const std::string& footer = kExitCodesHelp);

// The engine options a verb takes.
enum EngineOption : unsigned {
    kPortOption = 1u << 0,
    kTimeoutOption = 1u << 1,
    kFastSpeedOption = 1u << 2,
    kRebootOption = 1u << 3,
    kDeadlineOption = 1u << 4,
    kTraceOption = 1u << 5,
    kCaptureOption = 1u << 6,
    kEveryEngineOption = (1u << 7) - 1,
};
// Declares the engine options `which` on `app`, writing into `options`. Without kPortOption
// the port is left to AddPorts.
void AddEngineOptions(CLI::App& app, EngineOptions& options, unsigned which = kEveryEngineOption);
// --port NAME, given once or more: every port is served at the same time (MultiPort.h).
void AddPorts(CLI::App& app, std::vector<std::string>& ports, const std::string& served);
// --reboot with a verb's own description.
void AddReboot(CLI::App& app, bool& reboot, const std::string& description);
// --duration S: stop after S seconds (above 0, at most a year).
void AddDuration(CLI::App& app, double& seconds, const std::string& description = "stop after S seconds");
// Seconds above 0 (and at least `min`), at most `max`, into `out`; "" or why not.
std::string TakeSeconds(const std::string& value, double max, double& out, double min = 0);
// When a run of --duration S that starts now ends; S = 0: not within ten years.
std::chrono::steady_clock::time_point EndOfRun(double seconds);
// An option with one value, checked and taken by `take`, which returns "" or why the value
// is refused (the message then reads "--name: why").
CLI::Option* AddCheckedOption(CLI::App& app, const std::string& name, const std::string& valueName,
                              const std::string& description,
                              std::function<std::string(const std::string& value)> take);
// The same for a whole number within [min, max] (decimal or 0x hexadecimal).
CLI::Option* AddNumberOption(CLI::App& app, const std::string& name, const std::string& valueName,
                             const std::string& description, long min, long max,
                             std::function<void(long)> take, const std::string& unit = "");

// The settings an engine of a verb starts with: the connection settings of its options
// ("VLPIO": "ComPort", "Timeout", "FastBaudRate").
class CConnectionStore : public CMemoryStore {
public:
    explicit CConnectionStore(const EngineOptions& options);
};

// "%2d:%02d.%02d": minute, second and hundredths of the UTC time, as the log window shows.
std::string TraceTimeStamp(std::chrono::system_clock::time_point when);

// Trace lines, time-stamped, to a stream (stderr), filtered by the level mask.
class CStreamTraceSink : public ITraceSink {
public:
    explicit CStreamTraceSink(int mask, std::FILE* out = stderr) : m_Mask(mask), m_Out(out) {}
    void AddLine(int level, std::string line) override;

private:
    int m_Mask;
    std::FILE* m_Out;
};

// Runs an engine without windows. Construct after the engine, before Start; the destructor
// stops the engine and detaches everything.
class CHeadlessRun {
public:
    CHeadlessRun(CVLPEngine& engine, const EngineOptions& options);
    ~CHeadlessRun();
    CHeadlessRun(const CHeadlessRun&) = delete;
    CHeadlessRun& operator=(const CHeadlessRun&) = delete;

    void Start() { m_Engine.Start(); }
    CNotifyQueue& Queue() { return m_Queue; }

    enum class Outcome {
        Done,     // every queued text was acknowledged (and the exit reply came, or the grace time passed)
        Deadline, // not every text had been acknowledged by the deadline
        Stopped,  // the worker ended: the port could not be opened
    };
    // Takes notifications, hands each to `seen` (may be empty), until every queued text has
    // been acknowledged by the device and either the device's program-mode exit reply (kind
    // 5, value 0) to the last text has come or `grace` has passed since; or until the
    // deadline of the options; or until the worker stops. An exit reply counts only when it
    // came after the last text was taken from the queue (an earlier exit's reply does not).
    Outcome WaitDrained(const std::function<void(const Notification&)>& seen,
                        std::chrono::milliseconds grace = std::chrono::seconds(2));
    // The last WaitDrained that returned Done saw the exit reply of its last text.
    bool ExitAnswered() const { return m_ExitAnswered; }
    // The exit code of an outcome: Done 0, Deadline 1, Stopped 3.
    static int ExitCode(Outcome outcome);

    // The general loop: takes notifications until `handle` returns true (Done), the worker
    // stops (Stopped) or `until` passes (Deadline).
    Outcome Pump(std::chrono::steady_clock::time_point until,
                 const std::function<bool(const Notification&)>& handle);

    std::chrono::steady_clock::time_point Deadline() const { return m_Deadline; }

private:
    CVLPEngine& m_Engine;
    CNotifyQueue m_Queue;
    CStderrMessages m_Messages;
    CStreamTraceSink m_Trace;
    CPcapCaptureFile m_Capture;
    std::chrono::steady_clock::time_point m_Deadline;
    bool m_ExitAnswered = false;
};

// Posted into the notification queue by CStopSignals when SIGINT or SIGTERM came.
inline constexpr int kStopKind = -1;

// POSIX: SIGINT and SIGTERM are blocked in this thread and every thread started after it, and
// taken by a waiting thread that posts a kStopKind notification (value: the signal).
// Windows: Ctrl+C, Ctrl+Break and closing the console post it (value 2 for Ctrl+C, else 15).
// Construct before the engine starts. (PlatformPosix.cpp, PlatformWin32.cpp)
class CStopSignals {
public:
    explicit CStopSignals(CNotifyQueue& queue);
    ~CStopSignals();
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

private:
    struct Impl;
    std::unique_ptr<Impl> m_Impl;
};

// Makes stdout and stderr write bytes as they are: on Windows no "\r" is put before each
// "\n", so the output is the same on every system. Nothing to do on POSIX.
void PrepareStdStreams();

} // namespace vq5::cli
