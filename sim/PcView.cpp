#include "PcView.h"

#include "FrameCodec.h"

namespace vq5::sim {

PcView ViewOfFrame(const std::vector<unsigned char>& wire, const std::string& payload) {
    // What follows on the line when the PC answers nothing: filler bytes (0xFF).
    std::vector<unsigned char> s = wire;
    s.insert(s.end(), 4, 0xFF);
    std::size_t i = 0;
    auto next = [&]() -> int { return i < s.size() ? s[i++] : -1; };
    while (i < s.size()) {
        const int b = next();
        switch (b) {
        case NUL:
            if (next() == EOT)
                return PcView::Misread;
            break;
        case 'P':
        case 'S':
            if (next() == ADR && next() == ENQ)
                return PcView::Misread;
            break;
        case ADR: {
            int c;
            do
                c = next();
            while (c == ADR);
            break; // ACK or NAK in a select: the PC waits on
        }
        case SOH: {
            if (next() != ADR || next() != STX)
                break;
            const int block = next();
            const int len = next();
            if (block < 0 || len < 0)
                return PcView::Rejected;
            std::string got;
            unsigned char a = static_cast<unsigned char>(block);
            unsigned char bb = static_cast<unsigned char>(len);
            for (int k = 0; k < len; ++k) {
                const int d = next();
                if (d < 0)
                    return PcView::Rejected; // the PC would wait for more: a time-out ends it
                got += static_cast<char>(d);
                const unsigned char nb = static_cast<unsigned char>(a ^ d);
                a = bb;
                bb = nb;
            }
            (void)next(); // the ETX position is not checked
            const int c1 = next();
            if (c1 < 0 || c1 != bb)
                return PcView::Rejected;
            const int c2 = next();
            if (c2 < 0 || c2 != a)
                return PcView::Rejected;
            return got == payload ? PcView::Good : PcView::Misread;
        }
        default:
            break; // no frame: the PC waits on
        }
    }
    return PcView::Rejected;
}

} // namespace vq5::sim
