#include "PosixSerialPort.h"

#include "PortOpenError.h"
#include "Termios2.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace vq5 {

namespace {
using Clock = std::chrono::steady_clock;
} // namespace

void MakeRawLine(struct termios& t) {
    cfmakeraw(&t);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP);
    t.c_iflag |= IGNBRK;
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B1200);
    cfsetospeed(&t, B1200);
}

std::string PortDevicePath(const std::string& name) {
    // "COM1".."COM8" (any case) name the first eight serial ports.
    if (name.size() == 4 && std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
        std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
        std::toupper(static_cast<unsigned char>(name[2])) == 'M' && name[3] >= '1' && name[3] <= '8')
        return std::string("/dev/ttyS") + static_cast<char>(name[3] - 1);
    return name;
}

CPosixSerialPort::CPosixSerialPort() {
    m_WakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CPosixSerialPort::~CPosixSerialPort() {
    Close();
    if (m_WakeFd >= 0)
        ::close(m_WakeFd);
}

bool CPosixSerialPort::Open(const std::string& name, int& error) {
    if (m_Fd.load() >= 0)
        Close();
    const std::string path = PortDevicePath(name);
    // Non-blocking so that opening never waits for carrier.
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    auto fail = [&](int err) {
        ::close(fd);
        error = err;
        return false;
    };
    if (flock(fd, LOCK_EX | LOCK_NB) < 0)
        return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    if (!isatty(fd))
        return fail(ENOTTY);
    struct termios t {};
    if (tcgetattr(fd, &t) < 0)
        return fail(errno);
    MakeRawLine(t);
    if (tcsetattr(fd, TCSANOW, &t) < 0)
        return fail(errno);
    // tcsetattr succeeds when any one of the changes took: read them back.
    struct termios back {};
    if (tcgetattr(fd, &back) < 0)
        return fail(errno);
    if (!LineSettingsTaken(back))
        return fail(kLineSettingsRefused);
    // The speed goes through the same termios2 path as every later change, and is read back.
    int speedError = 0;
    if (!SetLineSpeed(fd, 1200, speedError))
        return fail(speedError);
    if (ReadLineSpeed(fd) != 1200)
        return fail(kLineSettingsRefused);
    // USB adapters: hand received bytes on at once (best effort; a pty or a plain UART
    // without the flag simply keeps its default).
    (void)RequestLowLatency(fd);
    // Exclusive: later opens of this tty fail with EBUSY (the flock above keeps other flock
    // users out as well, also privileged ones).
    if (ioctl(fd, TIOCEXCL) < 0 && errno == ENOTTY)
        return fail(ENOTTY);
    // DTR and RTS off; a pseudo-terminal has no modem lines, so the result is not checked.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)ioctl(fd, TIOCMBIC, &lines);
    int speed = ReadLineSpeed(fd);
    m_Baud = speed > 0 ? speed : 1200;
    m_Fd = fd;
    return true;
}

void CPosixSerialPort::Drain(int fd) {
    // Lets bytes already written leave the line, bounded: a line that never drains (flow
    // stopped, nobody reading a pseudo-terminal) must not hold the caller.
    const auto deadline = Clock::now() + std::chrono::milliseconds(kDrainLimitMs);
    for (;;) {
        int queued = 0;
        if (ioctl(fd, TIOCOUTQ, &queued) < 0 || queued <= 0)
            return;
        int left = RemainingMs<int>(deadline);
        if (left == 0 || m_Interrupted.load())
            return;
        // One character at the current speed is 10 bit times; wait for what is queued.
        int baud = m_Baud.load() > 0 ? m_Baud.load() : 1200;
        int ms = static_cast<int>((static_cast<long long>(queued) * 10000) / baud) + 1;
        if (ms > 20)
            ms = 20;
        if (ms > left)
            ms = left;
        if (m_WakeFd >= 0) {
            struct pollfd p {
                m_WakeFd, POLLIN, 0
            };
            if (::poll(&p, 1, ms) > 0)
                return;
        } else {
            ::usleep(static_cast<useconds_t>(ms) * 1000);
        }
    }
}

void CPosixSerialPort::Close() {
    int fd = m_Fd.exchange(-1);
    if (fd < 0)
        return;
    Drain(fd);
    // Unread input is dropped; output already written is not: flushing it would drop the last
    // frame of a stop that cut the drain short (the ACK of the device's last reply when a tool
    // ends at once), and on a pseudo-terminal it would drop bytes the peer has not read yet.
    tcflush(fd, TCIFLUSH);
    (void)ioctl(fd, TIOCNXCL); // the tty may stay open elsewhere: let the next Open in
    flock(fd, LOCK_UN);
    ::close(fd);
    m_Baud = 0;
}

bool CPosixSerialPort::IsOpen() const {
    return m_Fd.load() >= 0;
}

CPosixSerialPort::Wait CPosixSerialPort::WaitFor(int fd, short events, int timeoutMs, int& error) {
    if (m_Interrupted.load())
        return Wait::Interrupted;
    for (;;) {
        struct pollfd p[2] = {{fd, events, 0}, {m_WakeFd, POLLIN, 0}};
        // Without an eventfd, wake up every 100 ms to look at the interrupt flag.
        int slice = timeoutMs;
        if (m_WakeFd < 0 && (slice < 0 || slice > 100))
            slice = 100;
        int rc = ::poll(p, m_WakeFd >= 0 ? 2 : 1, slice);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            return Wait::Failed;
        }
        if (m_Interrupted.load() || (m_WakeFd >= 0 && (p[1].revents & POLLIN)))
            return Wait::Interrupted;
        if (rc == 0) {
            if (slice != timeoutMs) {
                timeoutMs -= slice;
                if (timeoutMs > 0)
                    continue;
            }
            return Wait::Timeout;
        }
        if (p[0].revents & POLLNVAL) {
            error = EBADF;
            return Wait::Failed;
        }
        if (p[0].revents & events)
            return Wait::Ready;
        if (p[0].revents & (POLLERR | POLLHUP)) {
            error = EIO; // the line went away (device unplugged, other side closed)
            return Wait::Failed;
        }
    }
}

ReadResult CPosixSerialPort::ReadByte(unsigned char& byte, unsigned timeoutMs, int& error) {
    int fd = m_Fd.load();
    if (fd < 0) {
        error = EBADF;
        return ReadResult::Failed;
    }
    if (m_Interrupted.load())
        return ReadResult::Interrupted;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int emptyAfterReady = 0;
    for (;;) {
        ssize_t n = ::read(fd, &byte, 1);
        if (n == 1)
            return ReadResult::Byte;
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            error = errno;
            return ReadResult::Failed;
        }
        // No byte now (VMIN = VTIME = 0 reads 0, O_NONBLOCK gives EAGAIN): wait for one.
        int left = RemainingMs<int>(deadline);
        if (left == 0)
            return ReadResult::Timeout;
        Wait w = WaitFor(fd, POLLIN, left, error);
        if (w == Wait::Timeout)
            return ReadResult::Timeout;
        if (w == Wait::Interrupted)
            return ReadResult::Interrupted;
        if (w == Wait::Failed)
            return ReadResult::Failed;
        // Readable but nothing to read, again and again: the line was hung up.
        if (n == 0 && ++emptyAfterReady > 3) {
            error = EIO;
            return ReadResult::Failed;
        }
    }
}

WriteResult CPosixSerialPort::Write(const unsigned char* bytes, std::size_t count, std::size_t& written,
                                    int& error) {
    written = 0;
    int fd = m_Fd.load();
    if (fd < 0) {
        error = EBADF;
        return WriteResult::Failed;
    }
    if (m_Interrupted.load())
        return WriteResult::Interrupted;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteTimeoutMs);
    while (written < count) {
        ssize_t n = ::write(fd, bytes + written, count - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            error = errno;
            return WriteResult::Failed;
        }
        int left = RemainingMs<int>(deadline);
        if (left == 0) {
            error = ETIMEDOUT;
            return WriteResult::Failed;
        }
        Wait w = WaitFor(fd, POLLOUT, left, error);
        if (w == Wait::Timeout) {
            error = ETIMEDOUT;
            return WriteResult::Failed;
        }
        if (w == Wait::Interrupted)
            return WriteResult::Interrupted;
        if (w == Wait::Failed)
            return WriteResult::Failed;
    }
    return WriteResult::Done;
}

bool CPosixSerialPort::SetBaud(int baud, int& error) {
    int fd = m_Fd.load();
    if (fd < 0) {
        error = EBADF;
        return false;
    }
    Drain(fd);
    if (!SetLineSpeed(fd, baud, error))
        return false;
    int actual = ReadLineSpeed(fd);
    m_Baud = actual > 0 ? actual : baud;
    if (actual > 0 && actual != baud) {
        error = EINVAL; // the driver took another rate
        return false;
    }
    return true;
}

int CPosixSerialPort::Baud() const {
    return m_Fd.load() >= 0 ? m_Baud.load() : 0;
}

void CPosixSerialPort::Interrupt() {
    m_Interrupted = true;
    if (m_WakeFd >= 0) {
        std::uint64_t one = 1;
        (void)!::write(m_WakeFd, &one, sizeof one);
    }
}

void CPosixSerialPort::ClearInterrupt() {
    if (m_WakeFd >= 0) {
        std::uint64_t value = 0;
        while (::read(m_WakeFd, &value, sizeof value) > 0) {
        }
    }
    m_Interrupted = false;
}

bool LineSettingsTaken(const struct termios& t) {
    const tcflag_t offC = PARENB | CSTOPB | CRTSCTS | HUPCL;
    const tcflag_t offI = IXON | IXOFF | IXANY | INPCK | ISTRIP | ICRNL | INLCR | IGNCR;
    const tcflag_t offL = ICANON | ECHO | ECHONL | ISIG | IEXTEN;
    return (t.c_cflag & CSIZE) == CS8 && (t.c_cflag & offC) == 0 &&
           (t.c_cflag & (CLOCAL | CREAD)) == (CLOCAL | CREAD) && (t.c_iflag & offI) == 0 &&
           (t.c_lflag & offL) == 0 && (t.c_oflag & OPOST) == 0 && t.c_cc[VMIN] == 0 && t.c_cc[VTIME] == 0;
}

bool IsPortLost(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

std::unique_ptr<ISerialPort> MakeSystemSerialPort() {
    return std::make_unique<CPosixSerialPort>();
}

std::string PortErrorText(int error) {
    char buffer[256];
    // GNU strerror_r returns the text (not always in buffer); thread-safe unlike strerror.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return text ? text : "Unknown error";
}

std::string PortOpenFailureText(const std::string& name, int error) {
    if (error == EBUSY)
        return "port in use: " + name;
    if (error == kLineSettingsRefused)
        return "the port does not keep the line settings (1200 baud, 8N1, raw): " + name;
    if (error == EACCES || error == EPERM) {
        // Name the group that gives access, not just "Permission denied".
        const std::string path = PortDevicePath(name);
        return PortOpenErrorText(error, PortErrorText(error), path, PortAccessGroup(path));
    }
    return PortErrorText(error);
}

} // namespace vq5
