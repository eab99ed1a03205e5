#include "BenchEngine.h"

#include "PosixSerialPort.h"
#include "ProcessProbes.h"

#include <algorithm>
#include <cstdio>

namespace vq5::bench {

void CBenchEngine::SetStatus(int status) {
    // Once per worker (its first SetStatus is "Initializing"): no system call per exchange.
    if (status == lsInitializing && OnWorkerThread())
        m_WorkerTid = ThreadId();
    CVLPEngine::SetStatus(status);
}

// ---- trace sink like the log window ---------------------------------------------------

CLogLikeSink::CLogLikeSink(int mask) : m_Mask(mask) {
    m_Consumer = std::thread([this] { Consume(); });
}

CLogLikeSink::~CLogLikeSink() {
    {
        std::lock_guard<std::mutex> g(m_Lock);
        m_Stop = true;
    }
    m_Wake.notify_all();
    m_Consumer.join();
}

void CLogLikeSink::AddLine(int level, std::string line) {
    if (level < 0 || level > 3 || (m_Mask & (1 << level)) == 0)
        return;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::system_clock::now().time_since_epoch())
                        .count();
    Rec rec{static_cast<std::uint32_t>(ms % (3600LL * 1000)), std::move(line)};
    bool first = false;
    {
        std::lock_guard<std::mutex> g(m_Lock);
        first = m_Pending.empty();
        m_Pending.push_back(std::move(rec));
    }
    ++m_Handed;
    if (first)
        m_Wake.notify_one(); // the window posts one flush per batch
}

void CLogLikeSink::Consume() {
    std::vector<Rec> batch;
    for (;;) {
        {
            std::unique_lock<std::mutex> g(m_Lock);
            m_Wake.wait(g, [this] { return m_Stop || !m_Pending.empty(); });
            if (m_Pending.empty() && m_Stop)
                return;
            batch.swap(m_Pending);
        }
        {
            std::lock_guard<std::mutex> g(m_StoreLock);
            for (Rec& r : batch) {
                m_Starts.push_back(m_Text.size());
                m_Times.push_back(r.msOfHour);
                m_Text.insert(m_Text.end(), r.text.begin(), r.text.end());
            }
            m_StoredCount += batch.size();
        }
        batch.clear();
        m_StoredCv.notify_all();
    }
}

bool CLogLikeSink::WaitStored(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> g(m_StoreLock);
    return m_StoredCv.wait_for(g, timeout, [this] { return m_StoredCount.load() >= m_Handed.load(); });
}

std::string CLogLikeSink::Line(std::size_t i) const {
    std::lock_guard<std::mutex> g(m_StoreLock);
    if (i >= m_Starts.size())
        return {};
    const std::size_t begin = m_Starts[i];
    const std::size_t end = i + 1 < m_Starts.size() ? m_Starts[i + 1] : m_Text.size();
    return std::string(m_Text.data() + begin, end - begin);
}

void CCountingSink::Post(Notification n) {
    if (n.kind >= 0 && n.kind < 8)
        ++m_Counts[n.kind];
}

std::size_t CCountingSink::Count(int kind) const {
    return kind >= 0 && kind < 8 ? m_Counts[kind].load() : 0;
}

bool CEngineOnPty::Open(std::string& error, const std::function<void(CMemoryStore&)>& settings) {
    if (!m_Pty.Open(error))
        return false;
    m_Store.WriteString("VLPIO", "ComPort", m_Pty.SlavePath());
    if (settings)
        settings(m_Store);
    m_Engine = std::make_unique<CBenchEngine>(&m_Store);
    m_Engine->SetNotifySink(&m_Notes);
    return true;
}

bool CEngineOnPty::Open() {
    std::string error;
    if (Open(error))
        return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

// ---- counting serial port -------------------------------------------------------------

std::function<std::unique_ptr<ISerialPort>()> CCountingPort::Factory(Counts& counts) {
    return [&counts] {
        return std::unique_ptr<ISerialPort>(new CCountingPort(std::make_unique<CPosixSerialPort>(), counts));
    };
}

ReadResult CCountingPort::ReadByte(unsigned char& byte, unsigned timeoutMs, int& error) {
    ++m_Counts.reads;
    return m_Inner->ReadByte(byte, timeoutMs, error);
}

WriteResult CCountingPort::Write(const unsigned char* bytes, std::size_t count, std::size_t& written,
                                 int& error) {
    ++m_Counts.writes;
    WriteResult r = m_Inner->Write(bytes, count, written, error);
    m_Counts.bytesWritten += written;
    return r;
}

} // namespace vq5::bench
