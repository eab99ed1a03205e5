// CVLPSlave: the PC's side of the polled link. A worker thread opens the port and runs
// StateEngine, one step per pass.
#pragma once

#include "VLPFrame.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace vq5 {

enum SlaveState : int {
    sInit = 0, sIdle, sTxTry, sTxDo, sTxWait, sTxOk, sTxNo, sRxTry, sRxDo, sRxWait, sRxOk, sRxNOk
};
const char* SlaveStateName(int state); // "sInit" ..., "ERROR" outside 0..11

enum LinkStatus : int { lsIdle = 0, lsInitializing, lsConnected, lsTimeout, lsError, lsStopped };
const char* LinkStatusName(int status); // "Idle" ... "Stopped", "ERROR" otherwise

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

    std::atomic<int> m_State{sInit};
    std::atomic<bool> m_Run{true};
    std::atomic<int> m_Status{lsIdle};

private:
    std::thread m_Thread;
    std::mutex m_StartLock; // guards m_Thread against Start/Stop from two threads
};

} // namespace vq5
