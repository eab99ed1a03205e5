#include "PcEnd.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace vq5::simtest {

CPcEnd::CPcEnd(const std::string& path) {
    m_Fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_Fd >= 0) {
        struct termios t {};
        tcgetattr(m_Fd, &t);
        cfmakeraw(&t);
        tcsetattr(m_Fd, TCSANOW, &t);
    }
}

CPcEnd::CPcEnd(int fd, bool own) : m_Fd(fd), m_Own(own) {
    fcntl(m_Fd, F_SETFL, fcntl(m_Fd, F_GETFL) | O_NONBLOCK);
}

CPcEnd::~CPcEnd() {
    if (m_Fd >= 0 && m_Own)
        ::close(m_Fd);
}

void CPcEnd::Write(const Bytes& bytes) {
    std::size_t off = 0;
    while (off < bytes.size()) {
        ssize_t n = ::write(m_Fd, bytes.data() + off, bytes.size() - off);
        if (n > 0)
            off += static_cast<std::size_t>(n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        else {
            struct pollfd p {
                m_Fd, POLLOUT, 0
            };
            ::poll(&p, 1, 10);
        }
    }
}

int CPcEnd::ReadByte(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        unsigned char b;
        ssize_t n = ::read(m_Fd, &b, 1);
        if (n == 1)
            return b;
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return -2;
        struct pollfd p {
            m_Fd, POLLIN, 0
        };
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
}

Bytes CPcEnd::ReadFrame(std::chrono::milliseconds timeout) {
    Bytes f;
    auto next = [&](std::chrono::milliseconds t) {
        int b = ReadByte(t);
        if (b >= 0)
            f.push_back(static_cast<unsigned char>(b));
        return b;
    };
    int b = next(timeout);
    while (b == 0xFF) {
        // Filler bytes the device sends to end a frame the PC may be stuck in: no frame.
        ++m_Fillers;
        f.clear();
        b = next(timeout);
    }
    if (b < 0)
        return f;
    switch (b) {
    case 'P':
    case 'S':
        next(kLong);
        next(kLong);
        break;
    case NUL:
        next(kLong);
        break;
    case ADR: {
        int n;
        do
            n = next(kLong);
        while (n == ADR);
        break;
    }
    case SOH: {
        for (int i = 0; i < 4; ++i)
            next(kLong);
        const int len = f.size() == 5 ? f[4] : 0;
        for (int i = 0; i < len + 3; ++i)
            next(kLong);
        break;
    }
    default:
        break;
    }
    return f;
}

bool CPcEnd::WaitFor(const Bytes& frame, bool answerPolls, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until) {
        Bytes f = ReadFrame(
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()));
        if (f.empty())
            return false;
        if (f == frame)
            return true;
        if (answerPolls && f == B({'P', ADR, ENQ}))
            Write(B({NUL, EOT}));
    }
    return false;
}

bool CPcEnd::AnswerNextPoll(const Bytes& answer, std::chrono::milliseconds timeout) {
    if (!WaitFor(B({'P', ADR, ENQ}), false, timeout))
        return false;
    Write(answer);
    return true;
}

Bytes CPcEnd::TakeSelect(std::chrono::milliseconds timeout) {
    if (!WaitFor(B({'S', ADR, ENQ}), true, timeout))
        return {};
    Write(B({ADR, ACK}));
    return ReadFrame(kLong);
}

std::string InfoText(const Bytes& frame) {
    if (frame.size() < 8 || frame[0] != SOH || frame.size() != static_cast<std::size_t>(frame[4]) + 8)
        return "";
    return std::string(frame.begin() + 5, frame.begin() + 5 + frame[4]);
}

bool ChecksOk(const Bytes& frame) {
    if (frame.size() < 8 || frame.size() != static_cast<std::size_t>(frame[4]) + 8)
        return false;
    CheckBytes c = ComputeCheckBytes(frame[3], frame.data() + 5, frame[4]);
    return frame[frame.size() - 2] == c.c1 && frame[frame.size() - 1] == c.c2;
}

} // namespace vq5::simtest
