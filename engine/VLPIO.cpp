#include "VLPIO.h"

#include "PortOpenError.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace vq5 {

std::string ByteText(std::size_t count, const unsigned char* bytes) {
    std::string text;
    text.reserve(count * 2 + 2 < 1024 ? count * 2 + 2 : 1024);
    text += '"';
    for (std::size_t i = 0; i < count && bytes; ++i) {
        // Past 974 characters the rest is dropped: room for the last byte's text and the
        // closing quote in 1024.
        if (text.size() > 974)
            break;
        unsigned char b = bytes[i];
        switch (b) {
        case 0x00:
            text += "\\NUL";
            break;
        case 0x01:
            text += "\\SOH";
            break;
        case 0x02:
            text += "\\STX";
            break;
        case 0x03:
            text += "\\ETX";
            break;
        case 0x04:
            text += "\\EOT";
            break;
        case 0x05:
            text += "\\ENQ";
            break;
        case 0x06:
            text += "\\ACK";
            break;
        case 0x15:
            text += "\\NAK";
            break;
        case 0xE1:
            text += "\\ADR";
            break;
        default:
            if (b >= 0x20 && b <= 0x7E) {
                text += static_cast<char>(b);
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\0x%02x", b);
                text += hex;
            }
        }
    }
    text += '"';
    return text;
}

std::string FormatText(std::size_t size, const char* format, std::va_list args) {
    if (size == 0)
        return {};
    // Most lines fit the stack buffer: one pass, one string of the real length. A longer line
    // is formatted again, straight into a string of its (cut) length.
    char buffer[256];
    std::va_list again;
    va_copy(again, args);
    const std::size_t limit = size < sizeof buffer ? size : sizeof buffer;
    const int n = std::vsnprintf(buffer, limit, format, args);
    std::string text;
    if (n >= 0 && (static_cast<std::size_t>(n) < limit || limit == size)) {
        text.assign(buffer); // up to the first NUL, as a C text
    } else if (n >= 0) {
        const std::size_t length =
            static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
        text.resize(length);
        if (std::vsnprintf(text.data(), length + 1, format, again) < 0)
            text.clear();
        else
            text.resize(std::strlen(text.c_str()));
    }
    va_end(again);
    return text;
}

namespace {
CStderrMessages& StderrMessages() {
    static CStderrMessages messages;
    return messages;
}

// Bounds the stored read time-out: 0 would make every read return at once (a busy worker).
bool TimeoutUsable(std::int64_t v) {
    return v >= 1 && v <= 60000;
}
bool FastIndexUsable(std::int64_t v) {
    return v >= 0 && v <= 5;
}
} // namespace

struct CVLPIO::Impl {
    std::mutex portLock; // guards port (the pointer), factory and interrupted
    std::unique_ptr<ISerialPort> port;
    std::function<std::unique_ptr<ISerialPort>()> factory;
    bool interrupted = false;

    std::atomic<IUserMessages*> messages{nullptr};
    // The failure episode whose box was shown, named by the operation that failed. While one
    // lasts, further errors are only traced. It ends when the operation that failed succeeds
    // again, or when the port is opened.
    enum class Episode : int { None, Open, Read, Write };
    static Episode EpisodeOf(PortStep step) {
        return step == PortStep::Read    ? Episode::Read
               : step == PortStep::Write ? Episode::Write
                                         : Episode::Open;
    }
    std::atomic<Episode> episode{Episode::None};
    // True when no episode lasted: `step` begins one (and gets its box).
    bool BeginEpisode(PortStep step) {
        Episode none = Episode::None;
        return episode.compare_exchange_strong(none, EpisodeOf(step));
    }
    void EndEpisode(PortStep step) {
        Episode expected = EpisodeOf(step);
        episode.compare_exchange_strong(expected, Episode::None);
    }
    std::atomic<bool> portLost{false};
    std::atomic<bool> capturing{false}; // capture is set; read without the lock
    std::mutex captureLock;             // guards capture and the hand-over to it
    ILinkCapture* capture = nullptr;
    std::atomic<bool> interruptedFlag{false};
    std::mutex adviceLock; // guards explain, openAdvice
    bool explain = false;
    std::string openAdvice;

    ISerialPort& Port() {
        std::lock_guard<std::mutex> lock(portLock);
        if (!port) {
            port = factory ? factory() : nullptr;
            if (!port)
                port = MakeSystemSerialPort();
            if (interrupted)
                port->Interrupt();
        }
        return *port;
    }
};

CVLPIO::CVLPIO(ISettingsStore* store) : m_Settings("VLPIO", store), m_Impl(std::make_unique<Impl>()) {
    // Bound in this order: "ComPort", "Timeout", "FastBaudRate". The two atomics are read
    // here and written back when the section goes, like the plain bindings.
    m_Settings.BindString(m_ComPort, "ComPort", "COM1");
    auto timeout = m_Settings.ReadInt("Timeout");
    m_Timeout = timeout && TimeoutUsable(*timeout) ? static_cast<unsigned>(*timeout) : 2000u;
    m_Settings.BindCustom(&m_Timeout, "Timeout", [this](CProfileSection& s, const std::string& key) {
        s.WriteInt(key, m_Timeout.load());
    });
    auto fast = m_Settings.ReadInt("FastBaudRate");
    m_FastBaudRate = fast && FastIndexUsable(*fast) ? static_cast<int>(*fast) : 3;
    m_Settings.BindCustom(
        &m_FastBaudRate, "FastBaudRate",
        [this](CProfileSection& s, const std::string& key) { s.WriteInt(key, m_FastBaudRate.load()); });
}

CVLPIO::~CVLPIO() {
    // Close runs on a port whose worker has already been stopped (CVLPSlave); no box now.
    if (m_Impl->port && m_Impl->port->IsOpen())
        m_Impl->port->Close();
    // m_Settings writes the three values back when it goes (after this body).
}

void CVLPIO::Trace(int, const char*, ...) {}

void CVLPIO::SetUserMessages(IUserMessages* messages) {
    m_Impl->messages = messages;
}

IUserMessages& CVLPIO::UserMessages() const {
    IUserMessages* m = m_Impl->messages.load();
    return m ? *m : StderrMessages();
}

void CVLPIO::SetPortFactory(std::function<std::unique_ptr<ISerialPort>()> factory) {
    std::lock_guard<std::mutex> lock(m_Impl->portLock);
    m_Impl->factory = std::move(factory);
    if (m_Impl->port && m_Impl->port->IsOpen())
        m_Impl->port->Close();
    m_Impl->port.reset();
}

bool CVLPIO::Open() {
    Trace(0, "CVLPIO::Open()");
    if (m_ComPort.empty()) {
        UserMessages().Show("", "No COM port specified!");
        return false;
    }
    ISerialPort& port = m_Impl->Port();
    int error = 0;
    if (!port.Open(m_ComPort, error)) {
        ShowErrorText(PortStep::Open, "Open of " + m_ComPort, PortOpenFailureText(m_ComPort, error));
        return false;
    }
    m_Impl->portLost = false;
    m_Impl->episode = Impl::Episode::None; // the port (re)opened: a new failure gets its box again
    if (m_Impl->capturing.load(std::memory_order_relaxed))
        CaptureSpeed();
    return true;
}

void CVLPIO::Close() {
    ISerialPort* port = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_Impl->portLock);
        port = m_Impl->port.get();
    }
    if (!port || !port->IsOpen())
        return;
    Trace(0, "CVLPIO::Close()");
    port->Close();
}

bool CVLPIO::IsOpen() const {
    std::lock_guard<std::mutex> lock(m_Impl->portLock);
    return m_Impl->port && m_Impl->port->IsOpen();
}

int CVLPIO::CurrentBaud() const {
    std::lock_guard<std::mutex> lock(m_Impl->portLock);
    return m_Impl->port ? m_Impl->port->Baud() : 0;
}

bool CVLPIO::SetSpeed(int index) {
    if (index < 0 || index > 5)
        return false;
    int error = 0;
    if (!m_Impl->Port().SetBaud(kSpeedTable[index], error))
        Trace(0, "CVLPIO::SetSpeed(%d) failed: %s", kSpeedTable[index], PortErrorText(error).c_str());
    else
        Trace(0, "CVLPIO::SetSpeed(%d)", kSpeedTable[index]);
    if (m_Impl->capturing.load(std::memory_order_relaxed))
        CaptureSpeed();
    return true;
}

std::size_t CVLPIO::DiscardWaiting(std::size_t limit) {
    ISerialPort& port = m_Impl->Port();
    std::string dropped;
    unsigned char byte = 0;
    int error = 0;
    while (dropped.size() < limit && port.ReadByte(byte, 0, error) == ReadResult::Byte)
        dropped += static_cast<char>(byte);
    if (dropped.empty())
        return 0;
    m_CountIn += static_cast<int>(dropped.size());
    VQ5_LINK_STAT(m_Stats.GarbageDropped(dropped.size()));
    if (m_Impl->capturing.load(std::memory_order_relaxed))
        Capture(LinkDirection::DeviceToPc, reinterpret_cast<const unsigned char*>(dropped.data()),
                dropped.size(), std::chrono::system_clock::now());
    if (Tracing())
        Trace(0, "CVLPIO::DiscardWaiting() = %s",
              ByteText(dropped.size(), reinterpret_cast<const unsigned char*>(dropped.data())).c_str());
    return dropped.size();
}

void CVLPIO::PutString(const unsigned char* bytes, std::size_t count) {
    if (Tracing())
        Trace(0, "CVLPIO::PutString(%s)", ByteText(count, bytes).c_str());
    std::size_t written = 0;
    int error = 0;
    VQ5_LINK_STAT(m_Stats.WriteStarts());
    const bool capturing = m_Impl->capturing.load(std::memory_order_relaxed);
    const auto started = capturing ? std::chrono::system_clock::now() : ILinkCapture::Time{};
    WriteResult r = m_Impl->Port().Write(bytes, count, written, error);
    m_CountOut += static_cast<int>(written);
    VQ5_LINK_STAT(m_Stats.BytesWritten(written));
    if (capturing && written > 0)
        Capture(LinkDirection::PcToDevice, bytes, written, started);
    if (r == WriteResult::Done) {
        m_Impl->EndEpisode(PortStep::Write);
    } else if (r == WriteResult::Failed) {
        if (IsPortLost(error))
            m_Impl->portLost = true;
        ShowError(PortStep::Write, "WriteFile", error);
    }
}

void CVLPIO::PutByte(unsigned char byte) {
    PutString(&byte, 1);
}

int CVLPIO::GetByte() {
    ISerialPort& port = m_Impl->Port();
    unsigned char byte = 0;
    int error = 0;
    const char* how = "read";
    // A byte already there is "read"; otherwise wait for one. A byte that comes after the
    // time-out stays in the port and is the next call's.
    ReadResult r = port.ReadByte(byte, 0, error);
    if (r == ReadResult::Timeout) {
        how = "wait";
        unsigned timeout = m_Timeout.load();
        r = port.ReadByte(byte, timeout ? timeout : 1, error);
    }
    switch (r) {
    case ReadResult::Byte:
        if (Tracing())
            Trace(0, "CVLPIO::GetByte(%s) = %s", how, ByteText(1, &byte).c_str());
        ++m_CountIn;
        VQ5_LINK_STAT(m_Stats.ByteRead());
        if (m_Impl->capturing.load(std::memory_order_relaxed))
            Capture(LinkDirection::DeviceToPc, &byte, 1, std::chrono::system_clock::now());
        m_Impl->EndEpisode(PortStep::Read);
        return byte;
    case ReadResult::Timeout:
        Trace(0, "CVLPIO::GetByte(timeout)");
        return -2;
    case ReadResult::Interrupted:
        // A stop woke the read: no box, as for an aborted read.
        Trace(0, "CVLPIO::GetByte(error)");
        return -1;
    case ReadResult::Failed:
        break;
    }
    if (IsPortLost(error))
        m_Impl->portLost = true;
    ShowError(PortStep::Read, "ReadFile", error);
    Trace(0, "CVLPIO::GetByte(error)");
    return -1;
}

void CVLPIO::ShowError(PortStep step, const std::string& what, int error) {
    ShowErrorText(step, what, PortErrorText(error));
}

void CVLPIO::ShowErrorText(PortStep step, const std::string& what, const std::string& text) {
    if (!m_Impl->BeginEpisode(step)) {
        Trace(0, "CVLPIO::ShowError(%s) %s (not shown again)", what.c_str(), text.c_str());
        return;
    }
    Trace(0, "CVLPIO::ShowError(%s) %s", what.c_str(), text.c_str());
    std::string shown = text;
    {
        std::lock_guard<std::mutex> lock(m_Impl->adviceLock);
        if (m_Impl->explain)
            shown = PortFailureText(step, m_ComPort, text, PortLost(), m_Impl->openAdvice);
    }
    UserMessages().Show("Error: " + what, shown);
}

void CVLPIO::SetErrorAdvice(const std::string& openAdvice) {
    std::lock_guard<std::mutex> lock(m_Impl->adviceLock);
    m_Impl->explain = true;
    m_Impl->openAdvice = openAdvice;
}

bool CVLPIO::PortLost() const {
    return m_Impl->portLost.load();
}

void CVLPIO::Interrupt() {
    std::lock_guard<std::mutex> lock(m_Impl->portLock);
    m_Impl->interrupted = true;
    m_Impl->interruptedFlag = true;
    if (m_Impl->port)
        m_Impl->port->Interrupt();
}

void CVLPIO::ClearInterrupt() {
    std::lock_guard<std::mutex> lock(m_Impl->portLock);
    m_Impl->interrupted = false;
    m_Impl->interruptedFlag = false;
    if (m_Impl->port)
        m_Impl->port->ClearInterrupt();
}

bool CVLPIO::IsInterrupted() const {
    return m_Impl->interruptedFlag.load();
}

void CVLPIO::NewErrorEpisode() {
    m_Impl->episode = Impl::Episode::None;
}

LinkFigures CVLPIO::Figures() const {
    LinkFigures f = m_Stats.Snapshot();
    f.baud = IsOpen() ? CurrentBaud() : 0;
    return f;
}

void CVLPIO::SetCapture(ILinkCapture* capture) {
    {
        std::lock_guard<std::mutex> lock(m_Impl->captureLock);
        m_Impl->capture = capture;
        m_Impl->capturing = capture != nullptr;
    }
    // The file starts with the line speed the port runs at now.
    if (capture)
        CaptureSpeed();
}

bool CVLPIO::Capturing() const {
    return m_Impl->capturing.load();
}

void CVLPIO::Capture(LinkDirection direction, const unsigned char* bytes, std::size_t count,
                     ILinkCapture::Time when) {
    const int baud = CurrentBaud();
    std::lock_guard<std::mutex> lock(m_Impl->captureLock);
    if (m_Impl->capture)
        m_Impl->capture->Bytes(direction, bytes, count, baud, when);
}

void CVLPIO::CaptureSpeed() {
    const int baud = IsOpen() ? CurrentBaud() : 0;
    std::lock_guard<std::mutex> lock(m_Impl->captureLock);
    if (m_Impl->capture)
        m_Impl->capture->Speed(baud, std::chrono::system_clock::now());
}

void CStderrMessages::Show(const std::string& caption, const std::string& text) {
    if (caption.empty())
        std::fprintf(stderr, "%s\n", text.c_str());
    else
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
}

} // namespace vq5
