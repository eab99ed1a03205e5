#include "CaptureDecode.h"

namespace vq5 {

namespace {

struct TimedByte {
    unsigned char value;
    std::int64_t timeUs;
};

// A run through the PC's frame decoder; the run's end reads as a time-out.
void DecodeRun(const std::vector<TimedByte>& run, LinkDirection direction, int baud,
               std::vector<CapturedFrame>& out) {
    CFrameDecoder decoder(FrameSide::Pc);
    std::size_t first = 0; // the current frame's first byte
    auto take = [&](const DecodedFrame& d, std::size_t last) {
        CapturedFrame f;
        f.direction = direction;
        f.type = d.type == FrameType::timeout || d.type == FrameType::error ? FrameType::crcerror : d.type;
        f.baud = baud;
        f.timeUs = run[first].timeUs;
        f.endUs = run[last].timeUs;
        f.raw = d.raw;
        if (d.type == FrameType::info || d.type == FrameType::crcerror)
            f.text = d.payload;
        // Garbage bytes that follow each other are one entry.
        if (f.type == FrameType::noframe && !out.empty() && out.back().type == FrameType::noframe &&
            out.back().direction == direction && !out.back().speedChange) {
            out.back().raw.insert(out.back().raw.end(), f.raw.begin(), f.raw.end());
            out.back().endUs = f.endUs;
            return;
        }
        out.push_back(std::move(f));
    };
    for (std::size_t i = 0; i < run.size(); ++i) {
        if (decoder.Idle())
            first = i;
        if (decoder.Feed(run[i].value))
            take(decoder.Frame(), i);
    }
    if (!decoder.Idle())
        take(decoder.Interrupt(false), run.size() - 1);
}

} // namespace

std::vector<CapturedFrame> DecodeCapture(const std::vector<CaptureRecord>& records, std::int64_t quietUs) {
    std::vector<CapturedFrame> out;
    std::vector<TimedByte> run;
    LinkDirection direction = LinkDirection::DeviceToPc;
    int baud = 0;
    auto flush = [&] {
        DecodeRun(run, direction, baud, out);
        run.clear();
    };
    for (const auto& r : records) {
        if (r.SpeedChange()) {
            flush();
            CapturedFrame f;
            f.speedChange = true;
            f.baud = baud = r.baud;
            f.timeUs = f.endUs = r.timeUs;
            out.push_back(f);
            continue;
        }
        if (r.bytes.empty())
            continue;
        if (!run.empty() && (r.direction != direction || r.timeUs - run.back().timeUs > quietUs))
            flush();
        direction = r.direction;
        if (r.baud)
            baud = r.baud;
        for (unsigned char b : r.bytes)
            run.push_back({b, r.timeUs});
    }
    flush();
    return out;
}

const char* CapturedKind(const CapturedFrame& f) {
    if (f.speedChange)
        return "speed";
    switch (f.type) {
    case FrameType::poll:
        return "poll";
    case FrameType::select:
        return "select";
    case FrameType::ack:
        return "ACK";
    case FrameType::nak:
        return "NAK";
    case FrameType::eot:
        return "EOT";
    case FrameType::info:
        return "info";
    case FrameType::crcerror:
        return "damaged";
    default:
        return "garbage";
    }
}

std::string CommandCode(const std::string& text) {
    if (text.rfind("$PRG", 0) == 0)
        return "$PRG";
    if (text.size() >= 3 && text[0] == '&')
        return text.substr(0, text.size() >= 4 ? 4 : 3);
    return {};
}

} // namespace vq5
