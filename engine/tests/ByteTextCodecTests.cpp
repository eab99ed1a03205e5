// ByteText rendering and the information frame's check bytes.
#include "FrameCodec.h"
#include "PtyHelpers.h"
#include "VLPIO.h"

#include <gtest/gtest.h>

namespace vq5::test {
namespace {

std::string BT(const Bytes& b) {
    return ByteText(b.size(), b.data());
}

TEST(ByteText, ControlBytesByName) {
    EXPECT_EQ(BT(B({0x50, 0xE1, 0x05})), "\"P\\ADR\\ENQ\"");
    EXPECT_EQ(BT(B({0x50, 0xE1, 0x05})).size(), 11u);
    EXPECT_EQ(BT(B({0x01, 0xE1, 0x02, 0x00})), "\"\\SOH\\ADR\\STX\\NUL\"");
    EXPECT_EQ(BT(B({0x03, 0x04, 0x06, 0x15})), "\"\\ETX\\EOT\\ACK\\NAK\"");
}

TEST(ByteText, NonPrintableAsHex) {
    EXPECT_EQ(BT(B({0x7F})), "\"\\0x7f\"");
    EXPECT_EQ(BT(B({0x80})), "\"\\0x80\"");
    EXPECT_EQ(BT(B({0x1F, 0xFF, 0x07})), "\"\\0x1f\\0xff\\0x07\"");
}

TEST(ByteText, PrintableAsItself) {
    EXPECT_EQ(BT(B(std::string(" ~$PRG&PIA"))), "\" ~$PRG&PIA\"");
}

TEST(ByteText, EmptyIsTwoQuotes) {
    EXPECT_EQ(ByteText(0, nullptr), "\"\"");
    EXPECT_EQ(BT({}), "\"\"");
}

TEST(ByteText, LongInputIsCutAndStaysWithin1024) {
    Bytes many(1000, 0x80); // 5 characters each
    std::string t = BT(many);
    EXPECT_LE(t.size(), 1023u);
    EXPECT_EQ(t.front(), '"');
    EXPECT_EQ(t.back(), '"');
    // Bytes are taken while the text is at most 974 long: 1 + 5*195 = 976 > 974 stops it.
    EXPECT_EQ(t.size(), 1u + 5u * 195u + 1u);

    Bytes letters(2000, 'A');
    std::string u = BT(letters);
    EXPECT_EQ(u.size(), 1u + 974u + 1u); // 974 letters: the text reaches 975 > 974 and stops
}

TEST(ByteText, WorstCaseFits) {
    Bytes all(300, 0xE1);
    EXPECT_LE(BT(all).size(), 1023u);
    Bytes mixed;
    for (int i = 0; i < 1000; ++i)
        mixed.push_back(static_cast<unsigned char>(i));
    EXPECT_LE(BT(mixed).size(), 1023u);
}

TEST(FrameCodec, WorkedExamples) {
    EXPECT_EQ(Hex(InfoFrameBytes(std::string())), "01 E1 02 00 00 03 00 00");
    EXPECT_EQ(Hex(InfoFrameBytes(std::string("AB"))), "01 E1 02 00 02 41 42 03 40 41");
    EXPECT_EQ(Hex(InfoFrameBytes(std::string("ABC"))), "01 E1 02 00 03 41 42 43 03 02 41");
    EXPECT_EQ(Hex(InfoFrameBytes(std::string("$PRG"))), "01 E1 02 00 04 24 50 52 47 03 13 76");
}

TEST(FrameCodec, CheckBytesLanes) {
    // Empty: C1 = L = 0, C2 = block byte.
    CheckBytes c = ComputeCheckBytes(0x5A, nullptr, 0);
    EXPECT_EQ(c.c1, 0x00);
    EXPECT_EQ(c.c2, 0x5A);
    // One byte d: C1 = block ^ d (even lane), C2 = L.
    unsigned char d = 0x41;
    c = ComputeCheckBytes(0x10, &d, 1);
    EXPECT_EQ(c.c1, 0x51);
    EXPECT_EQ(c.c2, 0x01);
}

TEST(FrameCodec, ControlFrames) {
    EXPECT_EQ(Hex(ControlFrameBytes(FrameType::eot)), "00 04");
    EXPECT_EQ(Hex(ControlFrameBytes(FrameType::ack)), "E1 06");
    EXPECT_EQ(Hex(ControlFrameBytes(FrameType::nak)), "E1 15");
    EXPECT_EQ(Hex(ControlFrameBytes(FrameType::poll)), "50 E1 05");
    EXPECT_EQ(Hex(ControlFrameBytes(FrameType::select)), "53 E1 05");
    for (FrameType t :
         {FrameType::noframe, FrameType::info, FrameType::error, FrameType::timeout, FrameType::crcerror})
        EXPECT_TRUE(ControlFrameBytes(t).empty());
}

TEST(FrameCodec, TypeNames) {
    const char* names[] = {"noframe", "eot",  "ack",   "nak",     "poll",
                           "select",  "info", "error", "timeout", "crcerror"};
    for (int i = 0; i < 10; ++i)
        EXPECT_STREQ(FrameTypeName(i), names[i]);
    EXPECT_STREQ(FrameTypeName(10), "ERROR");
    EXPECT_STREQ(FrameTypeName(-1), "ERROR");
}

TEST(FrameCodec, LongPayloadIsCutTo255) {
    std::string text(300, 'x');
    Bytes f = InfoFrameBytes(text);
    ASSERT_EQ(f.size(), 255u + 8u);
    EXPECT_EQ(f[4], 255);
}

} // namespace
} // namespace vq5::test
