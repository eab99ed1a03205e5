#include "LinePort.h"

#include "PosixSerialPort.h"
#include "Termios2.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace vq5::sim {

namespace {

bool MakeRaw(int fd) {
    struct termios t {};
    if (tcgetattr(fd, &t) < 0)
        return false;
    MakeRawLine(t);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

bool SetNonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Whole milliseconds until t, rounded up: a wait of 0 only once t has passed, so a wait on
// poll() never spins through the last fraction of a millisecond.
int MsUntil(CLinePort::Clock::time_point t) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(t - CLinePort::Clock::now()).count();
    return ns <= 0 ? 0 : static_cast<int>((ns + 999999) / 1000000);
}

} // namespace

CLinePort::CLinePort() {
    if (::pipe2(m_WakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        m_WakePipe[0] = m_WakePipe[1] = -1;
}

CLinePort::~CLinePort() {
    Close();
    for (int fd : m_WakePipe)
        if (fd >= 0)
            ::close(fd);
}

bool CLinePort::OpenPty(std::string& slavePath, std::string& error) {
    Close();
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        error = std::string("openpty: ") + std::strerror(errno);
        return false;
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    if (!MakeRaw(slave) || !SetNonBlocking(master)) {
        error = std::string("pseudo-terminal set-up: ") + std::strerror(errno);
        ::close(master);
        ::close(slave);
        return false;
    }
    m_Fd = master;
    m_SlaveFd = slave;
    m_OwnFd = true;
    m_Baud = 1200;
    slavePath = name;
    return true;
}

bool CLinePort::OpenDevice(const std::string& path, std::string& error) {
    Close();
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    if (isatty(fd) && !MakeRaw(fd)) {
        error = "cannot set up " + path + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    m_Fd = fd;
    m_OwnFd = true;
    m_Baud = 1200;
    return true;
}

bool CLinePort::AttachFd(int fd, std::string& error) {
    Close();
    if (fd < 0 || fcntl(fd, F_GETFL) < 0) {
        error = "not an open file descriptor";
        return false;
    }
    if (isatty(fd))
        MakeRaw(fd);
    SetNonBlocking(fd);
    m_Fd = fd;
    m_OwnFd = false;
    m_Baud = 1200;
    return true;
}

void CLinePort::Close() {
    const int fd = m_Fd.exchange(-1);
    const int slave = m_SlaveFd.exchange(-1);
    if (fd >= 0 && m_OwnFd)
        ::close(fd);
    if (slave >= 0)
        ::close(slave);
    m_Pushback.clear();
}

void CLinePort::Interrupt() {
    if (m_WakePipe[1] >= 0) {
        const char c = 1;
        (void)!::write(m_WakePipe[1], &c, 1);
    }
}

void CLinePort::ClearInterrupt() {
    if (m_WakePipe[0] < 0)
        return;
    char buf[64];
    while (::read(m_WakePipe[0], buf, sizeof buf) > 0) {
    }
}

bool CLinePort::Interrupted() const {
    if (m_WakePipe[0] < 0)
        return false;
    struct pollfd p {
        m_WakePipe[0], POLLIN, 0
    };
    return ::poll(&p, 1, 0) > 0;
}

bool CLinePort::Sleep(int ms) {
    if (ms <= 0)
        return !Interrupted();
    if (m_WakePipe[0] < 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return true;
    }
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        struct pollfd p {
            m_WakePipe[0], POLLIN, 0
        };
        int left = MsUntil(until);
        int r = ::poll(&p, 1, left);
        if (r > 0)
            return false;
        if (r == 0 && Clock::now() >= until)
            return true;
        if (r < 0 && errno != EINTR)
            return true;
    }
}

bool CLinePort::WaitReadable(int timeoutMs) {
    const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        struct pollfd p[2] = {{m_Fd, POLLIN, 0}, {m_WakePipe[0], POLLIN, 0}};
        int r = ::poll(p, m_WakePipe[0] >= 0 ? 2 : 1, MsUntil(until));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        if (m_WakePipe[0] >= 0 && (p[1].revents & POLLIN))
            return false;
        if (p[0].revents & (POLLIN | POLLERR | POLLHUP))
            return true;
    }
}

void CLinePort::PaceByte(bool backToBack) {
    const double seconds = ByteSeconds();
    m_WireSeconds += seconds;
    if (!m_Pace)
        return;
    // A byte that follows the one before without a pause starts when that one ended, so the
    // small delays of waking up do not add up over a frame; after a pause it starts now.
    const auto now = Clock::now();
    const auto start = backToBack ? m_WireFree : (m_WireFree > now ? m_WireFree : now);
    const auto end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    m_WireFree = end;
    if (end > now)
        std::this_thread::sleep_until(end);
}

int CLinePort::ReadByte(int timeoutMs) {
    if (m_Fd < 0)
        return -1;
    unsigned char b = 0;
    bool waited = false;
    if (!m_Pushback.empty()) {
        b = m_Pushback.front();
        m_Pushback.erase(m_Pushback.begin());
    } else {
        const auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            ssize_t n = ::read(m_Fd, &b, 1);
            if (n == 1)
                break;
            waited = true;
            if (n < 0 && errno == EINTR)
                continue;
            // A pseudo-terminal master reads EIO while no one has the slave side open; that is
            // a quiet line, not a failure (the PC may open its port later).
            const bool quiet =
                n == 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || (errno == EIO && IsPty())));
            if (!quiet)
                return -1;
            if (Interrupted())
                return -1;
            int left = MsUntil(until);
            if (left <= 0)
                return -2;
            if (n < 0 && errno == EIO) {
                if (!Sleep(left < 10 ? left : 10))
                    return -1;
                continue;
            }
            if (!WaitReadable(left)) {
                if (Interrupted())
                    return -1;
                if (Clock::now() >= until)
                    return -2;
            }
        }
    }
    ++m_BytesIn;
    PaceByte(!waited);
    return b;
}

bool CLinePort::Write(const std::vector<unsigned char>& bytes) {
    if (m_Fd < 0)
        return false;
    bool first = true;
    for (unsigned char b : bytes) {
        PaceByte(!first);
        first = false;
        const auto until = Clock::now() + std::chrono::seconds(5);
        for (;;) {
            ssize_t n = ::write(m_Fd, &b, 1);
            if (n == 1)
                break;
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && Clock::now() < until &&
                !Interrupted()) {
                struct pollfd p {
                    m_Fd, POLLOUT, 0
                };
                ::poll(&p, 1, 10);
                continue;
            }
            // EIO on a master without a slave reader: the byte is lost on the line, like a
            // byte sent to an unplugged cable.
            if (n < 0 && errno == EIO && IsPty())
                break;
            return false;
        }
        ++m_BytesOut;
    }
    return true;
}

std::vector<unsigned char> CLinePort::Discard() {
    std::vector<unsigned char> out;
    out.swap(m_Pushback);
    if (m_Fd < 0)
        return out;
    unsigned char buf[256];
    for (;;) {
        ssize_t n = ::read(m_Fd, buf, sizeof buf);
        if (n > 0) {
            out.insert(out.end(), buf, buf + n);
            m_BytesIn += static_cast<std::uint64_t>(n);
            for (ssize_t i = 0; i < n; ++i)
                m_WireSeconds += ByteSeconds();
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
    return out;
}

bool CLinePort::WaitPeerRead(int stallMs) {
    const int slave = m_SlaveFd.load();
    if (slave < 0)
        return true;
    // Bytes written to the master reach the slave's input queue a moment later (the kernel
    // moves them in a work item, mostly within microseconds, now and then milliseconds): an
    // empty queue right after the write may only mean "not there yet". Until bytes have been
    // seen waiting, an empty queue counts as read only after a short arrival time (a PC that
    // takes every byte at once leaves nothing to see).
    const auto start = Clock::now();
    const auto arrival = std::chrono::microseconds(m_Pace ? 100 : 2000);
    bool seen = false;
    int last = -1;
    auto progress = start;
    // Looks grow to 50 ms for a PC that is there but slow, to 150 ms for one that is away.
    const int longestLookMs = m_PeerAway ? 150 : 50;
    int lookMs = 1;
    bool watchLine = true;
    for (;;) {
        int waiting = 0;
        if (ioctl(slave, FIONREAD, &waiting) < 0)
            return true;
        const auto now = Clock::now();
        if (waiting <= 0) {
            if (seen || now - start >= arrival) {
                m_PeerAway = false;
                return true;
            }
            if (Interrupted())
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            continue;
        }
        seen = true;
        if (waiting != last) {
            last = waiting;
            progress = now;
        } else if (now - progress >= std::chrono::milliseconds(stallMs)) {
            tcflush(slave, TCIFLUSH);
            m_PeerAway = true;
            return false;
        }
        // A PC that reads at once is seen soon; one that pauses (or is not there) is waited
        // for on the line, longer each time: its answer ends the wait at once, and a PC that
        // is away (its last wait stalled) costs a few wake-ups per stall instead of one every
        // millisecond.
        if (now - start < std::chrono::milliseconds(5) && !m_PeerAway) {
            if (Interrupted())
                return false;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        } else {
            // The wake pipe first, then (while it has not been seen readable) the line: the
            // PC's answer wakes the wait, and the input queue is looked at again.
            struct pollfd p[2] = {{m_WakePipe[0], POLLIN, 0}, {m_Fd.load(), POLLIN, 0}};
            const int count = (m_WakePipe[0] >= 0 ? 1 : 0) + (watchLine ? 1 : 0);
            const int r =
                count > 0 ? ::poll(m_WakePipe[0] >= 0 ? p : p + 1, static_cast<nfds_t>(count), lookMs) : 0;
            if (count == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(lookMs));
            if (r > 0 && m_WakePipe[0] >= 0 && (p[0].revents & POLLIN))
                return false; // interrupted
            if (r > 0 && watchLine && (p[1].revents & (POLLIN | POLLERR | POLLHUP)))
                watchLine = false; // readable from now on: only the queue tells
            lookMs = std::min(lookMs * 2, longestLookMs);
        }
    }
}

void CLinePort::SetBaud(int baud) {
    if (baud <= 0)
        return;
    m_Baud = baud;
    const int fd = m_Fd.load();
    if (fd >= 0 && m_SlaveFd.load() < 0 && isatty(fd)) {
        tcdrain(fd);
        int error = 0;
        (void)SetLineSpeed(fd, baud, error);
    }
}

int CLinePort::PeerBaud() const {
    const int slave = m_SlaveFd.load();
    if (slave < 0)
        return 0;
    int b = ReadLineSpeed(slave);
    return b > 0 ? b : 0;
}

} // namespace vq5::sim
