// Reading the device's filter replies and following the device version.
#include "TransponderModel.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace vq5;
using namespace vq5::tct;
using Effect = CTransponderModel::ReplyEffect;

TEST(TransponderReply, ReadsEachConstant) {
    CTransponderModel m;
    auto r = m.ParseReply("&PKWC", "&PK", 8, 7);
    EXPECT_EQ(r.effect, Effect::Changed);
    EXPECT_EQ(r.changed, sWindow);
    EXPECT_EQ(m.m_Window, 12);
    r = m.ParseReply("&PKM3", "&PK", 8, 7);
    EXPECT_EQ(r.changed, sMinimal);
    EXPECT_EQ(m.m_Minimal, 3);
    r = m.ParseReply("&PKSA", "&PK", 8, 7);
    EXPECT_EQ(r.changed, sStable);
    EXPECT_EQ(m.m_Stable, 10);
    EXPECT_EQ(m.FrameTitle(sStable), "Stable  [1000 ms]");
}

TEST(TransponderReply, OffsetFollowsTheDeviceVersion) {
    CTransponderModel m;
    m.ParseReply("&PKOC", "&PK", 8, 2);
    EXPECT_EQ(m.m_Offset, 22);
    m.ParseReply("&PKOE", "&PK", 8, 1);
    EXPECT_EQ(m.m_Offset, 22);
    m.ParseReply("&PKOF", "&PK", 8, 7);
    EXPECT_EQ(m.m_Offset, 25);
    m.ParseReply("&PKO1", "&PK", 8, 1);
    EXPECT_EQ(m.m_Offset, 25);
    m.ParseReply("&PKO0", "&PK", 9, 1);
    EXPECT_EQ(m.m_Offset, 10);
    m.ParseReply("&PKO8", "&PK", 0, 0); // -8 + 24
    EXPECT_EQ(m.m_Offset, 16);
}

TEST(TransponderReply, ValuesTheSlidersCannotShowAreBroughtIntoRange) {
    CTransponderModel m;
    // Offset 10 sent to a device before 8.2 reads back as 26 ms: what the device holds is
    // kept, though the slider shows 25 (see OffsetHeldAboveTheSlider).
    m.ParseReply("&PKO2", "&PK", 8, 1);
    EXPECT_EQ(m.m_Offset, 26);
    m.ParseReply("&PKW0", "&PK", 8, 7);
    EXPECT_EQ(m.m_Window, 1);
    EXPECT_EQ(m.m_Minimal, 1); // coupled
}

TEST(TransponderReply, ReadingIsCoupled) {
    CTransponderModel m; // Window 8, Minimal 7
    auto r = m.ParseReply("&PKM9", "&PK", 8, 7);
    EXPECT_EQ(m.m_Window, 9);
    EXPECT_EQ(r.texts, (std::vector<Setting>{sMinimal, sWindow}));
    r = m.ParseReply("&PKW2", "&PK", 8, 7);
    EXPECT_EQ(m.m_Minimal, 2);
    EXPECT_EQ(r.texts, (std::vector<Setting>{sWindow, sMinimal}));
}

TEST(TransponderReply, OnlyTheAdaptedPrefixMatches) {
    CTransponderModel m;
    EXPECT_EQ(m.ParseReply("&PKW5", "&QK", 8, 7).effect, Effect::None);
    EXPECT_EQ(m.m_Window, 8);
    EXPECT_EQ(m.ParseReply("&QKW5", "&QK", 8, 7).effect, Effect::Changed);
    EXPECT_EQ(m.m_Window, 5);
    EXPECT_EQ(m.ParseReply("&PIW5", "&PK", 8, 7).effect, Effect::None);
    EXPECT_EQ(m.ParseReply("&PX", "&PK", 8, 7).effect, Effect::None);
    EXPECT_EQ(m.ParseReply("", "&PK", 8, 7).effect, Effect::None);
    EXPECT_EQ(m.ParseReply("&P", "&PK", 8, 7).effect, Effect::None);
    EXPECT_EQ(m.ParseReply("&PKW5", "", 8, 7).effect, Effect::None);
}

TEST(TransponderReply, OtherItemsOnlyPutTheValues) {
    CTransponderModel m;
    EXPECT_EQ(m.ParseReply("&PKZ5", "&PK", 8, 7).effect, Effect::PutOnly);
    EXPECT_EQ(m.ParseReply("&PK", "&PK", 8, 7).effect, Effect::PutOnly);
    EXPECT_EQ(m.m_Window, 8);
    EXPECT_EQ(m.m_Minimal, 7);
    EXPECT_EQ(m.m_Offset, 22);
    EXPECT_EQ(m.m_Stable, 10);
}

TEST(TransponderReply, RepliesWithoutADigitChangeNothing) {
    CTransponderModel m;
    EXPECT_EQ(m.ParseReply("&PKW", "&PK", 8, 7).effect, Effect::PutOnly);
    EXPECT_EQ(m.ParseReply("&PKWZ", "&PK", 8, 7).effect, Effect::PutOnly);
    EXPECT_EQ(m.ParseReply("&PKO!", "&PK", 8, 7).effect, Effect::PutOnly);
    EXPECT_EQ(m.ParseReply(std::string("&PKS\0", 5), "&PK", 8, 7).effect, Effect::PutOnly);
    EXPECT_EQ(m.m_Window, 8);
    EXPECT_EQ(m.m_Offset, 22);
    EXPECT_EQ(m.m_Stable, 10);
    // A lower-case digit is still a digit.
    EXPECT_EQ(m.ParseReply("&PKWb", "&PK", 8, 7).effect, Effect::Changed);
    EXPECT_EQ(m.m_Window, 11);
}

TEST(VersionTracker, FollowsIdentificationAndExitInOrder) {
    CVersionTracker t;
    EXPECT_EQ(t.Major(), 0u);
    t.OnNotification({nkIdent, 1, "VQ-5 V8.7 (87) 2004"});
    EXPECT_EQ(t.Major(), 8u);
    EXPECT_EQ(t.Minor(), 7u);
    t.OnNotification({nkReceived, 0, "&PKOC"}); // other kinds change nothing
    t.OnNotification({nkLinkStatus, 2, ""});
    EXPECT_EQ(t.Major(), 8u);
    t.OnNotification({nkIdent, 0, ""}); // program mode left
    EXPECT_EQ(t.Major(), 0u);
    EXPECT_EQ(t.Minor(), 0u);
    t.OnNotification({nkIdent, 1, "VQ-5 (A3)"});
    EXPECT_EQ(t.Major(), 10u);
    EXPECT_EQ(t.Minor(), 3u);
    t.OnNotification({nkIdent, 1, "VQ-5 without version"});
    EXPECT_EQ(t.Major(), 10u);
    t.OnNotification({nkIdent, 1, "VQ-5 ("});
    EXPECT_EQ(t.Major(), 10u);
    t.OnNotification({nkIdent, 1, "VQ-5 (8z)"});
    EXPECT_EQ(t.Major(), 10u);
    t.OnNotification({nkIdent, 1, "VQ-5 (a1)"});
    EXPECT_EQ(t.Major(), 10u);
    t.Seed(8, 1);
    EXPECT_EQ(t.Major(), 8u);
    EXPECT_EQ(t.Minor(), 1u);
}

TEST(VersionTracker, ReplyReadWithTheVersionOfItsTime) {
    // The worker receives the offset reply, then the exit reply (which resets the engine's
    // version); the GUI reads the offset afterwards, in notification order.
    CVersionTracker t;
    CTransponderModel m;
    std::vector<Notification> seen = {
        {nkIdent, 1, "VQ-5 (87)"}, {nkReceived, 0, "&PKO0"}, {nkReceived, 0, "&PX"}, {nkIdent, 0, ""}};
    for (const auto& n : seen) {
        t.OnNotification(n);
        if (n.kind == nkReceived)
            m.ParseReply(n.text, "&PK", t.Major(), t.Minor());
    }
    EXPECT_EQ(m.m_Offset, 10); // read as a new-style digit; with 0.0 it would read 24
}

// A device before 8.2 may hold 26 to 31 ms, which the slider (10 to 25) cannot show: the value
// stays, and is saved back unchanged, until the user moves the offset slider.
TEST(TransponderReply, OffsetHeldAboveTheSliderIsKeptUntilTheSliderMoves) {
    CTransponderModel m;
    m.ParseReply("&PKO4", "&PK", 8, 1);
    ASSERT_EQ(m.m_Offset, 28);
    EXPECT_EQ(m.FrameTitle(sOffset), "Offset  [28 ms]");
    // The slider stands at its end; another slider moves: the offset stays.
    ASSERT_FALSE(m.Take(9, 7, 25, 10, false));
    EXPECT_EQ(m.m_Offset, 28);
    EXPECT_EQ(m.m_Window, 9);
    const auto texts = m.SaveTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "82<&PKO4"), texts.end()); // 28 ms before 8.2
    EXPECT_EQ(m.HeldValue(sOffset, 8, 1), 28);
    // The user moves the offset slider: from now on it is the slider's value.
    ASSERT_FALSE(m.Take(9, 7, 24, 10, false));
    EXPECT_EQ(m.m_Offset, 24);
    ASSERT_FALSE(m.Take(9, 7, 25, 10, false));
    EXPECT_EQ(m.m_Offset, 25);
    // A slider value outside its range is still refused, whatever is held.
    m.ParseReply("&PKO7", "&PK", 8, 1); // 31 ms
    EXPECT_EQ(m.m_Offset, 31);
    EXPECT_TRUE(m.Take(9, 7, 26, 10, false));
    EXPECT_EQ(m.m_Offset, 31);
}
