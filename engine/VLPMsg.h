// CVLPMsg: the message layer. Tools queue texts on the GUI thread; the worker takes them
// out one per transmit opportunity, tests their version gates, puts the device letter in,
// and passes received texts up as notifications.
#pragma once

#include "VLPSlave.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace vq5 {

inline constexpr std::size_t kMaxMessage = 99; // characters of one message text

// "&PX", "&PX0" ... "&PX5", "&PXR" with any device letter in place of 'P'.
bool IsProgramModeExit(const std::string& text);

// Gate evaluation: "87>" passes from 8.7 on, "91<" before 9.1; two gates must both pass.
bool GatesPass(const std::string& text, unsigned major, unsigned minor);

class CVLPMsg : public CVLPSlave {
public:
    explicit CVLPMsg(ISettingsStore* store = nullptr);
    ~CVLPMsg() override;

    // Formats (printf-style, at most 99 characters) and queues; returns the queue position.
    int QueueMessage(const char* format, ...) VQ5_PRINTF(2, 3);
    int QueueText(const std::string& text);
    void EnterProgramMode();
    void LeaveProgramMode(bool reboot);
    std::string AddressCommand(const std::string& text) override;

    void SetStatus(int status) override;
    int TxMessage(unsigned char* buffer) override;
    bool RxMessage(const unsigned char* data, unsigned length) override;
    virtual void Notify(int kind, long value, std::string text = {});

    // Where notifications go (the tool's main dialog or the command line). Not owned.
    void SetNotifySink(INotifySink* sink);

    // Device knowledge learnt from the identification reply (read by any thread).
    std::string Identification() const;
    unsigned VersionMajor() const { return m_VersionMajor.load(); }
    unsigned VersionMinor() const { return m_VersionMinor.load(); }
    char DeviceLetter() const { return m_DeviceLetter.load(); }
    std::size_t QueueLength() const;

    // Program mode as the link saw it: true from the moment "$PRG" was handed to the link
    // until an exit handed after it has been acknowledged, or the device said it left.
    bool ProgramModeOpen() const { return m_ProgramOpen.load(); }
    // For a tool that closes while program mode is open: what is still queued is dropped (it
    // would not go out anyway), except a queued exit, which stays as the only text; without
    // one the plain exit (LeaveProgramMode(false)) is queued. Nothing happens, and false is
    // returned, while program mode is not open.
    bool QueueExitForClose();

protected:
    int TakeText(const std::string& text, unsigned char* buffer); // m_QueueLock held

    // The queue's notifications (progress, empty) are collected under m_QueueLock in the order
    // of the changes they tell and told after it is released (TellQueueChanges), so a sink may
    // call back into the engine and no lock is ever taken under m_QueueLock.
    void TellQueueChanges();

    mutable std::mutex m_QueueLock; // guards the queue, its counters, m_Idle, m_ToTell, m_Telling
    std::deque<std::string> m_Queue;
    int m_QueuedBytes = 0;
    int m_SentBytes = 0;
    bool m_Idle = true;
    int m_LastStatus = -1;
    std::atomic<bool> m_ProgramOpen{false}; // see ProgramModeOpen
    bool m_ExitHanded = false;              // an exit went out, its ACK not yet seen (m_QueueLock)
    std::vector<Notification> m_ToTell;     // collected, not yet told
    bool m_Telling = false;                 // a thread tells m_ToTell now

    mutable std::mutex m_IdentLock; // guards m_Identification
    std::string m_Identification;
    std::atomic<unsigned> m_VersionMajor{0};
    std::atomic<unsigned> m_VersionMinor{0};
    std::atomic<char> m_DeviceLetter{'P'};

    // Guards m_Sink and the hand-over to it; recursive, as a sink may call back into the
    // engine from its Post on the same thread.
    std::recursive_mutex m_SinkLock;
    INotifySink* m_Sink = nullptr;
};

} // namespace vq5
