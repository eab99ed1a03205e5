#include "CliSupport.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <optional>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace vq5::cli {

const char* const kPortHelp =
#if defined(_WIN32)
    "serial port: COM1..COM9 or a device name such as \\\\.\\COM12 (default COM1)";
#else
    "serial port: COM1..COM8 (/dev/ttyS0..7) or a device path (default COM1)";
#endif

const char* const kExitCodesHelp =
    "Exit codes: 0 done; 1 the device or the link did not do it (no answer, time-out);\n"
    "2 bad arguments or a bad file; 3 the port could not be used.\n";

std::string Shown(std::string_view text, std::size_t limit) {
    if (text.size() <= limit)
        return EscapeText(text);
    return EscapeText(text.substr(0, limit)) + "...";
}

bool ParseNumber(const std::string& text, long min, long max, long& value) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < min || v > max)
        return false;
    value = v;
    return true;
}

namespace {

// Usage line first, then the description, the options and the footer.
class CHelpFormatter : public CLI::Formatter {
public:
    CHelpFormatter() {
        label("Usage", "usage");
        column_width(24);
    }
    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override {
        if (mode == CLI::AppFormatMode::Sub)
            return make_expanded(app);
        std::string text = make_usage(app, std::move(name)) + "\n" + make_description(app);
        text += make_positionals(app) + make_groups(app, mode) + make_subcommands(app, mode);
        return text + "\n" + make_footer(app);
    }
};

std::string Quoted(const std::string& value) {
    return "'" + Shown(value) + "'";
}

} // namespace

std::string TakeSeconds(const std::string& value, double max, double& out, double min) {
    char* end = nullptr;
    errno = 0;
    const double d = std::strtod(value.c_str(), &end);
    if (errno != 0 || end == value.c_str() || *end != '\0' || !(d > 0) || d < min || d > max) {
        if (min <= 0)
            return "must be a number of seconds above 0, not " + Quoted(value);
        char range[64];
        std::snprintf(range, sizeof range, "%g to %g", min, max);
        return "must be " + std::string(range) + " seconds, not " + Quoted(value);
    }
    out = d;
    return "";
}

void StyleVerbApp(CLI::App& app, const std::string& footer) {
    static const auto formatter = std::make_shared<CHelpFormatter>();
    app.formatter(formatter);
    app.footer(footer);
    // A value given twice: the last one counts.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

CVerbCommandLine::CVerbCommandLine(const char* verb, const std::string& description)
    : m_Verb(verb), m_App(description, std::string("vq5 ") + verb) {
    StyleVerbApp(m_App);
}

int CVerbCommandLine::Parse(int argc, char** argv) {
    try {
        // argv[0] is the verb: CLI11 skips it as the program's name.
        m_App.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(m_App.help().c_str(), stdout);
        return kExitDone;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "vq5 %s: %s (try 'vq5 %s --help')\n", m_Verb.c_str(),
                     Shown(e.what(), 400).c_str(), m_Verb.c_str());
        return kExitUsage;
    }
    return -1;
}

CLI::Option* AddCheckedOption(CLI::App& app, const std::string& name, const std::string& valueName,
                              const std::string& description,
                              std::function<std::string(const std::string& value)> take) {
    CLI::Option* option = app.add_option_function<std::string>(
        name, [](const std::string&) {}, description);
    option->type_name(valueName);
    // Every value given is checked and taken in order: the last one counts.
    option->check(
        CLI::Validator([take = std::move(take)](std::string& value) { return take(value); }, "", ""));
    return option;
}

CLI::Option* AddNumberOption(CLI::App& app, const std::string& name, const std::string& valueName,
                             const std::string& description, long min, long max,
                             std::function<void(long)> take, const std::string& unit) {
    return AddCheckedOption(app, name, valueName, description,
                            [=, take = std::move(take)](const std::string& value) -> std::string {
                                long n = 0;
                                if (!ParseNumber(value, min, max, n))
                                    return "must be " + std::to_string(min) + " to " + std::to_string(max) +
                                           unit + ", not " + Quoted(value);
                                take(n);
                                return "";
                            });
}

void AddEngineOptions(CLI::App& app, EngineOptions& options, unsigned which) {
    if (which & kPortOption)
        AddCheckedOption(app, "--port", "NAME", kPortHelp, [&options](const std::string& value) {
            options.port = value;
            return std::string();
        });
    if (which & kTimeoutOption)
        AddNumberOption(
            app, "--timeout", "MS", "read time-out in milliseconds, 200 to 6000 (default 2000)", 200, 6000,
            [&options](long n) { options.timeoutMs = static_cast<unsigned>(n); }, " (milliseconds)");
    if (which & kFastSpeedOption)
        AddNumberOption(
            app, "--fast-speed", "N",
            "line speed in program mode: 0=1200 1=2400 2=4800 3=9600 4=14400 5=19200\n(default 0)", 0, 5,
            [&options](long n) { options.fastSpeed = static_cast<int>(n); });
    if (which & kRebootOption)
        AddReboot(app, options.reboot, "leave program mode with a reboot of the device (\"&PXR\")");
    if (which & kDeadlineOption)
        AddCheckedOption(
            app, "--deadline", "S", "give up when the queue has not drained within S seconds (default 30)",
            [&options](const std::string& value) { return TakeSeconds(value, 86400, options.deadlineS); });
    if (which & kTraceOption)
        AddNumberOption(
            app, "--trace", "MASK",
            "trace lines to stderr; bits: 1 I/O, 2 Frame, 4 Slave, 8 Appl (default 0)", 0, 15,
            [&options](long n) { options.traceMask = static_cast<int>(n); }, " (a mask)");
    if (which & kCaptureOption)
        AddCheckedOption(app, "--capture", "FILE",
                         "write every byte both ways to FILE (pcap; 'vq5 replay FILE', Wireshark)",
                         [&options](const std::string& value) -> std::string {
                             // Tried here, so that a file that cannot be written is a bad argument,
                             // not a failed run.
                             CPcapCaptureFile trial;
                             std::string why;
                             if (!trial.Open(value, why))
                                 return "cannot write " + Quoted(value) + ": " + why;
                             options.capture = value;
                             return "";
                         });
}

void AddPorts(CLI::App& app, std::vector<std::string>& ports, const std::string& served) {
    app.add_option("--port", ports, std::string(kPortHelp) + ";\ngiven more than once: " + served)
        ->type_name("NAME")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
}

void AddReboot(CLI::App& app, bool& reboot, const std::string& description) {
    app.add_flag("--reboot", reboot, description);
}

void AddDuration(CLI::App& app, double& seconds, const std::string& description) {
    AddCheckedOption(app, "--duration", "S", description,
                     [&seconds](const std::string& value) { return TakeSeconds(value, 31536000, seconds); });
}

std::chrono::steady_clock::time_point EndOfRun(double seconds) {
    const auto now = std::chrono::steady_clock::now();
    if (seconds > 0)
        return now + std::chrono::milliseconds(std::llround(seconds * 1000));
    return now + std::chrono::hours(24 * 365 * 10);
}

CConnectionStore::CConnectionStore(const EngineOptions& options) {
    WriteString("VLPIO", "ComPort", options.port);
    WriteInt("VLPIO", "Timeout", options.timeoutMs);
    WriteInt("VLPIO", "FastBaudRate", options.fastSpeed);
}

std::string TraceTimeStamp(std::chrono::system_clock::time_point when) {
    // UTC minutes and seconds follow from the count of seconds since the epoch alone.
    const long long ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const long long seconds = ms / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%2d:%02d.%02d", static_cast<int>((seconds / 60) % 60),
                  static_cast<int>(seconds % 60), static_cast<int>((ms % 1000) / 10));
    return text;
}

void CStreamTraceSink::AddLine(int level, std::string line) {
    if (level < 0 || level > 30 || !(m_Mask & (1 << level)))
        return;
    std::fprintf(m_Out, "%s %s\n", TraceTimeStamp(std::chrono::system_clock::now()).c_str(), line.c_str());
    std::fflush(m_Out);
}

CHeadlessRun::CHeadlessRun(CVLPEngine& engine, const EngineOptions& options)
    : m_Engine(engine), m_Trace(options.traceMask) {
    m_Deadline = std::chrono::steady_clock::now() +
                 std::chrono::milliseconds(static_cast<long long>(options.deadlineS * 1000.0));
    m_Engine.SetUserMessages(&m_Messages);
    m_Engine.SetNotifySink(&m_Queue);
    if (options.traceMask != 0)
        m_Engine.SetTraceSink(&m_Trace);
    std::string error;
    if (!options.capture.empty()) {
        if (m_Capture.Open(options.capture, error))
            m_Engine.SetCapture(&m_Capture);
        else
            std::fprintf(stderr, "vq5: --capture: cannot write '%s': %s\n", options.capture.c_str(),
                         error.c_str());
    }
}

CHeadlessRun::~CHeadlessRun() {
    m_Engine.Stop();
    m_Engine.SetCapture(nullptr);
    m_Capture.Close();
    m_Engine.SetTraceSink(nullptr);
    m_Engine.SetNotifySink(nullptr);
    m_Engine.SetUserMessages(nullptr);
}

CHeadlessRun::Outcome CHeadlessRun::Pump(std::chrono::steady_clock::time_point until,
                                         const std::function<bool(const Notification&)>& handle) {
    for (;;) {
        auto now = std::chrono::steady_clock::now();
        if (now >= until)
            return Outcome::Deadline;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now);
        Notification n;
        if (!m_Queue.Wait(n, left + std::chrono::milliseconds(1)))
            continue;
        if (handle(n))
            return Outcome::Done;
        if (n.kind == nkLinkStatus && n.value == lsStopped)
            return Outcome::Stopped;
    }
}

CHeadlessRun::Outcome CHeadlessRun::WaitDrained(const std::function<void(const Notification&)>& seen,
                                                std::chrono::milliseconds grace) {
    using Clock = std::chrono::steady_clock;
    m_ExitAnswered = false;
    bool exitReply = false;
    // The queue is read before the flag: a text leaves the queue only after the flag is set.
    auto allAcknowledged = [&] { return m_Engine.QueueLength() == 0 && !m_Engine.AwaitingAck(); };
    std::optional<Clock::time_point> graceEnd;
    for (;;) {
        const auto now = Clock::now();
        if (allAcknowledged()) {
            if (exitReply) {
                m_ExitAnswered = true;
                return Outcome::Done;
            }
            if (!graceEnd)
                graceEnd = now + grace;
            if (now >= *graceEnd)
                return Outcome::Done;
        }
        if (now >= m_Deadline)
            return Outcome::Deadline;
        // Looks again at least every 50 ms: the acknowledgement itself raises no notification.
        auto until = std::min(m_Deadline, now + std::chrono::milliseconds(50));
        if (graceEnd)
            until = std::min(until, *graceEnd);
        Notification n;
        if (!m_Queue.Wait(n, std::chrono::duration_cast<std::chrono::milliseconds>(until - now) +
                                 std::chrono::milliseconds(1)))
            continue;
        if (seen)
            seen(n);
        if (n.kind == nkQueueProgress)
            exitReply = false; // a text was queued or taken: only a reply after the last one counts
        if (n.kind == nkIdent && n.value == 0)
            exitReply = true;
        if (n.kind == nkLinkStatus && n.value == lsStopped)
            return Outcome::Stopped;
    }
}

int CHeadlessRun::ExitCode(Outcome outcome) {
    switch (outcome) {
    case Outcome::Done:
        return kExitDone;
    case Outcome::Deadline:
        return kExitFailed;
    case Outcome::Stopped:
        return kExitPort;
    }
    return kExitFailed;
}

} // namespace vq5::cli
