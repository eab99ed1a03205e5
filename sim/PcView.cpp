#include "PcView.h"

#include "FrameCodec.h"

namespace vq5::sim {

PcView ViewOfFrame(const std::vector<unsigned char>& wire, const std::string& payload) {
    // What follows on the line when the PC answers nothing: filler bytes (0xFF).
    std::vector<unsigned char> s = wire;
    s.insert(s.end(), 4, 0xFF);
    CFrameDecoder decoder(FrameSide::Pc);
    for (unsigned char b : s) {
        if (!decoder.Feed(b))
            continue;
        const DecodedFrame& f = decoder.Frame();
        switch (f.type) {
        case FrameType::eot:
        case FrameType::poll:
        case FrameType::select:
            return PcView::Misread;
        case FrameType::info:
            return f.payload == payload ? PcView::Good : PcView::Misread;
        case FrameType::crcerror:
            return PcView::Rejected;
        default:
            break; // no frame, or ACK/NAK in a select: the PC waits on
        }
    }
    return PcView::Rejected; // the PC would wait for more: a time-out ends it
}

} // namespace vq5::sim
