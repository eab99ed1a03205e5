// Notifications from the engine to the GUI side.
//
// The worker never calls into windows: everything it tells the tool travels as a
// notification with a kind and a value, posted and never waited for. A text carried by a
// notification belongs to its receiver.
#pragma once

#include <string>

namespace vq5 {

enum NotifyKind : int {
    nkReceived = 1,      // a message was received; text = the message
    nkQueueProgress = 2, // value: low 16 bits queued bytes, high 16 bits sent bytes
    nkQueueEmpty = 3,    // the queue ran empty after a batch; value 0
    nkLinkStatus = 4,    // value: the new link status 0..5
    nkIdent = 5,         // value 1 + text = identification, or value 0 = program mode left
    nkGenerated = 7,     // the emulator's engine generated and sent a message; text = the message
};

struct Notification {
    int kind = 0;
    long value = 0;
    std::string text;
};

// Receives notifications. Post is called on any thread (mostly the worker) and must
// return at once: it queues the notification for its own thread.
class INotifySink {
public:
    virtual ~INotifySink() = default;
    virtual void Post(Notification n) = 0;
};

// Receives formatted trace lines. Called with the engine's log lock held; must not block.
class ITraceSink {
public:
    virtual ~ITraceSink() = default;
    virtual void AddLine(int level, std::string line) = 0;
};

// Shows a message box for the engine ("Error: %s" captions of the serial port, "No COM port
// specified!"). Show may be called on the worker thread; it waits until the user closes the
// box, or until Abandon is called (stop, shutdown), whichever is first. After Abandon, Show
// returns at once until Reset.
class IUserMessages {
public:
    virtual ~IUserMessages() = default;
    virtual void Show(const std::string& caption, const std::string& text) = 0;
    virtual void Abandon() = 0;
    virtual void Reset() = 0;
};

// Writes each box as one line "caption: text" to stderr and returns at once (command line).
class CStderrMessages : public IUserMessages {
public:
    void Show(const std::string& caption, const std::string& text) override;
    void Abandon() override {}
    void Reset() override {}
};

} // namespace vq5
