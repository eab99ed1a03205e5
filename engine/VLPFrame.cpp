#include "VLPFrame.h"

namespace vq5 {

CVLPFrame::CVLPFrame(ISettingsStore* store) : CVLPIO(store) {
    m_Len = 0;
}

FrameType CVLPFrame::GetFrame() {
#if VQ5_LINK_STATS
    const std::uint64_t before = m_Stats.BytesInTotal();
#endif
    FrameType result = ReadFrame();
    VQ5_LINK_STAT(m_Stats.FrameRead(result, m_Stats.BytesInTotal() - before));
    if (result == FrameType::info)
        Trace(1, "CVLPFrame::GetFrame() = $");
    else
        Trace(1, "CVLPFrame::GetFrame() = %s", FrameTypeName(result));
    return result;
}

FrameType CVLPFrame::ReadFrame() {
    int b = GetByte();
    if (b == -2)
        return FrameType::timeout;
    if (b < 0)
        return FrameType::error;
    switch (b) {
    case NUL:
        return GetByte() == EOT ? FrameType::eot : FrameType::noframe;
    case 'P':
    case 'S':
        if (GetByte() != ADR || GetByte() != ENQ)
            return FrameType::noframe;
        return b == 'P' ? FrameType::poll : FrameType::select;
    case ADR: {
        int c = GetByte();
        while (c == ADR) // repeated address bytes are skipped
            c = GetByte();
        return c == ACK ? FrameType::ack : c == NAK ? FrameType::nak : FrameType::noframe;
    }
    case SOH:
        if (GetByte() != ADR || GetByte() != STX)
            return FrameType::noframe;
        return ReadInfoBody();
    default:
        return FrameType::noframe;
    }
}

// After SOH ADR STX: block byte, length, payload, the ETX position and the two check bytes.
// A read that times out or fails inside the frame ends it at once: "crcerror" for a time-out
// (the state engine asks for the frame again), "error" for a failure. What was read stays in
// m_Data/m_Len with a NUL after it.
FrameType CVLPFrame::ReadInfoBody() {
    auto broken = [this](int r, int got) {
        m_Len = got;
        m_Data[got] = 0;
        return r == -2 ? FrameType::crcerror : FrameType::error;
    };
    int block = GetByte();
    if (block < 0)
        return broken(block, 0);
    int length = GetByte();
    if (length < 0)
        return broken(length, 0);
    unsigned char a = static_cast<unsigned char>(block);
    unsigned char b = static_cast<unsigned char>(length);
    for (int i = 0; i < length; ++i) {
        int d = GetByte();
        if (d < 0)
            return broken(d, i);
        m_Data[i] = static_cast<unsigned char>(d);
        unsigned char nextB = static_cast<unsigned char>(a ^ d);
        a = b;
        b = nextB;
    }
    m_Len = length;
    m_Data[length] = 0;
    int etx = GetByte(); // read, not checked
    if (etx < 0)
        return broken(etx, length);
    int c1 = GetByte();
    if (c1 < 0)
        return broken(c1, length);
    if (c1 != b)
        return FrameType::crcerror; // C2 stays unread: the next GetFrame starts with it
    int c2 = GetByte();
    if (c2 < 0)
        return broken(c2, length);
    return c2 == a ? FrameType::info : FrameType::crcerror;
}

void CVLPFrame::PutFrame(FrameType type) {
    Trace(1, "CVLPFrame::PutFrame(%s)", FrameTypeName(type));
    VQ5_LINK_STAT(m_Stats.FrameWritten(type));
    if (type == FrameType::info) {
        PutInfoFrame();
        return;
    }
    std::vector<unsigned char> bytes = ControlFrameBytes(type);
    if (!bytes.empty())
        PutString(bytes.data(), bytes.size());
}

void CVLPFrame::PutInfoFrame() {
    // The caller keeps m_Len within 0..255; a wrong value is held to that range here.
    if (m_Len < 0)
        m_Len = 0;
    if (m_Len > 255)
        m_Len = 255;
    Trace(1, "CVLPFrame::PutInfoFrame($)");
    const unsigned char head[] = {SOH, ADR, STX, 0x00, static_cast<unsigned char>(m_Len)};
    for (unsigned char h : head)
        PutByte(h);
    unsigned char a = 0x00;
    unsigned char b = static_cast<unsigned char>(m_Len);
    for (int i = 0; i < m_Len; ++i) {
        unsigned char d = m_Data[i];
        PutByte(d);
        unsigned char nextB = static_cast<unsigned char>(a ^ d);
        a = b;
        b = nextB;
    }
    PutByte(ETX);
    PutByte(b);
    PutByte(a);
}

} // namespace vq5
