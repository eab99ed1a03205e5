// CVLPEngine: the engine object a tool owns. Joins the engine to its front end without
// knowing about windows: trace lines go to a trace sink (the protocol log window, or
// stderr on the command line) under the log lock, formatted only while a sink is attached;
// every notification goes to the status box sink first, then to the main sink.
#pragma once

#include "VLPMsg.h"

namespace vq5 {

inline constexpr std::size_t kMaxTraceLine = 2000;

class CVLPEngine : public CVLPMsg {
public:
    explicit CVLPEngine(ISettingsStore* store = nullptr);
    ~CVLPEngine() override;

    // Formats the line (at most 2000 characters), replaces its first '$' by ByteText of the
    // frame buffer, and hands it to the trace sink; nothing is formatted without a sink.
    void Trace(int level, const char* format, ...) override VQ5_PRINTF(3, 4);
    void Notify(int kind, long value, std::string text = {}) override;
    bool Tracing() const override; // a trace sink is attached

    // The log window attaches when it opens and detaches (LogWindowClosed) before it goes.
    void SetTraceSink(ITraceSink* sink);
    void LogWindowClosed() { SetTraceSink(nullptr); }
    bool HasTraceSink() const;
    // The engine status box; gets every notification before the main sink.
    void SetStatusSink(INotifySink* sink);

protected:
    mutable std::mutex m_LogLock; // guards m_TraceSink and the hand-over of trace lines
    ITraceSink* m_TraceSink = nullptr;
    std::atomic<bool> m_Tracing{false};    // m_TraceSink is set; read without the lock
    std::recursive_mutex m_StatusSinkLock; // guards m_StatusSink and the hand-over (see m_SinkLock)
    INotifySink* m_StatusSink = nullptr;
};

} // namespace vq5
