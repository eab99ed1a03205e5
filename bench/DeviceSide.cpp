#include "DeviceSide.h"

#include "BenchFigures.h"
#include "RawPty.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace vq5::bench {

// ---- pseudo-terminal ------------------------------------------------------------------

CPty::~CPty() {
    Close();
}

bool CPty::Open(std::string& error) {
    Close();
    return test::OpenRawPty(m_Master, m_Slave, m_SlavePath, error);
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
    CFrameDecoder decoder(FrameSide::Device);
    if (decoder.Feed(static_cast<unsigned char>(b))) {
        f.type = decoder.Frame().type;
        return f;
    }
    const DecodedFrame& d = decoder.Read([&] { return NextByte(timeoutMs, nullptr); });
    f.type = d.type == FrameType::error ? FrameType::noframe : d.type;
    if (d.type == FrameType::info || d.type == FrameType::crcerror)
        f.text = d.payload;
    return f;
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

bool CMiniMaster::Step(Exchange& x, const std::vector<unsigned char>& bytes, const char* what, int timeoutMs,
                       std::initializer_list<FrameType> expected, Frame& answer, std::int64_t& ns) {
    const std::int64_t sentAt = Write(bytes);
    if (sentAt == 0) {
        x.failure = std::string(what) + " not written";
        return false;
    }
    answer = ReadFrame(timeoutMs);
    if (std::find(expected.begin(), expected.end(), answer.type) == expected.end()) {
        x.failure = std::string(what) + " answered with " + FrameTypeName(answer.type);
        return false;
    }
    ns = answer.firstByteNs - sentAt;
    return true;
}

CMiniMaster::Exchange CMiniMaster::Poll(int timeoutMs) {
    Exchange x;
    Frame f;
    if (!Step(x, ControlFrameBytes(FrameType::poll), "poll", timeoutMs, {FrameType::eot, FrameType::info}, f,
              x.answerNs))
        return x;
    if (f.type == FrameType::eot) {
        x.ok = true;
        return x;
    }
    x.text = f.text;
    x.ok = Step(x, ControlFrameBytes(FrameType::ack), "ACK", timeoutMs, {FrameType::eot}, f, x.eotNs);
    return x;
}

CMiniMaster::Exchange CMiniMaster::Select(const std::string& text, int timeoutMs) {
    Exchange x;
    Frame f;
    if (!Step(x, ControlFrameBytes(FrameType::select), "select", timeoutMs, {FrameType::ack}, f, x.answerNs))
        return x;
    x.ok = Step(x, InfoFrameBytes(text), "frame", timeoutMs, {FrameType::ack}, f, x.frameAckNs);
    return x;
}

} // namespace vq5::bench
