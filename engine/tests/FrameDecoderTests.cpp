// The incremental frame decoder, both ends of the link: every line is fed whole and split at
// every byte boundary, and must give the same frames either way.
#include "FrameCodec.h"
#include "PtyHelpers.h"

#include <gtest/gtest.h>

#include <ostream>

namespace vq5::test {
namespace {

enum class End { None, Timeout, Failure }; // what follows the line's last byte

struct DecodeRow {
    const char* name;
    FrameSide side;
    Bytes wire;
    End end;
    std::string frames; // each frame's kind, its payload in quotes where it has a body
};

std::ostream& operator<<(std::ostream& os, const DecodeRow& row) {
    return os << row.name;
}

std::string Describe(const std::vector<DecodedFrame>& frames) {
    std::string out;
    for (const DecodedFrame& f : frames) {
        if (!out.empty())
            out += ' ';
        out += FrameTypeName(f.type);
        if (f.hasBody)
            out += "\"" + f.payload + "\"";
    }
    return out;
}

std::vector<DecodedFrame> DecodeLine(CFrameDecoder& d, const Bytes& first, const Bytes& rest, End end) {
    std::vector<DecodedFrame> frames = d.Feed(first);
    for (DecodedFrame& f : d.Feed(rest))
        frames.push_back(std::move(f));
    if (end != End::None)
        frames.push_back(d.Interrupt(end == End::Failure));
    return frames;
}

Bytes Info(const std::string& text, unsigned char block = 0) {
    return InfoFrameBytes(text, block);
}

Bytes WithByte(Bytes frame, std::size_t fromEnd, unsigned char value) {
    frame[frame.size() - fromEnd] = value;
    return frame;
}

class FrameDecoderRows : public ::testing::TestWithParam<DecodeRow> {};

TEST_P(FrameDecoderRows, SameFramesAtEverySplit) {
    const DecodeRow& row = GetParam();
    for (std::size_t at = 0; at <= row.wire.size(); ++at) {
        CFrameDecoder d(row.side);
        const Bytes first(row.wire.begin(), row.wire.begin() + static_cast<std::ptrdiff_t>(at));
        const Bytes rest(row.wire.begin() + static_cast<std::ptrdiff_t>(at), row.wire.end());
        const std::vector<DecodedFrame> frames = DecodeLine(d, first, rest, row.end);
        EXPECT_EQ(Describe(frames), row.frames) << "split at byte " << at;
        // Every byte belongs to exactly one frame.
        Bytes raw;
        for (const DecodedFrame& f : frames)
            raw.insert(raw.end(), f.raw.begin(), f.raw.end());
        EXPECT_EQ(Hex(raw), Hex(row.wire)) << "split at byte " << at;
        EXPECT_TRUE(d.Idle());
    }
}

const std::string k255(255, 'x');

std::string Repeat(const std::string& part, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += part;
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, FrameDecoderRows,
    ::testing::Values(
        DecodeRow{"ControlFrames", FrameSide::Pc,
                  B({0x00, 0x04, 0xE1, 0x06, 0xE1, 0x15, 'P', 0xE1, 0x05, 'S', 0xE1, 0x05}), End::None,
                  "eot ack nak poll select"},
        DecodeRow{"RepeatedAddressBytes", FrameSide::Pc,
                  B({0xE1, 0xE1, 0xE1, 0x06, 0xE1, 0xE1, 0x15, 0xE1, 0x41}), End::None, "ack nak noframe"},
        DecodeRow{"StrayControlBytes", FrameSide::Pc,
                  B({0x41, 0x00, 0x41, 0xE1, 0x04, 'P', 0xE1, 0x06, 0x05}), End::None,
                  "noframe noframe noframe noframe noframe"},
        DecodeRow{"BrokenSequencesConsumeTheirLastByte", FrameSide::Pc,
                  B({'P', 0xE1, 0x06, 0x00, 0x05, 0x01, 0xE1, 0x03, 0x77, 'S', 0xE1, 0x05}), End::None,
                  "noframe noframe noframe noframe select"},
        DecodeRow{"InfoWorkedExample", FrameSide::Pc, Info("AB"), End::None, "info\"AB\""},
        DecodeRow{"EmptyInfo", FrameSide::Device, Info(""), End::None, "info\"\""},
        DecodeRow{"BlockByteEntersTheCheck", FrameSide::Pc, Info("&PIA", 0x37), End::None, "info\"&PIA\""},
        DecodeRow{"Payload255", FrameSide::Device, Info(k255), End::None, "info\"" + k255 + "\""},
        DecodeRow{"BadC1LeavesC2ToThePc", FrameSide::Pc, WithByte(Info("AB"), 2, 0x41), End::None,
                  "crcerror\"AB\" noframe"},
        DecodeRow{"BadC1DeviceReadsC2", FrameSide::Device, WithByte(Info("AB"), 2, 0x41), End::None,
                  "crcerror\"AB\""},
        DecodeRow{"BadC2", FrameSide::Pc, WithByte(Info("ABC"), 1, 0x40), End::Timeout,
                  "crcerror\"ABC\" timeout"},
        DecodeRow{"EtxPositionUncheckedByThePc", FrameSide::Pc, WithByte(Info("XY"), 3, 0x99), End::None,
                  "info\"XY\""},
        DecodeRow{"EtxPositionCheckedByTheDevice", FrameSide::Device, WithByte(Info("XY"), 3, 0x99),
                  End::None, "crcerror\"XY\""},
        DecodeRow{"PollIsNoFrameOfThePc", FrameSide::Device, B({'P', 0xE1, 0x05, 0x00, 0x04}), End::None,
                  "noframe noframe eot"},
        DecodeRow{"BrokenHeadConsumesTheByte", FrameSide::Pc, Cat(B({0x01, 0xE1, 0x41}), Info("A")),
                  End::None, "noframe info\"A\""},
        DecodeRow{"NothingTimesOut", FrameSide::Pc, Bytes{}, End::Timeout, "timeout"},
        DecodeRow{"NothingFails", FrameSide::Device, Bytes{}, End::Failure, "error"},
        DecodeRow{"TimeoutInsideAPoll", FrameSide::Pc, B({'P', 0xE1}), End::Timeout, "noframe"},
        DecodeRow{"TimeoutInsideABodyToThePc", FrameSide::Pc, B({0x01, 0xE1, 0x02, 0x00, 0x05, 0x41}),
                  End::Timeout, "crcerror\"A\""},
        DecodeRow{"FailureInsideABodyToThePc", FrameSide::Pc, B({0x01, 0xE1, 0x02, 0x00}), End::Failure,
                  "error\"\""},
        DecodeRow{"TimeoutInsideABodyToTheDevice", FrameSide::Device, B({0x01, 0xE1, 0x02, 0x00, 0x05, 0x41}),
                  End::Timeout, "noframe\"A\""},
        DecodeRow{"OverlongLengthWaitsForItsBytes", FrameSide::Pc,
                  Cat(B({0x01, 0xE1, 0x02, 0x00, 0xFF}), B(std::string(300, 'y'))), End::None,
                  "crcerror\"" + std::string(255, 'y') + "\"" + Repeat(" noframe", 43)}),
    [](const ::testing::TestParamInfo<DecodeRow>& info) { return std::string(info.param.name); });

// What the encoder writes, the decoder of the other end reads back, for every payload length.
TEST(FrameDecoder, EncodedFramesReadBackAtBothEnds) {
    for (std::size_t len = 0; len <= 255; ++len) {
        std::string text;
        for (std::size_t i = 0; i < len; ++i)
            text += static_cast<char>((i * 37 + len) & 0xFF);
        for (FrameSide side : {FrameSide::Pc, FrameSide::Device}) {
            CFrameDecoder d(side);
            const std::vector<DecodedFrame> frames = d.Feed(InfoFrameBytes(text));
            ASSERT_EQ(frames.size(), 1u) << len;
            EXPECT_EQ(frames[0].type, FrameType::info) << len;
            EXPECT_EQ(frames[0].payload, text) << len;
        }
    }
}

} // namespace
} // namespace vq5::test
