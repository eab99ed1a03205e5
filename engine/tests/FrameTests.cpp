// The frame layer on a real pseudo-terminal: what it adds to the frame decoder (whose rows are
// in FrameDecoderTests.cpp) when reading (the payload in m_Data with a NUL after it, m_Len of
// a cut-off body, time-outs from the line, a wrong C1's C2 left for the next frame), and
// writing frames byte for byte.
#include "PtyHelpers.h"
#include "VLPFrame.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vq5::test {
namespace {

struct FrameFixture : ::testing::Test, CPtyLine {
    FrameFixture() : CPtyLine(200) {}
    std::unique_ptr<CVLPFrame> frame;
    void SetUp() override {
        frame = std::make_unique<CVLPFrame>(&store);
        frame->SetUserMessages(&messages);
        ASSERT_TRUE(frame->Open());
    }
    FrameType Decode(const Bytes& wire) {
        pty.Write(wire);
        return frame->GetFrame();
    }
    std::string Payload() const {
        return std::string(reinterpret_cast<const char*>(frame->m_Data), frame->m_Len);
    }
};

TEST_F(FrameFixture, TimeoutAndTruncatedShortFrames) {
    EXPECT_EQ(frame->GetFrame(), FrameType::timeout);
    EXPECT_EQ(Decode(B({0x50})), FrameType::noframe); // 'P' then a time-out
    EXPECT_EQ(Decode(B({0x50, 0xE1})), FrameType::noframe);
    EXPECT_EQ(Decode(B({0x00})), FrameType::noframe);
}

TEST_F(FrameFixture, InfoFramesWorkedExamples) {
    EXPECT_EQ(Decode(B({0x01, 0xE1, 0x02, 0x00, 0x00, 0x03, 0x00, 0x00})), FrameType::info);
    EXPECT_EQ(frame->m_Len, 0);
    EXPECT_EQ(frame->m_Data[0], 0);
    EXPECT_EQ(Decode(B({0x01, 0xE1, 0x02, 0x00, 0x02, 0x41, 0x42, 0x03, 0x40, 0x41})), FrameType::info);
    EXPECT_EQ(Payload(), "AB");
    EXPECT_EQ(frame->m_Data[2], 0);
    EXPECT_EQ(Decode(B({0x01, 0xE1, 0x02, 0x00, 0x03, 0x41, 0x42, 0x43, 0x03, 0x02, 0x41})), FrameType::info);
    EXPECT_EQ(Payload(), "ABC");
}

TEST_F(FrameFixture, WrongC1LeavesC2Unread) {
    Bytes f = InfoFrameBytes(std::string("AB")); // ... 03 40 41
    f[8] = 0x99;                                 // C1 wrong
    f[9] = 0x04;                                 // C2 position: becomes the next frame's first byte
    pty.Write(f);
    EXPECT_EQ(frame->GetFrame(), FrameType::crcerror);
    EXPECT_EQ(Payload(), "AB");
    // The unread byte 0x04 starts the next frame; 0x04 alone is no frame.
    EXPECT_EQ(frame->GetFrame(), FrameType::noframe);
    // And with 00 04 queued behind a wrong C1 whose C2 is NUL, the EOT is seen.
    Bytes g = InfoFrameBytes(std::string("AB"));
    g[8] = 0x99;
    g[9] = 0x00;
    pty.Write(Cat(g, B({0x04})));
    EXPECT_EQ(frame->GetFrame(), FrameType::crcerror);
    EXPECT_EQ(frame->GetFrame(), FrameType::eot);
}

TEST_F(FrameFixture, Payload255) {
    std::string text;
    for (int i = 0; i < 255; ++i)
        text += static_cast<char>(0x20 + i % 90);
    EXPECT_EQ(Decode(InfoFrameBytes(text)), FrameType::info);
    EXPECT_EQ(frame->m_Len, 255);
    EXPECT_EQ(Payload(), text);
    EXPECT_EQ(frame->m_Data[255], 0);
}

TEST_F(FrameFixture, TruncatedInfoFrameEndsAtTheTimeout) {
    // Header and 3 of 10 payload bytes, then nothing.
    EXPECT_EQ(Decode(B({0x01, 0xE1, 0x02, 0x00, 0x0A, 'a', 'b', 'c'})), FrameType::crcerror);
    EXPECT_EQ(frame->m_Len, 3);
    EXPECT_EQ(frame->m_Data[3], 0);
    EXPECT_EQ(Decode(B({0x01, 0xE1, 0x02})), FrameType::crcerror);
    EXPECT_EQ(frame->m_Len, 0);
    EXPECT_EQ(Decode(B({0x01, 0xE1, 0x02, 0x00, 0x02, 'a', 'b', 0x03, 0x40})), FrameType::crcerror);
    EXPECT_EQ(frame->GetFrame(), FrameType::timeout);
}

TEST_F(FrameFixture, GarbageNeverOverruns) {
    // Pseudo-random bytes with many SOH/ADR/STX and long lengths; then a clean poll.
    Bytes junk;
    unsigned x = 12345;
    for (int i = 0; i < 3000; ++i) {
        x = x * 1103515245u + 12345u;
        unsigned char b = static_cast<unsigned char>(x >> 16);
        if (i % 7 == 0)
            b = 0x01;
        if (i % 7 == 1)
            b = 0xE1;
        if (i % 7 == 2)
            b = 0x02;
        junk.push_back(b);
    }
    pty.Write(junk);
    int frames = 0;
    for (;;) {
        FrameType t = frame->GetFrame();
        ASSERT_GE(frame->m_Len, 0);
        ASSERT_LE(frame->m_Len, 255);
        if (t == FrameType::timeout)
            break;
        ASSERT_LT(++frames, 4000);
    }
    EXPECT_EQ(Decode(B({0x50, 0xE1, 0x05})), FrameType::poll);
}

TEST_F(FrameFixture, PutControlFrames) {
    frame->PutFrame(FrameType::eot);
    frame->PutFrame(FrameType::ack);
    frame->PutFrame(FrameType::nak);
    frame->PutFrame(FrameType::poll);
    frame->PutFrame(FrameType::select);
    EXPECT_EQ(Hex(pty.Read(12)), "00 04 E1 06 E1 15 50 E1 05 53 E1 05");
}

TEST_F(FrameFixture, PutNothingForNonFrames) {
    for (FrameType t : {FrameType::noframe, FrameType::error, FrameType::timeout, FrameType::crcerror})
        frame->PutFrame(t);
    frame->PutFrame(FrameType::eot);
    EXPECT_EQ(Hex(pty.Read(2)), "00 04"); // the EOT is the first thing on the line
    EXPECT_TRUE(pty.ReadQuiet(50ms).empty());
}

TEST_F(FrameFixture, PutInfoFrameWorkedExamples) {
    frame->m_Len = 0;
    frame->PutFrame(FrameType::info);
    EXPECT_EQ(Hex(pty.Read(8)), "01 E1 02 00 00 03 00 00");
    std::memcpy(frame->m_Data, "AB", 2);
    frame->m_Len = 2;
    frame->PutInfoFrame();
    EXPECT_EQ(Hex(pty.Read(10)), "01 E1 02 00 02 41 42 03 40 41");
    std::memcpy(frame->m_Data, "ABC", 3);
    frame->m_Len = 3;
    frame->PutFrame(FrameType::info);
    EXPECT_EQ(Hex(pty.Read(11)), "01 E1 02 00 03 41 42 43 03 02 41");
    EXPECT_EQ(frame->m_CountOut.load(), 8 + 10 + 11);
}

TEST_F(FrameFixture, PutInfoFrame255RoundTrips) {
    for (int i = 0; i < 255; ++i)
        frame->m_Data[i] = static_cast<unsigned char>(i);
    frame->m_Len = 255;
    frame->PutInfoFrame();
    Bytes wire = pty.Read(263);
    ASSERT_EQ(wire.size(), 263u);
    EXPECT_EQ(wire, InfoFrameBytes(frame->m_Data, 255));
}

TEST_F(FrameFixture, DollarSignsInPayload) {
    EXPECT_EQ(Decode(InfoFrameBytes(std::string("$$$"))), FrameType::info);
    EXPECT_EQ(Payload(), "$$$");
}

} // namespace
} // namespace vq5::test
