// How the PC reads a (damaged) frame of the device: good, rejected, or misread.
#include "PcView.h"

#include "FrameCodec.h"

#include <gtest/gtest.h>

using namespace vq5;
using namespace vq5::sim;

TEST(PcView, AGoodFrameIsGood) {
    EXPECT_EQ(ViewOfFrame(InfoFrameBytes("&QIAhello"), "&QIAhello"), PcView::Good);
    EXPECT_EQ(ViewOfFrame(InfoFrameBytes("&QX", 0x5A), "&QX"), PcView::Good); // any block byte
}

TEST(PcView, OneDamagedByteIsRejected) {
    for (std::size_t at = 0; at < InfoFrameBytes("&QIAhello").size(); ++at) {
        auto f = InfoFrameBytes("&QIAhello");
        if (at == f.size() - 3)
            continue; // the ETX position is not checked
        f[at] ^= 0x10;
        EXPECT_NE(ViewOfFrame(f, "&QIAhello"), PcView::Misread) << at;
    }
    auto f = InfoFrameBytes("&QIAhello");
    f[f.size() - 3] = 'x';
    EXPECT_EQ(ViewOfFrame(f, "&QIAhello"), PcView::Good);
}

TEST(PcView, TwoFlipsThatCancelInOneLaneAreAMisread) {
    auto f = InfoFrameBytes("&QIAhello");
    f[5] ^= 0x01; // payload bytes 0 and 2 share a lane
    f[7] ^= 0x01;
    EXPECT_EQ(ViewOfFrame(f, "&QIAhello"), PcView::Misread);
    auto g = InfoFrameBytes("&QIAhello");
    g[5] ^= 0x01; // bytes 0 and 1 are in different lanes
    g[6] ^= 0x01;
    EXPECT_EQ(ViewOfFrame(g, "&QIAhello"), PcView::Rejected);
}

TEST(PcView, AFourCharacterFrameWithoutItsStartReadsAsEot) {
    auto f = InfoFrameBytes("&QIH");
    f.erase(f.begin()); // SOH dropped: E1 02 is nothing, then 00 04 is an EOT
    EXPECT_EQ(ViewOfFrame(f, "&QIH"), PcView::Misread);
    auto g = InfoFrameBytes("&QIHx");
    g.erase(g.begin());
    EXPECT_EQ(ViewOfFrame(g, "&QIHx"), PcView::Rejected);
}

TEST(PcView, NoiseBeforeTheFrameIsHarmlessAndADroppedByteIsRejected) {
    auto f = InfoFrameBytes("&QIAhello");
    f.insert(f.begin(), 0x7F);
    EXPECT_EQ(ViewOfFrame(f, "&QIAhello"), PcView::Good);
    auto g = InfoFrameBytes("&QIAhello");
    g.erase(g.begin() + 8);
    EXPECT_EQ(ViewOfFrame(g, "&QIAhello"), PcView::Rejected);
}

TEST(PcView, ADamagedFrameThatReadsAsAPollIsAMisread) {
    std::vector<unsigned char> f = {'P', ADR, ENQ};
    EXPECT_EQ(ViewOfFrame(f, "x"), PcView::Misread);
}
