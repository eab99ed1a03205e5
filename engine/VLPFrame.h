// CVLPFrame: the frame layer. Turns the byte stream into link frames and back; holds the
// engine's one frame buffer.
#pragma once

#include "FrameCodec.h"
#include "VLPIO.h"

namespace vq5 {

class CVLPFrame : public CVLPIO {
public:
    explicit CVLPFrame(ISettingsStore* store = nullptr);

    // Reads one frame's worth of bytes and classifies it. For info (and crcerror) the
    // payload is in m_Data, its length in m_Len, with a NUL after it.
    FrameType GetFrame();
    // Writes a frame of that type; info writes m_Data/m_Len through PutInfoFrame.
    void PutFrame(FrameType type);
    void PutInfoFrame();

    unsigned char m_Data[257] = {}; // payload; 256 + 1 so a NUL always fits after 255 bytes
    int m_Len = 0;                  // 0..255

private:
    FrameType ReadFrame();

    // Kept from frame to frame so that its texts keep their storage; every read ends a frame
    // (complete, timed out or failed), so it is between frames whenever ReadFrame returns.
    CFrameDecoder m_Decoder{FrameSide::Pc};
};

} // namespace vq5
