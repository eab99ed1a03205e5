#include "CliSupport.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace vq5::cli {

const char* const kEngineOptionsHelp =
#if defined(_WIN32)
    "  --port NAME      serial port: COM1..COM9 or a device name such as \\\\.\\COM12 (default COM1)\n"
#else
    "  --port NAME      serial port: COM1..COM8 (/dev/ttyS0..7) or a device path (default COM1)\n"
#endif
    "  --timeout MS     read time-out in milliseconds, 200 to 6000 (default 2000)\n"
    "  --fast-speed N   line speed in program mode: 0=1200 1=2400 2=4800 3=9600 4=14400 5=19200\n"
    "                   (default 0)\n"
    "  --deadline S     give up when the queue has not drained within S seconds (default 30)\n"
    "  --trace MASK     trace lines to stderr; bits: 1 I/O, 2 Frame, 4 Slave, 8 Appl (default 0)\n"
    "  --capture FILE   write every byte both ways to FILE (pcap; 'vq5 replay FILE', Wireshark)\n";

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

OptionResult ParseEngineOption(int argc, char** argv, int& i, EngineOptions& options, std::string& error) {
    const std::string arg = argv[i];
    auto value = [&](std::string& out) {
        if (i + 1 >= argc) {
            error = arg + " needs a value";
            return false;
        }
        out = argv[++i];
        return true;
    };
    std::string v;
    long n = 0;
    if (arg == "--port") {
        if (!value(v))
            return OptionResult::Error;
        options.port = v;
        return OptionResult::Taken;
    }
    if (arg == "--timeout") {
        if (!value(v))
            return OptionResult::Error;
        if (!ParseNumber(v, 200, 6000, n)) {
            error = "--timeout must be 200 to 6000 (milliseconds), not '" + v + "'";
            return OptionResult::Error;
        }
        options.timeoutMs = static_cast<unsigned>(n);
        return OptionResult::Taken;
    }
    if (arg == "--fast-speed") {
        if (!value(v))
            return OptionResult::Error;
        if (!ParseNumber(v, 0, 5, n)) {
            error = "--fast-speed must be 0 to 5, not '" + v + "'";
            return OptionResult::Error;
        }
        options.fastSpeed = static_cast<int>(n);
        return OptionResult::Taken;
    }
    if (arg == "--reboot") {
        options.reboot = true;
        return OptionResult::Taken;
    }
    if (arg == "--deadline") {
        if (!value(v))
            return OptionResult::Error;
        char* end = nullptr;
        errno = 0;
        double d = std::strtod(v.c_str(), &end);
        if (errno != 0 || end == v.c_str() || *end != '\0' || !(d > 0) || d > 86400) {
            error = "--deadline must be a number of seconds above 0, not '" + v + "'";
            return OptionResult::Error;
        }
        options.deadlineS = d;
        return OptionResult::Taken;
    }
    if (arg == "--trace") {
        if (!value(v))
            return OptionResult::Error;
        if (!ParseNumber(v, 0, 15, n)) {
            error = "--trace must be a mask of 0 to 15, not '" + v + "'";
            return OptionResult::Error;
        }
        options.traceMask = static_cast<int>(n);
        return OptionResult::Taken;
    }
    if (arg == "--capture") {
        if (!value(v))
            return OptionResult::Error;
        // Tried here, so that a file that cannot be written is a bad argument, not a failed run.
        CPcapCaptureFile trial;
        std::string why;
        if (!trial.Open(v, why)) {
            error = "--capture: cannot write '" + v + "': " + why;
            return OptionResult::Error;
        }
        options.capture = v;
        return OptionResult::Taken;
    }
    return OptionResult::NotMine;
}

void ApplyConnectionSettings(ISettingsStore& store, const EngineOptions& options) {
    store.WriteString("VLPIO", "ComPort", options.port);
    store.WriteInt("VLPIO", "Timeout", options.timeoutMs);
    store.WriteInt("VLPIO", "FastBaudRate", options.fastSpeed);
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

bool ParseDuration(const char* verb, const char* text, double& seconds) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text, &end);
    if (errno != 0 || end == text || *end != '\0' || !(value > 0) || value > 31536000) {
        std::fprintf(stderr, "vq5 %s: --duration must be a number of seconds above 0, not '%s'\n", verb,
                     text);
        return false;
    }
    seconds = value;
    return true;
}

} // namespace vq5::cli
