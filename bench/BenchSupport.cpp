#include "BenchSupport.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace vq5::bench {

// ---- figures --------------------------------------------------------------------------

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty())
        return 0;
    if (p <= 0)
        return sorted.front();
    // Nearest rank: the smallest sample with at least p percent of the samples at or below it.
    auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(sorted.size())));
    if (rank < 1)
        rank = 1;
    if (rank > sorted.size())
        rank = sorted.size();
    return sorted[rank - 1];
}

Summary Summarize(std::vector<double> samples) {
    Summary s;
    s.count = samples.size();
    if (samples.empty())
        return s;
    std::sort(samples.begin(), samples.end());
    s.min = samples.front();
    s.max = samples.back();
    s.median = Percentile(samples, 50);
    s.p99 = Percentile(samples, 99);
    double sum = 0;
    for (double v : samples)
        sum += v;
    s.mean = sum / static_cast<double>(samples.size());
    return s;
}

std::string FormatSummary(const std::string& name, const Summary& s, const std::string& unit, int decimals) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "%-34s n=%-6zu min=%.*f median=%.*f p99=%.*f max=%.*f %s", name.c_str(),
                  s.count, decimals, s.min, decimals, s.median, decimals, s.p99, decimals, s.max,
                  unit.c_str());
    return buf;
}

std::int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

std::int64_t ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

std::int64_t ProcessCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// ---- another process ------------------------------------------------------------------

namespace {
std::string ReadWhole(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        return {};
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
} // namespace

long long ParseStatTicks(const std::string& statLine) {
    // "pid (comm) state ppid ... utime stime ...": comm may hold anything, so start after
    // the last ')'. After it, field 0 is the state; utime and stime are fields 11 and 12.
    const std::size_t close = statLine.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream in(statLine.substr(close + 1));
    std::string field;
    long long utime = -1, stime = -1;
    for (int i = 0; i <= 12 && (in >> field); ++i) {
        if (i == 11 || i == 12) {
            char* end = nullptr;
            errno = 0;
            long long v = std::strtoll(field.c_str(), &end, 10);
            if (errno != 0 || end == field.c_str() || *end != 0 || v < 0)
                return -1;
            (i == 11 ? utime : stime) = v;
        }
    }
    if (utime < 0 || stime < 0)
        return -1;
    return utime + stime;
}

std::int64_t ProcStatCpuNs(int pid) {
    const std::string line = ReadWhole("/proc/" + std::to_string(pid) + "/stat");
    const long long ticks = ParseStatTicks(line);
    if (ticks < 0)
        return -1;
    const long hz = sysconf(_SC_CLK_TCK);
    return ticks * (1000000000LL / (hz > 0 ? hz : 100));
}

std::int64_t ProcSchedCpuNs(int pid) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/task";
    DIR* d = opendir(dir.c_str());
    if (!d)
        return -1;
    std::int64_t sum = 0;
    bool any = false;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        const std::string s = ReadWhole(dir + "/" + e->d_name + "/schedstat");
        long long ns = 0;
        if (std::sscanf(s.c_str(), "%lld", &ns) == 1) {
            sum += ns;
            any = true;
        }
    }
    closedir(d);
    return any ? sum : -1;
}

long ProcStatusKb(int pid, const char* key) {
    const std::string path =
        pid == 0 ? std::string("/proc/self/status") : "/proc/" + std::to_string(pid) + "/status";
    std::ifstream in(path);
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line)) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            long kb = -1;
            if (std::sscanf(line.c_str() + prefix.size(), "%ld", &kb) == 1)
                return kb;
        }
    }
    return -1;
}

std::string LoadText() {
    std::string s = ReadWhole("/proc/loadavg");
    double a = 0, b = 0, c = 0;
    if (std::sscanf(s.c_str(), "%lf %lf %lf", &a, &b, &c) != 3)
        return "load ?";
    char buf[64];
    std::snprintf(buf, sizeof buf, "load %.2f %.2f %.2f", a, b, c);
    return buf;
}

std::string MachineText() {
    utsname u{};
    uname(&u);
    std::string model = "unknown CPU";
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 10, "model name") == 0) {
            std::size_t colon = line.find(':');
            if (colon != std::string::npos) {
                model = line.substr(colon + 1);
                model.erase(0, model.find_first_not_of(" \t"));
            }
            break;
        }
    }
    char buf[512];
    std::snprintf(buf, sizeof buf, "%s, %s, %ld cores, %s", u.machine, model.c_str(),
                  sysconf(_SC_NPROCESSORS_ONLN), LoadText().c_str());
    return buf;
}

int ThreadId() {
    return static_cast<int>(::gettid());
}

SchedStat ThreadSchedStat(int tid) {
    SchedStat s;
    const std::string text = ReadWhole("/proc/self/task/" + std::to_string(tid) + "/schedstat");
    long long a = 0, b = 0, c = 0;
    if (std::sscanf(text.c_str(), "%lld %lld %lld", &a, &b, &c) == 3) {
        s.cpuNs = a;
        s.waitNs = b;
        s.slices = c;
    }
    return s;
}

void CBenchEngine::SetStatus(int status) {
    // Once per worker (its first SetStatus is "Initializing"): no system call per exchange.
    if (status == lsInitializing && OnWorkerThread())
        m_WorkerTid = ThreadId();
    CVLPEngine::SetStatus(status);
}

// ---- pseudo-terminal ------------------------------------------------------------------

CPty::~CPty() {
    Close();
}

bool CPty::Open(std::string& error) {
    Close();
    char name[256] = {};
    termios t{};
    cfmakeraw(&t);
    cfsetispeed(&t, B1200);
    cfsetospeed(&t, B1200);
    if (openpty(&m_Master, &m_Slave, name, &t, nullptr) != 0) {
        error = std::string("openpty: ") + std::strerror(errno);
        m_Master = m_Slave = -1;
        return false;
    }
    fcntl(m_Master, F_SETFL, fcntl(m_Master, F_GETFL) | O_NONBLOCK);
    fcntl(m_Master, F_SETFD, FD_CLOEXEC);
    fcntl(m_Slave, F_SETFD, FD_CLOEXEC);
    m_SlavePath = name;
    return true;
}

void CPty::Close() {
    if (m_Master >= 0)
        ::close(m_Master);
    if (m_Slave >= 0)
        ::close(m_Slave);
    m_Master = m_Slave = -1;
}

// ---- the minimal master ---------------------------------------------------------------

void CMiniMaster::PaceReadByte(std::int64_t arrivedNs) {
    if (m_PaceNs == 0)
        return;
    m_WireFree = std::max(m_WireFree, arrivedNs) + m_PaceNs;
    m_WireNs += m_PaceNs;
}

void CMiniMaster::WaitWireFree() {
    if (m_PaceNs == 0)
        return;
    const std::int64_t left = m_WireFree - NowNs();
    if (left > 0)
        std::this_thread::sleep_for(std::chrono::nanoseconds(left));
}

int CMiniMaster::NextByte(int timeoutMs, std::int64_t* stamp) {
    if (m_Pos < m_End) {
        PaceReadByte(m_ReadAt);
        return m_Buf[m_Pos++];
    }
    const std::int64_t deadline = NowNs() + static_cast<std::int64_t>(timeoutMs) * 1000000;
    for (;;) {
        ssize_t n = ::read(m_Fd, m_Buf, sizeof m_Buf);
        if (n > 0) {
            m_ReadAt = NowNs();
            if (stamp)
                *stamp = m_ReadAt;
            m_Pos = 1;
            m_End = static_cast<std::size_t>(n);
            PaceReadByte(m_ReadAt);
            return m_Buf[0];
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return -1;
        const std::int64_t left = deadline - NowNs();
        if (left <= 0)
            return -2;
        pollfd p{m_Fd, POLLIN, 0};
        int ms = static_cast<int>((left + 999999) / 1000000);
        int r = ::poll(&p, 1, ms);
        if (r < 0 && errno != EINTR)
            return -1;
    }
}

CMiniMaster::Frame CMiniMaster::ReadFrame(int timeoutMs) {
    Frame f = ReadFrameBody(timeoutMs);
    WaitWireFree(); // the frame is read when its last byte has left the wire
    return f;
}

CMiniMaster::Frame CMiniMaster::ReadFrameBody(int timeoutMs) {
    Frame f;
    int b = NextByte(timeoutMs, &f.firstByteNs);
    if (b == -2) {
        f.type = FrameType::timeout;
        return f;
    }
    if (b < 0) {
        f.type = FrameType::error;
        return f;
    }
    if (f.firstByteNs == 0)
        f.firstByteNs = NowNs(); // the byte was already buffered
    auto next = [&] { return NextByte(timeoutMs, nullptr); };
    switch (b) {
    case NUL:
        f.type = next() == EOT ? FrameType::eot : FrameType::noframe;
        return f;
    case ADR: {
        int c = next();
        while (c == ADR)
            c = next();
        f.type = c == ACK ? FrameType::ack : c == NAK ? FrameType::nak : FrameType::noframe;
        return f;
    }
    case SOH: {
        if (next() != ADR || next() != STX) {
            f.type = FrameType::noframe;
            return f;
        }
        int block = next();
        int len = next();
        if (block < 0 || len < 0) {
            f.type = FrameType::noframe;
            return f;
        }
        std::vector<unsigned char> payload;
        for (int i = 0; i < len; ++i) {
            int d = next();
            if (d < 0) {
                f.type = FrameType::noframe;
                return f;
            }
            payload.push_back(static_cast<unsigned char>(d));
        }
        int etx = next(), c1 = next(), c2 = next();
        if (etx < 0 || c1 < 0 || c2 < 0) {
            f.type = FrameType::noframe;
            return f;
        }
        CheckBytes c = ComputeCheckBytes(static_cast<unsigned char>(block), payload.data(), payload.size());
        f.text.assign(payload.begin(), payload.end());
        f.type = (etx == ETX && c1 == c.c1 && c2 == c.c2) ? FrameType::info : FrameType::crcerror;
        return f;
    }
    default:
        f.type = FrameType::noframe;
        return f;
    }
}

std::int64_t CMiniMaster::Write(const std::vector<unsigned char>& bytes) {
    if (m_PaceNs != 0) {
        // One byte at a time, each at the end of its time on the wire.
        std::int64_t stamp = 0;
        for (unsigned char b : bytes) {
            m_WireFree = std::max(m_WireFree, NowNs()) + m_PaceNs;
            m_WireNs += m_PaceNs;
            WaitWireFree();
            stamp = NowNs();
            if (!WriteAll(&b, 1))
                return 0;
        }
        return stamp;
    }
    const std::int64_t stamp = NowNs();
    return WriteAll(bytes.data(), bytes.size()) ? stamp : 0;
}

bool CMiniMaster::WriteAll(const unsigned char* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = ::write(m_Fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{m_Fd, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0)
                return false;
            continue;
        }
        return false;
    }
    return true;
}

void CMiniMaster::Discard() {
    m_Pos = m_End = 0;
    unsigned char buf[256];
    while (::read(m_Fd, buf, sizeof buf) > 0) {
    }
}

CMiniMaster::Exchange CMiniMaster::Poll(int timeoutMs) {
    Exchange x;
    const std::int64_t t0 = Write(ControlFrameBytes(FrameType::poll));
    if (t0 == 0) {
        x.failure = "poll not written";
        return x;
    }
    Frame f = ReadFrame(timeoutMs);
    if (f.type == FrameType::eot) {
        x.answerNs = f.firstByteNs - t0;
        x.ok = true;
        return x;
    }
    if (f.type != FrameType::info) {
        x.failure = std::string("poll answered with ") + FrameTypeName(f.type);
        return x;
    }
    x.answerNs = f.firstByteNs - t0;
    x.text = f.text;
    const std::int64_t t1 = Write(ControlFrameBytes(FrameType::ack));
    Frame g = ReadFrame(timeoutMs);
    if (g.type != FrameType::eot) {
        x.failure = std::string("ACK answered with ") + FrameTypeName(g.type);
        return x;
    }
    x.eotNs = g.firstByteNs - t1;
    x.ok = true;
    return x;
}

CMiniMaster::Exchange CMiniMaster::Select(const std::string& text, int timeoutMs) {
    Exchange x;
    const std::int64_t t0 = Write(ControlFrameBytes(FrameType::select));
    if (t0 == 0) {
        x.failure = "select not written";
        return x;
    }
    Frame f = ReadFrame(timeoutMs);
    if (f.type != FrameType::ack) {
        x.failure = std::string("select answered with ") + FrameTypeName(f.type);
        return x;
    }
    x.answerNs = f.firstByteNs - t0;
    const std::int64_t t1 = Write(InfoFrameBytes(text));
    Frame g = ReadFrame(timeoutMs);
    if (g.type != FrameType::ack) {
        x.failure = std::string("frame answered with ") + FrameTypeName(g.type);
        return x;
    }
    x.frameAckNs = g.firstByteNs - t1;
    x.ok = true;
    return x;
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

// ---- counting serial port -------------------------------------------------------------

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

// ---- command line ---------------------------------------------------------------------

std::string Option(int argc, char** argv, const std::string& name, const std::string& def) {
    const std::string eq = name + "=";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == name && i + 1 < argc)
            return argv[i + 1];
        if (a.compare(0, eq.size(), eq) == 0)
            return a.substr(eq.size());
    }
    return def;
}

long OptionInt(int argc, char** argv, const std::string& name, long def) {
    const std::string v = Option(argc, argv, name, "");
    if (v.empty())
        return def;
    char* end = nullptr;
    long r = std::strtol(v.c_str(), &end, 10);
    return (end && *end == 0) ? r : def;
}

bool Flag(int argc, char** argv, const std::string& name) {
    for (int i = 1; i < argc; ++i)
        if (name == argv[i])
            return true;
    return false;
}

} // namespace vq5::bench
