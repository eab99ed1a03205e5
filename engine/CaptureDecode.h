// Reads a link capture back as frames, each direction through the frame decoder the engine's
// frame layer reads with (FrameSide::Pc), so a capture is read exactly as the PC reads the line.
#pragma once

#include "FrameCodec.h"
#include "PcapCapture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vq5 {

struct CapturedFrame {
    std::int64_t timeUs = 0; // time of its first byte (for a speed change: of the change)
    std::int64_t endUs = 0;  // time of its last byte
    LinkDirection direction = LinkDirection::DeviceToPc;
    FrameType type = FrameType::noframe; // noframe: bytes that began no frame; crcerror: damaged or cut short
    bool speedChange = false;            // a line-speed change, `baud` the new speed
    int baud = 0;
    std::string text;               // info and crcerror: the payload as read
    std::vector<unsigned char> raw; // the bytes of the frame on the line
};

// The frames of a capture in the order of the line. A run of bytes in one direction ends
// where the other direction speaks, a speed changes, or nothing came for `quietUs` (the PC's
// read would have timed out): an information frame cut there reads as damaged.
std::vector<CapturedFrame> DecodeCapture(const std::vector<CaptureRecord>& records,
                                         std::int64_t quietUs = 2000000);

// "poll", "select", "ACK", "NAK", "EOT", "info", "damaged", "garbage", "speed".
const char* CapturedKind(const CapturedFrame& f);

// The command code of a message text: '&', device letter, class letter, item ("&QIA"), or the
// program-mode entry "$PRG"; empty for other texts.
std::string CommandCode(const std::string& text);

} // namespace vq5
