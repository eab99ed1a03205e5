// Reading the device's filter replies and following the device version.
#include "TransponderModel.h"

#include "FilterValues.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

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

// The offset digit read with the device version: its milliseconds, within the slider's range.
struct OffsetRow {
    const char* name;
    const char* reply;
    unsigned major, minor;
    int offset;
};

class TransponderOffsetReply : public ::testing::TestWithParam<OffsetRow> {};

TEST_P(TransponderOffsetReply, FollowsTheDeviceVersion) {
    const OffsetRow& row = GetParam();
    CTransponderModel m;
    m.ParseReply(row.reply, "&PK", row.major, row.minor);
    EXPECT_EQ(m.m_Offset, row.offset);
}

INSTANTIATE_TEST_SUITE_P(Rows, TransponderOffsetReply,
                         ::testing::Values(OffsetRow{"From82", "&PKOC", 8, 2, 22},
                                           OffsetRow{"Before82", "&PKOE", 8, 1, 22},
                                           OffsetRow{"From82Highest", "&PKOF", 8, 7, 25},
                                           OffsetRow{"Before82AboveTheSlider", "&PKO1", 8, 1, 25},
                                           OffsetRow{"From82Lowest", "&PKO0", 9, 1, 10},
                                           OffsetRow{"UnknownVersionNegative", "&PKO8", 0, 0, 16}, // -8 + 24
                                           // Offset 10 sent to a device before 8.2 reads back as 26 ms:
                                           // what the device holds is kept, though the slider shows 25.
                                           OffsetRow{"Before82ReadBackOf10IsKept", "&PKO2", 8, 1, 26}),
                         [](const ::testing::TestParamInfo<OffsetRow>& info) {
                             return std::string(info.param.name);
                         });

TEST(TransponderReply, WindowTheSliderCannotShowIsBroughtIntoRange) {
    CTransponderModel m;
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
    EXPECT_EQ(ValuesOf(m), (FilterValues{8, 7, 22, 10}));
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
