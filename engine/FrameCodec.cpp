#include "FrameCodec.h"

namespace vq5 {

const char* FrameTypeName(int type) {
    static const char* const names[] = {"noframe", "eot",  "ack",   "nak",     "poll",
                                        "select",  "info", "error", "timeout", "crcerror"};
    if (type < 0 || type >= static_cast<int>(sizeof names / sizeof names[0]))
        return "ERROR";
    return names[type];
}

CheckBytes ComputeCheckBytes(unsigned char block, const unsigned char* payload, std::size_t length) {
    unsigned char a = block;
    unsigned char b = static_cast<unsigned char>(length);
    for (std::size_t i = 0; i < length; ++i) {
        unsigned char nextB = static_cast<unsigned char>(a ^ payload[i]);
        a = b;
        b = nextB;
    }
    return {b, a};
}

std::vector<unsigned char> ControlFrameBytes(FrameType type) {
    switch (type) {
    case FrameType::eot:
        return {NUL, EOT};
    case FrameType::ack:
        return {ADR, ACK};
    case FrameType::nak:
        return {ADR, NAK};
    case FrameType::poll:
        return {'P', ADR, ENQ};
    case FrameType::select:
        return {'S', ADR, ENQ};
    default:
        return {};
    }
}

std::vector<unsigned char> InfoFrameBytes(const unsigned char* payload, std::size_t length,
                                          unsigned char block) {
    if (length > 255)
        length = 255;
    std::vector<unsigned char> out;
    out.reserve(length + 8);
    out.insert(out.end(), {SOH, ADR, STX, block, static_cast<unsigned char>(length)});
    out.insert(out.end(), payload, payload + length);
    CheckBytes c = ComputeCheckBytes(block, payload, length);
    out.insert(out.end(), {ETX, c.c1, c.c2});
    return out;
}

std::vector<unsigned char> InfoFrameBytes(const std::string& payload, unsigned char block) {
    return InfoFrameBytes(reinterpret_cast<const unsigned char*>(payload.data()), payload.size(), block);
}

// Starts the next frame in the one DecodedFrame: the texts keep their storage, so a decoder
// that reads frame after frame allocates nothing once it has seen its longest frame.
void CFrameDecoder::Begin() {
    m_Frame.type = FrameType::noframe;
    m_Frame.block = 0;
    m_Frame.hasBody = false;
    m_Frame.junk = false;
    m_Frame.payload.clear();
    m_Frame.raw.clear();
}

const DecodedFrame& CFrameDecoder::Finish(FrameType type) {
    m_State = State::Start;
    m_Frame.type = type;
    return m_Frame;
}

bool CFrameDecoder::Feed(unsigned char byte) {
    if (m_State == State::Start)
        Begin();
    m_Frame.raw.push_back(byte);
    switch (m_State) {
    case State::Start:
        if (byte == NUL || byte == ADR || byte == SOH ||
            (m_Side == FrameSide::Pc && (byte == 'P' || byte == 'S'))) {
            m_Letter = byte;
            m_State = byte == NUL   ? State::AfterNul
                      : byte == ADR ? State::AfterAdr
                      : byte == SOH ? State::AfterSoh
                                    : State::AfterLetter;
            return false;
        }
        m_Frame.junk = true;
        Finish(FrameType::noframe);
        return true;
    case State::AfterNul:
        Finish(byte == EOT ? FrameType::eot : FrameType::noframe);
        return true;
    case State::AfterLetter:
        if (byte == ADR) {
            m_State = State::AfterLetterAdr;
            return false;
        }
        Finish(FrameType::noframe);
        return true;
    case State::AfterLetterAdr:
        Finish(byte != ENQ ? FrameType::noframe : m_Letter == 'P' ? FrameType::poll : FrameType::select);
        return true;
    case State::AfterAdr:
        if (byte == ADR)
            return false; // repeated address bytes are skipped
        Finish(byte == ACK ? FrameType::ack : byte == NAK ? FrameType::nak : FrameType::noframe);
        return true;
    case State::AfterSoh:
        if (byte == ADR) {
            m_State = State::AfterSohAdr;
            return false;
        }
        Finish(FrameType::noframe);
        return true;
    case State::AfterSohAdr:
        if (byte == STX) {
            m_Frame.hasBody = true;
            m_State = State::Block;
            return false;
        }
        Finish(FrameType::noframe);
        return true;
    case State::Block:
        m_Frame.block = byte;
        m_State = State::Length;
        return false;
    case State::Length:
        m_Length = byte;
        m_State = m_Length == 0 ? State::Etx : State::Payload;
        return false;
    case State::Payload:
        m_Frame.payload.push_back(static_cast<char>(byte));
        if (m_Frame.payload.size() == m_Length)
            m_State = State::Etx;
        return false;
    case State::Etx:
        m_EtxOk = byte == ETX;
        m_State = State::C1;
        return false;
    case State::C1: {
        m_Check =
            ComputeCheckBytes(m_Frame.block, reinterpret_cast<const unsigned char*>(m_Frame.payload.data()),
                              m_Frame.payload.size());
        m_C1Ok = byte == m_Check.c1;
        if (!m_C1Ok && m_Side == FrameSide::Pc) {
            Finish(FrameType::crcerror); // C2 stays unread: the next frame starts with it
            return true;
        }
        m_State = State::C2;
        return false;
    }
    case State::C2: {
        const bool good = m_C1Ok && byte == m_Check.c2 && (m_EtxOk || m_Side == FrameSide::Pc);
        Finish(good ? FrameType::info : FrameType::crcerror);
        return true;
    }
    }
    return false;
}

std::vector<DecodedFrame> CFrameDecoder::Feed(const std::vector<unsigned char>& bytes) {
    std::vector<DecodedFrame> frames;
    for (unsigned char b : bytes)
        if (Feed(b))
            frames.push_back(m_Frame);
    return frames;
}

const DecodedFrame& CFrameDecoder::Interrupt(bool failed) {
    if (m_State == State::Start) {
        Begin();
        return Finish(failed ? FrameType::error : FrameType::timeout);
    }
    if (m_Side == FrameSide::Device)
        return Finish(failed ? FrameType::error : FrameType::noframe);
    if (m_Frame.hasBody)
        return Finish(failed ? FrameType::error : FrameType::crcerror);
    return Finish(FrameType::noframe);
}

} // namespace vq5
