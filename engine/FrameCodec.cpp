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

} // namespace vq5
