#include "VLPEngine.h"

#include <cstdarg>
#include <cstdio>

namespace vq5 {

CVLPEngine::CVLPEngine(ISettingsStore* store) : CVLPMsg(store) {}

CVLPEngine::~CVLPEngine() {
    Stop(); // the worker ends before the sinks and the layers it uses go
    std::lock_guard<std::mutex> lock(m_LogLock);
    m_TraceSink = nullptr;
    m_Tracing = false;
}

void CVLPEngine::Trace(int level, const char* format, ...) {
    if (!m_Tracing.load())
        return; // nothing is formatted while no one takes the lines
    va_list args;
    va_start(args, format);
    std::string line = FormatText(kMaxTraceLine, format, args);
    va_end(args);
    std::size_t dollar = line.find('$');
    // The first '$' stands for the frame buffer. The buffer belongs to the worker: a line
    // written on another thread while a worker runs keeps its '$'.
    if (dollar != std::string::npos && (OnWorkerThread() || !IsRunning())) {
        int len = m_Len < 0 ? 0 : m_Len > 255 ? 255 : m_Len;
        line.replace(dollar, 1, ByteText(static_cast<std::size_t>(len), m_Data));
    }
    if (line.size() > kMaxTraceLine - 1)
        line.resize(kMaxTraceLine - 1); // the tail is cut to fit
    // Formatted without a lock; only the hand-over is made under the log lock, so a sink that
    // is detached gets no line after SetTraceSink returns.
    std::lock_guard<std::mutex> lock(m_LogLock);
    if (m_TraceSink)
        m_TraceSink->AddLine(level, std::move(line));
}

bool CVLPEngine::Tracing() const {
    return m_Tracing.load();
}

void CVLPEngine::Notify(int kind, long value, std::string text) {
    {
        std::lock_guard<std::recursive_mutex> lock(m_StatusSinkLock);
        if (m_StatusSink)
            m_StatusSink->Post(Notification{kind, value, text});
    }
    CVLPMsg::Notify(kind, value, std::move(text));
}

void CVLPEngine::SetTraceSink(ITraceSink* sink) {
    std::lock_guard<std::mutex> lock(m_LogLock);
    m_TraceSink = sink;
    m_Tracing = sink != nullptr;
}

bool CVLPEngine::HasTraceSink() const {
    std::lock_guard<std::mutex> lock(m_LogLock);
    return m_TraceSink != nullptr;
}

void CVLPEngine::SetStatusSink(INotifySink* sink) {
    std::lock_guard<std::recursive_mutex> lock(m_StatusSinkLock);
    m_StatusSink = sink;
}

} // namespace vq5
