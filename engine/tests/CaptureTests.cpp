// Link captures: the record's pseudo-header both ways, a file written and read back, and the
// frames read out of recorded bytes by the frame layer (split over records, cut short,
// garbage, silences), with the command code of a message.
#include "CaptureDecode.h"
#include "PcapCapture.h"
#include "PtyHelpers.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <utility>
#include <unistd.h>

namespace vq5::test {
namespace {

CaptureRecord Rec(std::int64_t us, LinkDirection d, Bytes bytes, int baud = 1200) {
    CaptureRecord r;
    r.timeUs = us;
    r.direction = d;
    r.baud = baud;
    r.bytes = std::move(bytes);
    return r;
}
constexpr auto In = LinkDirection::DeviceToPc;
constexpr auto Out = LinkDirection::PcToDevice;

TEST(CaptureRecord, PseudoHeaderBothWays) {
    CaptureRecord r = Rec(5, Out, B({0x00, 0x04}), 19200);
    r.flags = 0x0000;
    const Bytes wire = EncodeCaptureRecord(r);
    EXPECT_EQ(Hex(wire), "01 01 00 00 00 00 4B 00 00 04");
    CaptureRecord back;
    ASSERT_TRUE(DecodeCaptureRecord(wire.data(), wire.size(), back));
    EXPECT_EQ(back.direction, Out);
    EXPECT_EQ(back.baud, 19200);
    EXPECT_EQ(Hex(back.bytes), "00 04");
    EXPECT_FALSE(back.SpeedChange());

    CaptureRecord speed;
    speed.flags = kCaptureSpeedChange;
    speed.baud = 9600;
    EXPECT_EQ(Hex(EncodeCaptureRecord(speed)), "01 00 00 01 00 00 25 80");
}

TEST(CaptureRecord, RejectsWhatIsNoLinkRecord) {
    const Bytes shortOne = B({0x01, 0x00, 0x00});
    const Bytes otherVersion = B({0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0xB0});
    const Bytes otherDirection = B({0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x04, 0xB0});
    CaptureRecord r;
    EXPECT_FALSE(DecodeCaptureRecord(shortOne.data(), shortOne.size(), r));
    EXPECT_FALSE(DecodeCaptureRecord(otherVersion.data(), otherVersion.size(), r));
    EXPECT_FALSE(DecodeCaptureRecord(otherDirection.data(), otherDirection.size(), r));
}

TEST(CaptureFile, WrittenAndReadBack) {
    char path[] = "/tmp/vq5-capture-test-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    std::vector<CaptureRecord> records = {Rec(1700000000123456, In, B({'P'})),
                                          Rec(1700000000123999, Out, B({0, 4}))};
    CaptureRecord speed;
    speed.timeUs = 1700000001000001;
    speed.flags = kCaptureSpeedChange;
    speed.baud = 9600;
    records.push_back(speed);
    std::string error;
    ASSERT_TRUE(WriteCaptureFile(path, records, error)) << error;
    std::vector<CaptureRecord> back;
    ASSERT_TRUE(ReadCaptureFile(path, back, error)) << error;
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0].timeUs, 1700000000123456); // microseconds kept
    EXPECT_EQ(back[1].direction, Out);
    EXPECT_EQ(Hex(back[1].bytes), "00 04");
    EXPECT_TRUE(back[2].SpeedChange());
    EXPECT_EQ(back[2].baud, 9600);
    // Text is no capture.
    std::FILE* f = std::fopen(path, "w");
    std::fputs("hello\n", f);
    std::fclose(f);
    EXPECT_FALSE(ReadCaptureFile(path, back, error));
    EXPECT_FALSE(error.empty());
    ::unlink(path);
    EXPECT_FALSE(ReadCaptureFile("/nonexistent/x.pcap", back, error));
}

TEST(CaptureDecode, FramesAsThePcReadsThem) {
    const Bytes info = InfoFrameBytes(std::string("&QIA1"));
    Bytes damaged = InfoFrameBytes(std::string("&QIB"));
    damaged.back() ^= 0x01;
    std::vector<CaptureRecord> records = {
        Rec(0, In, B({'P'})),
        Rec(10, In, B({ADR})),
        Rec(20, In, B({ENQ})),             // a poll, one byte a record
        Rec(100, Out, B({0x00, 0x04})),    // EOT
        Rec(1000, In, B({'S', ADR, ENQ})), // a select
        Rec(1100, Out, B({ADR, ACK})),
        Rec(2000, In, Bytes(info.begin(), info.begin() + 6)), // the frame in two records
        Rec(2100, In, Bytes(info.begin() + 6, info.end())),
        Rec(2200, Out, B({ADR, ACK})),
        Rec(3000, In, B({0x78, 0x79})), // garbage
        Rec(3100, In, damaged),         // wrong C2
        Rec(3200, Out, B({ADR, NAK})),
        Rec(4000, In, Bytes(info.begin(), info.begin() + 7)), // cut short by the PC
        Rec(4100, Out, B({ADR, NAK})),
        Rec(5000, In, B({'P', ADR})),      // a silence splits a poll:
        Rec(5000 + 3000000, In, B({ENQ})), // garbage, one entry
    };
    const auto frames = DecodeCapture(records);
    std::vector<std::string> kinds;
    for (const auto& f : frames)
        kinds.push_back(CapturedKind(f));
    EXPECT_EQ(kinds, (std::vector<std::string>{"poll", "EOT", "select", "ACK", "info", "ACK", "garbage",
                                               "damaged", "NAK", "damaged", "NAK", "garbage"}));
    EXPECT_EQ(frames[0].timeUs, 0);
    EXPECT_EQ(frames[0].endUs, 20);
    EXPECT_EQ(frames[4].text, "&QIA1");
    EXPECT_EQ(Hex(frames[4].raw), Hex(info));
    EXPECT_EQ(frames[6].raw.size(), 2u);
    EXPECT_EQ(frames[7].text, "&QIB");
    EXPECT_EQ(frames[9].raw.size(), 7u);
    EXPECT_EQ(frames[1].direction, Out);
    EXPECT_EQ(Hex(frames[11].raw), "50 E1 05");
}

TEST(CaptureDecode, CommandCodes) {
    // A message text and its command code ("" where the text starts with none).
    const std::pair<const char*, const char*> rows[] = {
        {"$PRG", "$PRG"}, {"&QIAFactory default", "&QIA"}, {"&QX", "&QX"}, {"&Q", ""}, {"hello", ""}};
    for (const auto& [text, code] : rows)
        EXPECT_EQ(CommandCode(text), code) << text;
}

} // namespace
} // namespace vq5::test
