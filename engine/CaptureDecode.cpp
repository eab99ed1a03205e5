#include "CaptureDecode.h"

#include "SettingsStore.h"
#include "VLPFrame.h"

namespace vq5 {

namespace {

struct TimedByte {
    unsigned char value;
    std::int64_t timeUs;
};

// The frame layer reading a recorded run of bytes: the run's end reads as a time-out.
class CRunReader : public CVLPFrame {
public:
    CRunReader(CMemoryStore* store, const std::vector<TimedByte>& run) : CVLPFrame(store), m_Run(run) {}
    int GetByte() override { return m_Next < m_Run.size() ? m_Run[m_Next++].value : -2; }
    std::size_t Next() const { return m_Next; }
    bool AtEnd() const { return m_Next >= m_Run.size(); }

private:
    const std::vector<TimedByte>& m_Run;
    std::size_t m_Next = 0;
};

void DecodeRun(const std::vector<TimedByte>& run, LinkDirection direction, int baud,
               std::vector<CapturedFrame>& out) {
    if (run.empty())
        return;
    CMemoryStore store;
    CRunReader reader(&store, run);
    while (!reader.AtEnd()) {
        const std::size_t first = reader.Next();
        const FrameType type = reader.GetFrame();
        const std::size_t last = reader.Next();
        if (last == first)
            break; // every read of a frame takes a byte; never loop on a run that gives none
        CapturedFrame f;
        f.direction = direction;
        f.type = type == FrameType::timeout || type == FrameType::error ? FrameType::crcerror : type;
        f.baud = baud;
        f.timeUs = run[first].timeUs;
        f.endUs = run[last - 1].timeUs;
        for (std::size_t i = first; i < last; ++i)
            f.raw.push_back(run[i].value);
        if (type == FrameType::info || type == FrameType::crcerror)
            f.text.assign(reinterpret_cast<const char*>(reader.m_Data),
                          static_cast<std::size_t>(reader.m_Len));
        // Garbage bytes that follow each other are one entry.
        if (f.type == FrameType::noframe && !out.empty() && out.back().type == FrameType::noframe &&
            out.back().direction == direction && !out.back().speedChange) {
            out.back().raw.insert(out.back().raw.end(), f.raw.begin(), f.raw.end());
            out.back().endUs = f.endUs;
            continue;
        }
        out.push_back(std::move(f));
    }
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
