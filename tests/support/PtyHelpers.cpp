#include "PtyHelpers.h"

#include "FrameCodec.h"
#include "HexBytes.h"
#include "Termios2.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace vq5::test {

Bytes B(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values)
        out.push_back(static_cast<unsigned char>(v));
    return out;
}

Bytes B(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string Hex(const Bytes& bytes) {
    return HexBytes(bytes);
}

CPty::CPty() {
    std::string error;
    if (!OpenRawPty(m_Master, m_Slave, m_Path, error))
        throw std::runtime_error(error);
}

CPty::~CPty() {
    CloseMaster();
    if (m_Slave >= 0)
        ::close(m_Slave);
}

void CPty::CloseMaster() {
    if (m_Master >= 0)
        ::close(m_Master);
    m_Master = -1;
}

void CPty::CloseSlave() {
    if (m_Slave >= 0)
        ::close(m_Slave);
    m_Slave = -1;
}

int CPty::TakeMaster() {
    const int fd = m_Master;
    m_Master = -1;
    return fd;
}

void CPty::Write(const Bytes& bytes) {
    std::size_t off = 0;
    while (off < bytes.size()) {
        ssize_t n = ::write(m_Master, bytes.data() + off, bytes.size() - off);
        if (n > 0) {
            off += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            struct pollfd p {
                m_Master, POLLOUT, 0
            };
            ::poll(&p, 1, 100);
        } else {
            ADD_FAILURE() << "write to pty master failed";
            return;
        }
    }
}

Bytes CPty::Read(std::size_t n, std::chrono::milliseconds timeout) {
    Bytes out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < n) {
        unsigned char buf[512];
        std::size_t want = n - out.size() < sizeof buf ? n - out.size() : sizeof buf;
        ssize_t got = ::read(m_Master, buf, want);
        if (got > 0) {
            out.insert(out.end(), buf, buf + got);
            continue;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        struct pollfd p {
            m_Master, POLLIN, 0
        };
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
    return out;
}

Bytes CPty::ReadQuiet(std::chrono::milliseconds quiet) {
    Bytes out;
    for (;;) {
        Bytes more = Read(4096, quiet);
        if (more.empty())
            return out;
        out.insert(out.end(), more.begin(), more.end());
    }
}

Bytes CPty::ReadPcFrame(std::chrono::milliseconds timeout) {
    CFrameDecoder decoder(FrameSide::Device);
    return decoder
        .Read([&] {
            const Bytes b = Read(1, timeout);
            return b.empty() ? -2 : b[0];
        })
        .raw;
}

int CPty::SlaveSpeed() const {
    return ReadLineSpeed(m_Slave);
}

std::size_t CPty::FillFromPc() {
    ::fcntl(m_Slave, F_SETFL, ::fcntl(m_Slave, F_GETFL) | O_NONBLOCK);
    std::vector<unsigned char> chunk(4096, 0x55);
    std::size_t total = 0;
    // Big pieces first, then single bytes, until three looks 20 ms apart take nothing.
    std::size_t piece = chunk.size();
    for (int quiet = 0; quiet < 3 && total < (64u << 20);) {
        const ssize_t n = ::write(m_Slave, chunk.data(), piece);
        if (n > 0) {
            total += static_cast<std::size_t>(n);
            quiet = 0;
        } else if (n < 0 && errno == EAGAIN && piece > 1) {
            piece = 1;
        } else if (n < 0 && errno == EAGAIN) {
            ++quiet;
            ::poll(nullptr, 0, 20);
        } else {
            break;
        }
    }
    return total;
}

void CRecordingMessages::Show(const std::string& caption, const std::string& text) {
    std::unique_lock<std::mutex> lock(m_Lock);
    if (m_Abandoned)
        return;
    m_Boxes.emplace_back(caption, text);
    m_Changed.notify_all();
    if (m_Blocking)
        m_Changed.wait(lock, [this] { return m_Abandoned; });
}

void CRecordingMessages::Abandon() {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Abandoned = true;
    m_Changed.notify_all();
}

void CRecordingMessages::Reset() {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Abandoned = false;
}

std::vector<std::pair<std::string, std::string>> CRecordingMessages::Boxes() const {
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Boxes;
}

bool CRecordingMessages::WaitForBox(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_Lock);
    return m_Changed.wait_for(lock, timeout, [this] { return !m_Boxes.empty(); });
}

void CRecordingTrace::AddLine(int level, std::string line) {
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Lines.emplace_back(level, std::move(line));
}

std::vector<std::pair<int, std::string>> CRecordingTrace::Lines() const {
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Lines;
}

bool CRecordingTrace::Contains(const std::string& text) const {
    std::lock_guard<std::mutex> lock(m_Lock);
    for (const auto& l : m_Lines)
        if (l.second.find(text) != std::string::npos)
            return true;
    return false;
}

CEngineOnPty::CEngineOnPty(unsigned timeoutMs, int fastIndex) {
    ConnectTo(store, pty.Path(), fastIndex, static_cast<int>(timeoutMs));
    engine = std::make_unique<CVLPEngine>(&store);
    engine->SetNotifySink(&queue);
    engine->SetUserMessages(&messages);
}

CEngineOnPty::~CEngineOnPty() {
    engine.reset();
}

void CEngineOnPty::Start() {
    engine->Start();
    WaitKind(nkLinkStatus);
}

void CEngineOnPty::Poll() {
    pty.Write(B({'P', ADR, ENQ}));
}
void CEngineOnPty::SendSelect() {
    pty.Write(B({'S', ADR, ENQ}));
}

std::string CEngineOnPty::PollMessage(Bytes* frame) {
    Poll();
    Bytes f = pty.ReadPcFrame();
    if (frame)
        *frame = f;
    if (f == B({NUL, EOT}))
        return "";
    if (f.size() < 8 || f[0] != SOH) {
        ADD_FAILURE() << "unexpected answer to a poll: " << Hex(f);
        return "<bad>";
    }
    pty.Write(B({ADR, ACK}));
    Bytes e = pty.ReadPcFrame();
    EXPECT_EQ(Hex(e), "00 04");
    return std::string(f.begin() + 5, f.end() - 3);
}

void CEngineOnPty::SelectSend(const std::string& text) {
    SendSelect();
    EXPECT_EQ(Hex(pty.ReadPcFrame()), "E1 06");
    pty.Write(InfoFrameBytes(text));
    EXPECT_EQ(Hex(pty.ReadPcFrame()), "E1 06");
}

void CEngineOnPty::Identify(char letter, const std::string& version) {
    std::string reply = std::string("&") + letter + "PVQ-5 (" + version + ") test unit";
    SelectSend(reply);
    WaitKind(nkIdent);
}

Notification CEngineOnPty::WaitKind(int kind, std::chrono::milliseconds timeout) {
    Notification n;
    EXPECT_TRUE(queue.WaitFor(kind, -1, timeout, &n)) << "no notification of kind " << kind;
    return n;
}

bool CEngineOnPty::WaitStatus(int status, std::chrono::milliseconds timeout) {
    return queue.WaitFor(nkLinkStatus, status, timeout);
}

std::vector<Notification> CEngineOnPty::Drain(std::chrono::milliseconds quiet) {
    std::vector<Notification> out;
    Notification n;
    while (queue.Wait(n, quiet))
        out.push_back(n);
    return out;
}

CPtyLine::CPtyLine(unsigned timeoutMs) {
    store.WriteString("VLPIO", "ComPort", pty.Path());
    store.WriteInt("VLPIO", "Timeout", static_cast<int>(timeoutMs));
}

void ExpectRawLine(int fd) {
    struct termios t {};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS | HUPCL), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
}

double ProcessCpuMs() {
    struct rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

} // namespace vq5::test
