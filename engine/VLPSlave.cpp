#include "VLPSlave.h"

#include <chrono>
#include <cstring>

namespace vq5 {

const char* SlaveStateName(int state) {
    static const char* const names[] = {"sInit", "sIdle",  "sTxTry", "sTxDo",   "sTxWait", "sTxOk",
                                        "sTxNo", "sRxTry", "sRxDo",  "sRxWait", "sRxOk",   "sRxNOk"};
    if (state < 0 || state >= static_cast<int>(sizeof names / sizeof names[0]))
        return "ERROR";
    return names[state];
}

const char* LinkStatusName(int status) {
    static const char* const names[] = {"Idle", "Initializing", "Connected", "Timeout", "Error", "Stopped"};
    if (status < 0 || status >= static_cast<int>(sizeof names / sizeof names[0]))
        return "ERROR";
    return names[status];
}

CVLPSlave::CVLPSlave(ISettingsStore* store) : CVLPFrame(store) {}

CVLPSlave::~CVLPSlave() {
    Stop();
}

void CVLPSlave::SetStatus(int status) {
    m_Status = status;
    VQ5_LINK_STAT(m_Stats.Status(status));
}

int CVLPSlave::TxMessage(unsigned char*) {
    return 0;
}

bool CVLPSlave::RxMessage(const unsigned char*, unsigned) {
    return false;
}

std::string CVLPSlave::AddressCommand(const std::string&) {
    return {};
}

bool CVLPSlave::OnWorkerThread() const {
    return m_Active.load() && m_WorkerId.load() == std::this_thread::get_id();
}

bool CVLPSlave::IsRunning() const {
    return m_Active.load();
}

bool CVLPSlave::Pause(unsigned ms) {
    std::unique_lock<std::mutex> lock(m_WakeLock);
    return !m_WakeCv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !m_Run.load(); });
}

void CVLPSlave::Start() {
    std::lock_guard<std::mutex> lock(m_StartLock);
    if (m_Thread.joinable()) {
        if (m_Thread.get_id() == std::this_thread::get_id())
            return; // the worker cannot restart itself
        WakeAndJoin();
        Close();
    }
    ClearInterrupt();
    NewErrorEpisode();
    UserMessages().Reset();
    m_Run = true;
    m_Active = true;
    m_Thread = std::thread([this] { ThreadProc(); });
}

void CVLPSlave::Stop() {
    std::lock_guard<std::mutex> lock(m_StartLock);
    if (m_Thread.joinable()) {
        if (m_Thread.get_id() == std::this_thread::get_id()) {
            m_Run = false; // called by the worker itself: it ends after this step
            return;
        }
        WakeAndJoin();
    } else {
        m_Run = false;
    }
    Close();
    ClearInterrupt();
}

void CVLPSlave::WakeAndJoin() {
    // Wake every wait of the worker: a pause, an error box, a read or a write. Then it ends
    // within one step and can be joined.
    m_Run = false;
    { std::lock_guard<std::mutex> wake(m_WakeLock); }
    m_WakeCv.notify_all();
    UserMessages().Abandon();
    Interrupt();
    m_Thread.join();
}

void CVLPSlave::ThreadProc() {
    m_WorkerId = std::this_thread::get_id();
    Run();
    m_WorkerId = std::thread::id();
    m_Active = false;
}

void CVLPSlave::Run() {
    SetStatus(lsInitializing);
    if (Open()) {
        while (m_Run.load()) {
            StateEngine();
            if (PortLost() && m_Run.load())
                Reconnect();
        }
    }
    SetStatus(lsStopped);
}

// The port went away under the worker (unplugged adapter, hung-up line): close it and try
// to open it again, waiting longer each time, until it is back or the worker is stopped.
// Errors of the attempts are traced; the box was shown once when the port was lost.
void CVLPSlave::Reconnect() {
    Trace(2, "CVLPSlave::Run(), port lost, reopening %s", m_ComPort.c_str());
    Close();
    SetStatus(lsError);
    unsigned delay = kReopenFirstMs;
    while (m_Run.load()) {
        if (!Pause(delay))
            return;
        if (Open()) {
            Trace(2, "CVLPSlave::Run(), port %s open again", m_ComPort.c_str());
            VQ5_LINK_STAT(m_Stats.Reconnected());
            SetState(sIdle);
            RestorePending();
            return;
        }
        delay = delay * 2 > kReopenLastMs ? kReopenLastMs : delay * 2;
    }
}

void CVLPSlave::KeepPending() {
    m_PendingLen = m_Len < 0 ? 0 : m_Len > 255 ? 255 : m_Len;
    std::memcpy(m_Pending, m_Data, static_cast<std::size_t>(m_PendingLen));
}

void CVLPSlave::RestorePending() {
    std::memcpy(m_Data, m_Pending, static_cast<std::size_t>(m_PendingLen));
    m_Data[m_PendingLen] = 0;
    m_Len = m_PendingLen;
}

void CVLPSlave::SetState(int next) {
    const int was = m_State.exchange(next);
    if (was != next)
        Trace(2, "CVLPSlave::SetState(%s -> %s)", SlaveStateName(was), SlaveStateName(next));
}

void CVLPSlave::SendFrame(FrameType type, int next) {
    PutFrame(type);
    SetState(next);
}

FrameType CVLPSlave::GetFrameKeepingPending() {
    const FrameType f = GetFrame();
    // A frame read here (whole, damaged or cut off by a failed read) may have overwritten the
    // frame buffer, which holds the message still waiting for its ACK, or nothing: put that
    // back, never send the received bytes.
    RestorePending();
    return f;
}

void CVLPSlave::ForgetSent() {
    m_Len = 0;
    m_PendingLen = 0;
    m_AwaitingAck = false;
}

// After an acknowledged speed change ("&PS" n) or program-mode exit ("&PX" n) the line runs at
// speed n; the EOT went out at the old speed. An exit with reboot ("&PXR") restarts the device,
// which comes up at the base speed: follow it there, or a tool with a fast speed configured
// would lose the link after every reboot.
void CVLPSlave::FollowSpeedChange() {
    if (m_Len != 4)
        return;
    const std::string ps = AddressCommand("&PS");
    const std::string px = AddressCommand("&PX");
    const bool isPs = ps.size() == 3 && std::memcmp(m_Data, ps.data(), 3) == 0;
    const bool isPx = px.size() == 3 && std::memcmp(m_Data, px.data(), 3) == 0;
    if (!isPs && !isPx)
        return;
    const bool reboot = isPx && m_Data[3] == 'R';
    const int index = reboot ? 0 : m_Data[3] - '0';
    if (reboot && CurrentBaud() == kSpeedTable[0])
        return;
    Pause(40);
    Trace(2, "CVLPSlave::StateEngine(), Change serial speed %.*s", 4, reinterpret_cast<const char*>(m_Data));
    SetSpeed(index);
}

// The state after a frame read while a select waits for the device's information frame.
static int StateAfterSelectFrame(FrameType f) {
    switch (f) {
    case FrameType::info:
        return sRxOk;
    case FrameType::crcerror:
        return sRxNOk;
    case FrameType::eot:
        return sIdle;
    case FrameType::poll:
        // The device gave up its select and polls again: answer the poll rather than wait for
        // a frame that will not come.
        return sTxTry;
    case FrameType::select:
        return sRxTry; // selected afresh: acknowledge again
    default:
        return sRxWait;
    }
}

void CVLPSlave::StateEngine() {
    const int state = m_State.load();
    Trace(2, "CVLPSlave::StateEngine(), State=%s", SlaveStateName(state));
    switch (state) {
    case sInit:
        ForgetSent();
        SetState(sIdle);
        break;

    case sIdle: {
        const FrameType f = GetFrameKeepingPending();
        if (IsInterrupted())
            break; // a stop woke the read; the worker ends
        if (f == FrameType::poll || f == FrameType::select) {
            SetStatus(lsConnected);
            SetState(f == FrameType::poll ? sTxTry : sRxTry);
        } else if (f == FrameType::timeout) {
            SetStatus(lsTimeout);
        } else {
            // Line noise: what is already waiting belongs to the same burst and goes with one
            // pause, so a burst costs about its own length and one pause, not one per byte.
            SetStatus(lsError);
            if (f == FrameType::noframe)
                DiscardWaiting();
            Pause(100);
        }
        break;
    }

    case sTxTry:
        if (m_Len != 0) {
            VQ5_LINK_STAT(m_Stats.Repeat());
            SetState(sTxDo); // the earlier message still waits for its ACK
            break;
        }
        m_AwaitingAck = true; // before the queue can run empty in TxMessage
        m_Len = TxMessage(m_Data);
        if (m_Len < 0 || m_Len > 255)
            m_Len = m_Len < 0 ? 0 : 255;
        if (m_Len == 0)
            m_AwaitingAck = false;
        KeepPending();
        SetState(m_Len != 0 ? sTxDo : sTxNo);
        break;

    case sTxDo:
        SendFrame(FrameType::info, sTxWait);
        break;

    case sTxWait: {
        const FrameType f = GetFrameKeepingPending(); // the frame buffer keeps the message sent
        if (f == FrameType::nak)
            VQ5_LINK_STAT(m_Stats.Repeat());
        // NAK: the same frame again, without limit. Anything but ACK or NAK: m_Len is kept and
        // the message goes out at the next poll.
        SetState(f == FrameType::ack ? sTxOk : f == FrameType::nak ? sTxDo : sIdle);
        break;
    }

    case sTxOk: // the device took the message
    case sTxNo: // nothing to send
        PutFrame(FrameType::eot);
        if (state == sTxOk) {
            FollowSpeedChange();
            ForgetSent();
        }
        SetState(sIdle);
        break;

    case sRxTry:
        SetState(sRxDo);
        break;

    case sRxDo:
        SendFrame(FrameType::ack, sRxWait);
        break;

    case sRxWait: {
        const FrameType f = GetFrame();
        if (f == FrameType::timeout) {
            // The device went silent inside its select: keep waiting for it (it is the
            // master), but show the silence as the idle state does.
            SetStatus(lsTimeout);
            break;
        }
        const int next = StateAfterSelectFrame(f);
        if (next == sRxWait)
            break; // noframe, error: keep waiting
        SetStatus(lsConnected);
        if (next == sIdle || next == sTxTry)
            RestorePending(); // the select ended: the buffer holds the message awaiting its ACK again
        SetState(next);
        break;
    }

    case sRxOk:
        PutFrame(FrameType::ack);
        RxMessage(m_Data, static_cast<unsigned>(m_Len));
        RestorePending(); // the received text leaves the buffer; a message awaiting its ACK returns
        SetState(sIdle);
        break;

    case sRxNOk:
        SendFrame(FrameType::nak, sRxWait);
        break;

    default:
        Trace(2, "CVLPSlave::StateEngine(), Invalid m_State %d", state);
        SetState(sIdle);
        break;
    }
}

} // namespace vq5
