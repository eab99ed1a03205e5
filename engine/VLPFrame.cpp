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

// One frame through the decoder, byte by byte as GetByte delivers them. Inside an information
// frame a time-out ends it at once as "crcerror" (the state engine asks for the frame again),
// a failure as "error"; what was read stays in m_Data/m_Len with a NUL after it.
FrameType CVLPFrame::ReadFrame() {
    const DecodedFrame& f = m_Decoder.Read([this] { return GetByte(); });
    if (f.hasBody) {
        const std::size_t n = f.payload.size(); // at most 255
        f.payload.copy(reinterpret_cast<char*>(m_Data), n);
        m_Data[n] = 0;
        m_Len = static_cast<int>(n);
    }
    return f.type;
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
    // One write per byte: the line takes an information frame byte by byte.
    for (unsigned char byte : InfoFrameBytes(m_Data, static_cast<std::size_t>(m_Len)))
        PutByte(byte);
}

} // namespace vq5
