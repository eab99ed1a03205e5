// Small pieces the harnesses share: a message-box sink that shows nothing, a notification
// collector, a trace sink that checks its lines, an engine on an in-memory store.
#pragma once

#include "FuzzHarness.h"
#include "MemoryPort.h"
#include "Notify.h"
#include "SettingsStore.h"
#include "VLPMsg.h"

#include <string>
#include <vector>

namespace vq5::fuzz {

class CSilentMessages : public IUserMessages {
public:
    void Show(const std::string&, const std::string&) override { ++shown; }
    void Abandon() override {}
    void Reset() override {}
    int shown = 0;
};

class CCollectSink : public INotifySink {
public:
    void Post(Notification n) override { items.push_back(std::move(n)); }
    std::vector<Notification> Take() {
        std::vector<Notification> out;
        out.swap(items);
        return out;
    }
    std::vector<Notification> items;
};

// Checks that no trace line is longer than the engine promises (1999 characters).
class CCheckTraceSink : public ITraceSink {
public:
    explicit CCheckTraceSink(const char* harness) : m_Harness(harness) {}
    void AddLine(int level, std::string line) override;
    std::size_t lines = 0;

private:
    const char* m_Harness;
};

// An engine of type Engine (CVLPEngine or a tool's class) on an in-memory settings store, its
// notifications collected in `sink`.
template <class Engine> struct CEngineRig {
    CMemoryStore store;
    CCollectSink sink;
    Engine engine{&store};
    CEngineRig() { engine.SetNotifySink(&sink); }
    ~CEngineRig() { engine.SetNotifySink(nullptr); }
};

// Hands the message layer a text as the frame layer does with a received frame.
inline void Receive(CVLPMsg& msg, const std::string& text) {
    msg.RxMessage(reinterpret_cast<const unsigned char*>(text.data()), static_cast<unsigned>(text.size()));
}

// "kind/value/text" for messages about notification lists.
std::string Describe(const Notification& n);
std::string Describe(const std::vector<Notification>& list);
std::string Hex(const std::string& bytes);

} // namespace vq5::fuzz
