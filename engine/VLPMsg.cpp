#include "VLPMsg.h"

#include "Identification.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace vq5 {

namespace {
// A gate's digit, as the device reads it: the character less '0', less 7 more above '9'
// (any character gives a value).
int GateDigit(char c) {
    int v = c - '0';
    if (v > 9)
        v -= 7;
    return v;
}

bool IsGateSign(char c) {
    return c == '>' || c == '<';
}

// One gate "Mm>" or "Mm<" against the device version.
bool GatePasses(const char* gate, unsigned major, unsigned minor) {
    const int gMajor = GateDigit(gate[0]);
    const int gMinor = GateDigit(gate[1]);
    const int dMajor = static_cast<int>(major);
    const int dMinor = static_cast<int>(minor);
    const bool atLeast = dMajor > gMajor || (dMajor == gMajor && dMinor >= gMinor);
    return gate[2] == '>' ? atLeast : !atLeast;
}

long Progress(int queued, int sent) {
    return static_cast<long>((static_cast<unsigned long>(queued) & 0xFFFFu) |
                             ((static_cast<unsigned long>(sent) & 0xFFFFu) << 16));
}
} // namespace

bool GatesPass(const std::string& text, unsigned major, unsigned minor) {
    bool allowed = true;
    for (std::size_t pos = 0; pos + 2 < text.size() && IsGateSign(text[pos + 2]); pos += 3)
        allowed = GatePasses(text.data() + pos, major, minor) && allowed;
    return allowed;
}

bool IsProgramModeExit(const std::string& text) {
    if (text.size() < 3 || text.size() > 4 || text[0] != '&' || text[2] != 'X')
        return false;
    return text.size() == 3 || text[3] == 'R' || (text[3] >= '0' && text[3] <= '5');
}

CVLPMsg::CVLPMsg(ISettingsStore* store) : CVLPSlave(store) {}

CVLPMsg::~CVLPMsg() {
    Stop();
}

int CVLPMsg::QueueMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatText(kMaxMessage + 1, format, args); // cut to 99 characters
    va_end(args);
    return QueueText(text);
}

int CVLPMsg::QueueText(const std::string& message) {
    std::string text = message.substr(0, kMaxMessage); // a message holds at most 99 characters
    int position = 0;
    {
        std::lock_guard<std::mutex> lock(m_QueueLock);
        position = static_cast<int>(m_Queue.size());
        m_Queue.push_back(text);
        m_QueuedBytes += static_cast<int>(text.size());
        m_Idle = false;
        m_ToTell.push_back({nkQueueProgress, Progress(m_QueuedBytes, m_SentBytes), {}});
    }
    TellQueueChanges();
    return position;
}

void CVLPMsg::TellQueueChanges() {
    std::unique_lock<std::mutex> lock(m_QueueLock);
    if (m_Telling)
        return; // the thread that tells now tells these as well, after the earlier ones
    m_Telling = true;
    while (!m_ToTell.empty()) {
        std::vector<Notification> told;
        told.swap(m_ToTell);
        lock.unlock();
        for (Notification& n : told)
            Notify(n.kind, n.value, std::move(n.text));
        lock.lock();
    }
    m_Telling = false;
}

void CVLPMsg::EnterProgramMode() {
    QueueText("$PRG");
    const int fast = m_FastBaudRate.load();
    if (fast >= 1 && fast <= 5) {
        char text[16];
        std::snprintf(text, sizeof text, "84>&PS%d", fast);
        QueueText(AddressCommand(text));
    }
}

void CVLPMsg::LeaveProgramMode(bool reboot) {
    if (reboot)
        QueueText(AddressCommand("&PXR"));
    else if (m_FastBaudRate.load() != 0)
        QueueText(AddressCommand("&PX0"));
    else
        QueueText(AddressCommand("&PX"));
}

std::string CVLPMsg::AddressCommand(const std::string& text) {
    std::string result = text;
    std::size_t at = result.find("&P");
    if (at != std::string::npos)
        result[at + 1] = m_DeviceLetter.load();
    return result;
}

void CVLPMsg::SetStatus(int status) {
    if (status == m_LastStatus)
        return;
    m_LastStatus = status;
    CVLPSlave::SetStatus(status);
    Notify(nkLinkStatus, status);
}

bool CVLPMsg::QueueExitForClose() {
    if (!m_ProgramOpen.load())
        return false;
    std::string exit;
    {
        std::lock_guard<std::mutex> lock(m_QueueLock);
        for (const std::string& text : m_Queue)
            if (IsProgramModeExit(text)) {
                exit = text;
                break;
            }
        m_Queue.clear();
        if (!exit.empty())
            m_Queue.push_back(exit);
    }
    if (exit.empty())
        LeaveProgramMode(false);
    return true;
}

int CVLPMsg::TxMessage(unsigned char* buffer) {
    bool taken = false;
    int length = 0;
    {
        std::lock_guard<std::mutex> lock(m_QueueLock);
        // The link asks for a message only once the one before has been acknowledged.
        if (m_ExitHanded) {
            m_ExitHanded = false;
            m_ProgramOpen = false;
        }
        if (m_Queue.empty()) {
            if (!m_Idle)
                m_ToTell.push_back({nkQueueEmpty, 0, {}});
            m_Idle = true;
            m_QueuedBytes = 0;
            m_SentBytes = 0;
        } else {
            std::string text = std::move(m_Queue.front());
            m_Queue.pop_front();
            if (!text.empty()) {
                length = TakeText(text, buffer);
                m_SentBytes += static_cast<int>(text.size());
                m_ToTell.push_back({nkQueueProgress, Progress(m_QueuedBytes, m_SentBytes), {}});
                taken = true;
            }
        }
    }
    TellQueueChanges();
    if (!taken)
        return 0;
    // The frame buffer is the engine's own; a held-back text leaves it empty.
    if (buffer == m_Data)
        m_Len = length;
    Trace(3, "CVLPMsg::TxMessage() = $");
    return length;
}

// Under the queue lock: tests the text's version gates, writes what is sent into `buffer` with
// the device letter put in, and follows program mode. Returns the length written, 0 for a
// text its gates hold back.
int CVLPMsg::TakeText(const std::string& text, unsigned char* buffer) {
    std::size_t start = 0;
    if (text.size() >= 5 && IsGateSign(text[2])) {
        if (!GatesPass(text, m_VersionMajor.load(), m_VersionMinor.load()))
            return 0;
        start = text.size() >= 6 && IsGateSign(text[5]) ? 6 : 3;
    }
    std::size_t n = text.size() - start;
    if (n > 255)
        n = 255;
    std::memcpy(buffer, text.data() + start, n);
    buffer[n] = 0;
    m_Idle = false;
    if (n >= 2 && buffer[0] == '&' && buffer[1] == 'P')
        buffer[1] = static_cast<unsigned char>(m_DeviceLetter.load());
    const std::string sent(reinterpret_cast<const char*>(buffer), n);
    if (sent.rfind("$PRG", 0) == 0) {
        m_ProgramOpen = true;
        m_ExitHanded = false;
    } else if (m_ProgramOpen.load() && IsProgramModeExit(sent)) {
        m_ExitHanded = true;
    }
    return static_cast<int>(n);
}

bool CVLPMsg::RxMessage(const unsigned char* data, unsigned length) {
    Trace(3, "CVLPMsg::RxMessage($)");
    std::string text(reinterpret_cast<const char*>(data), length);
    Notify(nkReceived, 0, text);
    const char letter = m_DeviceLetter.load();
    if (length >= 3 && data[0] == '&' && data[1] == static_cast<unsigned char>(letter) && data[2] == 'X') {
        // The device left program mode.
        m_ProgramOpen = false;
        m_VersionMajor = 0;
        m_VersionMinor = 0;
        Notify(nkIdent, 0);
        return true;
    }
    if (auto id = ReadIdentification(text)) {
        m_DeviceLetter = id->letter;
        // A version that cannot be read leaves the version as it was.
        if (id->version) {
            m_VersionMajor = id->version->major;
            m_VersionMinor = id->version->minor;
        }
        std::string ident = std::move(id->text);
        {
            std::lock_guard<std::mutex> lock(m_IdentLock);
            m_Identification = ident;
        }
        Notify(nkIdent, 1, ident);
    }
    return true;
}

void CVLPMsg::Notify(int kind, long value, std::string text) {
    std::lock_guard<std::recursive_mutex> lock(m_SinkLock);
    if (m_Sink)
        m_Sink->Post(Notification{kind, value, std::move(text)});
}

void CVLPMsg::SetNotifySink(INotifySink* sink) {
    std::lock_guard<std::recursive_mutex> lock(m_SinkLock);
    m_Sink = sink;
}

std::string CVLPMsg::Identification() const {
    std::lock_guard<std::mutex> lock(m_IdentLock);
    return m_Identification;
}

std::size_t CVLPMsg::QueueLength() const {
    std::lock_guard<std::mutex> lock(m_QueueLock);
    return m_Queue.size();
}

} // namespace vq5
