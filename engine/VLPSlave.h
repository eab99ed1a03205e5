// CVLPSlave: the PC's side of the polled link. A worker thread opens the port and runs
// StateEngine, one step per pass.
#pragma once

#include "VLPFrame.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace vq5 {

enum SlaveState : int {
    sInit = 0,
    sIdle,
    sTxTry,
    sTxDo,
    sTxWait,
    sTxOk,
    sTxNo,
    sRxTry,
    sRxDo,
    sRxWait,
    sRxOk,
    sRxNOk
};
const char* SlaveStateName(int state); // "sInit" ..., "ERROR" outside 0..11

enum LinkStatus : int { lsIdle = 0, lsInitializing, lsConnected, lsTimeout, lsError, lsStopped };
const char* LinkStatusName(int status); // "Idle" ... "Stopped", "ERROR" otherwise

// A class that overrides TxMessage, RxMessage or SetStatus (the message layer, a tool's own
// engine) must call Stop() first thing in its destructor: the worker calls those operations
// and must have ended before the object they belong to is taken apart.
class CVLPSlave : public CVLPFrame {
public:
    explicit CVLPSlave(ISettingsStore* store = nullptr);
    ~CVLPSlave() override; // stops the worker (bounded) before anything it uses goes away

    virtual void SetStatus(int status);
    virtual int TxMessage(unsigned char* buffer); // length written, 0 = nothing to send
    virtual bool RxMessage(const unsigned char* data, unsigned length);
    // Starts the worker; a running worker is stopped first (port closed, thread joined).
    virtual void Start();
    virtual std::string AddressCommand(const std::string& text);

    // Stops the worker and closes the port; returns within a bounded time even while the
    // worker waits for a byte, in a write, or in an error box.
    void Stop();
    bool IsRunning() const;

    void StateEngine(); // one step; worker thread (or a test) only
    void Run();         // the worker's body
    const char* StatusText() const { return LinkStatusName(m_Status.load()); }
    // True on the engine's worker thread.
    bool OnWorkerThread() const;
    // A message was handed to the line and the device has not acknowledged it yet. Set
    // before the message leaves the queue, so "queue empty and nothing awaiting its ACK"
    // means every queued message has been taken by the device.
    bool AwaitingAck() const { return m_AwaitingAck.load(); }

    std::atomic<int> m_State{sInit};
    std::atomic<bool> m_Run{true};
    std::atomic<int> m_Status{lsIdle};

    // Back-off between attempts to open a lost port again: from the first to the last value,
    // doubling.
    static constexpr unsigned kReopenFirstMs = 250;
    static constexpr unsigned kReopenLastMs = 4000;

protected:
    // Sleeps up to ms on the worker; false at once when the worker is being stopped.
    bool Pause(unsigned ms);

private:
    void ThreadProc();
    void WakeAndJoin(); // ends the worker (not called from it); m_StartLock held
    void Reconnect();
    void KeepPending();    // remembers the message now in m_Data/m_Len as waiting for its ACK
    void RestorePending(); // puts that message back into m_Data/m_Len (0 when none waits)
    void ForgetSent();     // the message was taken: nothing waits for its ACK any more
    // The one place where the next state is set; a change is traced at level 2.
    void SetState(int next);
    void SendFrame(FrameType type, int next); // PutFrame, then SetState
    FrameType GetFrameKeepingPending();       // GetFrame, then RestorePending
    void FollowSpeedChange();                 // after the ACK of "&PS" n, "&PX" n or "&PXR"

    std::thread m_Thread;
    std::mutex m_StartLock;                    // guards m_Thread against Start/Stop from two threads
    std::atomic<bool> m_Active{false};         // a worker runs (set by Start, cleared by the worker)
    std::atomic<std::thread::id> m_WorkerId{}; // the running worker's id
    std::mutex m_WakeLock;                     // guards nothing but the wake-up of Pause (m_WakeCv)
    std::condition_variable m_WakeCv;
    // The sent message that waits for its ACK; kept apart from m_Data, which a received frame
    // overwrites (worker only).
    unsigned char m_Pending[256] = {};
    int m_PendingLen = 0;
    std::atomic<bool> m_AwaitingAck{false};
};

} // namespace vq5
