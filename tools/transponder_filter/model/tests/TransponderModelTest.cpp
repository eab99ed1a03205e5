// The filter constants: stored values, coupling, texts and the two sequences.
#include "TransponderModel.h"

#include "FilterValues.h"

#include "ProfileSection.h"
#include "SettingsStore.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace vq5;
using namespace vq5::tct;

namespace {
const char* kSection = "Settings_V2.3";
}

TEST(TransponderSettings, StoredValuesAreReadAndTheLastValuesWritten) {
    CMemoryStore store;
    store.WriteInt(kSection, "Window", 12);
    store.WriteInt(kSection, "Minimal", 3);
    store.WriteInt(kSection, "Offset", 10);
    store.WriteInt(kSection, "Stable", 15);
    store.WriteInt(kSection, "Reboot", 1);
    {
        CProfileSection section(kSection, &store);
        CTransponderModel m;
        m.Bind(section);
        EXPECT_EQ(ValuesOf(m), (FilterValues{12, 3, 10, 15}));
        EXPECT_EQ(m.m_Reboot, 1);
        m.m_Offset = 25;
        m.m_Reboot = 0;
    }
    EXPECT_EQ(store.ReadInt(kSection, "Offset"), 25);
    EXPECT_EQ(store.ReadInt(kSection, "Reboot"), 0);
    EXPECT_EQ(store.ReadInt(kSection, "Window"), 12);
}

// Stored values (none, damaged, coupled) and what the model binds and writes back.
struct StoredRow {
    const char* name;
    std::vector<std::pair<const char*, const char*>> stored; // key, text
    int window, minimal, offset, stable, reboot;             // bound and written back
};

class TransponderStoredValues : public ::testing::TestWithParam<StoredRow> {};

TEST_P(TransponderStoredValues, AreBoundInRangeAndWrittenBackWhole) {
    const StoredRow& row = GetParam();
    CMemoryStore store;
    for (const auto& [key, text] : row.stored)
        store.WriteString(kSection, key, text);
    const bool hadWindow = store.Has(kSection, "Window");
    {
        CProfileSection section(kSection, &store);
        CTransponderModel m;
        m.m_Window = m.m_Minimal = m.m_Offset = m.m_Stable = m.m_Reboot = -5;
        m.Bind(section);
        EXPECT_EQ(ValuesOf(m), (FilterValues{row.window, row.minimal, row.offset, row.stable}));
        EXPECT_EQ(m.m_Reboot, row.reboot);
        EXPECT_EQ(store.Has(kSection, "Window"), hadWindow); // nothing written piecemeal
    }
    EXPECT_EQ(store.ReadInt(kSection, "Window"), row.window);
    EXPECT_EQ(store.ReadInt(kSection, "Minimal"), row.minimal);
    EXPECT_EQ(store.ReadInt(kSection, "Offset"), row.offset);
    EXPECT_EQ(store.ReadInt(kSection, "Stable"), row.stable);
    EXPECT_EQ(store.ReadInt(kSection, "Reboot"), row.reboot);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TransponderStoredValues,
    ::testing::Values(
        StoredRow{"FirstStartTakesTheDefaults", {}, 8, 7, 22, 10, 0},
        StoredRow{
            "DamagedValuesAreBroughtIntoRange",
            {{"Window", "99"}, {"Minimal", "-3"}, {"Offset", "40"}, {"Stable", "lots"}, {"Reboot", "7"}},
            15,
            1,
            25,
            10,
            0},
        StoredRow{"StoredMinimalAboveWindowIsCoupled", {{"Window", "4"}, {"Minimal", "9"}}, 9, 9, 22, 10, 0},
        // a held offset survives a restart; one no device holds is brought into range
        StoredRow{"StoredOffset28AboveTheSliderIsKept", {{"Offset", "28"}}, 8, 7, 28, 10, 0},
        StoredRow{"StoredOffset31AboveTheSliderIsKept", {{"Offset", "31"}}, 8, 7, 31, 10, 0},
        StoredRow{"StoredOffset32NoDeviceHoldsIsBroughtIntoRange", {{"Offset", "32"}}, 8, 7, 25, 10, 0},
        StoredRow{"StoredOffset9BelowTheSliderIsBroughtIntoRange", {{"Offset", "9"}}, 8, 7, 10, 10, 0}),
    [](const ::testing::TestParamInfo<StoredRow>& info) { return std::string(info.param.name); });

TEST(TransponderTexts, FrameTitlesHaveTwoSpacesBeforeTheBracket) {
    CTransponderModel m;
    EXPECT_EQ(m.FrameTitle(sWindow), "Window  [192 ms]");
    EXPECT_EQ(m.FrameTitle(sMinimal), "Minimal  [7 Vx]");
    EXPECT_EQ(m.FrameTitle(sOffset), "Offset  [22 ms]");
    EXPECT_EQ(m.FrameTitle(sStable), "Stable  [1000 ms]");
    EXPECT_EQ(m.ReadOut(sWindow), "8");
    EXPECT_EQ(m.ReadOut(sStable), "10");
    m.m_Window = 15;
    m.m_Stable = 15;
    EXPECT_EQ(m.FrameTitle(sWindow), "Window  [360 ms]");
    EXPECT_EQ(m.FrameTitle(sStable), "Stable  [1500 ms]");
}

TEST(TransponderCoupling, DraggingWindowBelowMinimalPullsMinimalDown) {
    CTransponderModel m; // Window 8, Minimal 7
    m.m_Window = 5;
    auto texts = m.Couple(sWindow);
    EXPECT_EQ(m.m_Minimal, 5);
    EXPECT_EQ(m.m_Window, 5);
    EXPECT_EQ(texts, (std::vector<Setting>{sWindow, sMinimal}));
    EXPECT_EQ(m.FrameTitle(sMinimal), "Minimal  [5 Vx]");
    EXPECT_EQ(m.SaveTexts()[2], "&PKM5");
}

TEST(TransponderCoupling, DraggingMinimalAboveWindowPushesWindowUp) {
    CTransponderModel m;
    m.m_Minimal = 12;
    auto texts = m.Couple(sMinimal);
    EXPECT_EQ(m.m_Window, 12);
    EXPECT_EQ(m.FrameTitle(sWindow), "Window  [288 ms]");
    EXPECT_EQ(texts, (std::vector<Setting>{sMinimal, sWindow}));
}

TEST(TransponderCoupling, MovesWithinTheLimitsTouchNothingElse) {
    CTransponderModel m;
    m.m_Window = 10;
    EXPECT_EQ(m.Couple(sWindow), (std::vector<Setting>{sWindow}));
    EXPECT_EQ(m.m_Minimal, 7);
    m.m_Minimal = 3;
    auto texts = m.Couple(sMinimal);
    EXPECT_EQ(texts, (std::vector<Setting>{sMinimal}));
    EXPECT_EQ(m.m_Window, 10);
    m.m_Offset = 11;
    EXPECT_EQ(m.Couple(sOffset), (std::vector<Setting>{sOffset}));
    EXPECT_EQ(m.m_Window, 10);
}

TEST(TransponderCoupling, MinimalEqualToWindowStays) {
    CTransponderModel m;
    m.m_Minimal = 8; // Window 8
    auto texts = m.Couple(sMinimal);
    EXPECT_EQ(m.m_Window, 8);
    EXPECT_EQ(m.m_Minimal, 8);
    EXPECT_EQ(texts, (std::vector<Setting>{sMinimal, sWindow}));
    m.m_Window = 8;
    EXPECT_EQ(m.Couple(sWindow), (std::vector<Setting>{sWindow}));
}

TEST(TransponderCoupling, AllFour) {
    CTransponderModel m;
    m.m_Window = 2;
    m.m_Minimal = 9;
    auto texts = m.CoupleAll();
    EXPECT_EQ(m.m_Minimal, 2);
    EXPECT_EQ(m.m_Window, 2);
    EXPECT_EQ(texts.size(), 4u);
}

TEST(TransponderDefaults, LeaveTheRebootBoxAlone) {
    CTransponderModel m;
    m.m_Window = 3;
    m.m_Minimal = 2;
    m.m_Offset = 12;
    m.m_Stable = 1;
    m.m_Reboot = 1;
    m.Defaults();
    EXPECT_EQ(ValuesOf(m), (FilterValues{8, 7, 22, 10}));
    EXPECT_EQ(m.m_Reboot, 1);
}

TEST(TransponderTake, RangeChecksRefuseAndKeepTheMembers) {
    CTransponderModel m;
    EXPECT_EQ(m.Take(0, 1, 10, 1, true), "Please enter an integer between 1 and 15.");
    EXPECT_EQ(m.Take(16, 1, 10, 1, true), "Please enter an integer between 1 and 15.");
    EXPECT_EQ(m.Take(5, 1, 9, 1, true), "Please enter an integer between 10 and 25.");
    EXPECT_EQ(m.Take(5, 1, 26, 1, true), "Please enter an integer between 10 and 25.");
    EXPECT_EQ(m.Take(5, 1, 10, 0, true), "Please enter an integer between 1 and 15.");
    EXPECT_EQ(m.m_Window, 8);
    EXPECT_EQ(m.m_Reboot, 0);
    EXPECT_EQ(m.Take(15, 15, 25, 15, true), std::nullopt);
    EXPECT_EQ(m.m_Window, 15);
    EXPECT_EQ(m.m_Offset, 25);
    EXPECT_EQ(m.m_Reboot, 1);
    EXPECT_EQ(m.Take(1, 1, 10, 1, false), std::nullopt);
    EXPECT_EQ(m.m_Reboot, 0);
}

TEST(TransponderSequences, LoadQueriesAllFourWithoutGatesOrSpeed) {
    EXPECT_EQ(CTransponderModel::LoadTexts(),
              (std::vector<std::string>{"$PRG", "&PKW", "&PKM", "&PKO", "&PKS", "&PX"}));
}

TEST(TransponderSequences, SaveSendsBothOffsetFormsAndTheExit) {
    CTransponderModel m;
    EXPECT_EQ(m.SaveTexts(),
              (std::vector<std::string>{"$PRG", "&PKW8", "&PKM7", "82<&PKOE", "82>&PKOC", "&PKSA", "&PX"}));
    m.m_Reboot = 1;
    m.m_Window = 15;
    m.m_Minimal = 1;
    m.m_Offset = 25;
    m.m_Stable = 1;
    EXPECT_EQ(m.SaveTexts(),
              (std::vector<std::string>{"$PRG", "&PKWF", "&PKM1", "82<&PKO1", "82>&PKOF", "&PKS1", "&PXR"}));
    m.m_Offset = 10;
    auto t = m.SaveTexts();
    EXPECT_EQ(t[3], "82<&PKO2");
    EXPECT_EQ(t[4], "82>&PKO0");
}

TEST(TransponderSequences, NoSequenceAsksForASpeedChange) {
    CTransponderModel m;
    for (int reboot : {0, 1}) {
        m.m_Reboot = reboot;
        for (const auto& text : m.SaveTexts()) {
            EXPECT_EQ(text.find("&PS"), std::string::npos) << text;
            EXPECT_NE(text, "&PX0");
        }
    }
    for (const auto& text : CTransponderModel::LoadTexts())
        EXPECT_EQ(text.find("&PS"), std::string::npos) << text;
}

TEST(TransponderSequences, SaveReadBackAsksAfterTheSetsInTheSameVisit) {
    CTransponderModel m;
    ASSERT_FALSE(m.Take(11, 2, 10, 4, true));
    EXPECT_EQ(m.SaveTexts(),
              (std::vector<std::string>{"$PRG", "&PKWB", "&PKM2", "82<&PKO2", "82>&PKO0", "&PKS4", "&PXR"}));
    EXPECT_EQ(m.SaveTexts(true), (std::vector<std::string>{"$PRG", "&PKWB", "&PKM2", "82<&PKO2", "82>&PKO0",
                                                           "&PKS4", "&PKW", "&PKM", "&PKO", "&PKS", "&PXR"}));
    // What each setting holds once saved: only the offset depends on the version.
    EXPECT_EQ(m.HeldValue(sOffset, 8, 1), 26);
    EXPECT_EQ(m.HeldValue(sOffset, 8, 2), 10);
    EXPECT_EQ(m.HeldValue(sWindow, 8, 1), 11);
}

TEST(TransponderSequences, ReplyCarriesTheValueTheDeviceHolds) {
    CTransponderModel m;
    const auto r = m.ParseReply("&QKO4", "&QK", 8, 1); // 28 ms, beyond the slider
    EXPECT_EQ(r.effect, CTransponderModel::ReplyEffect::Changed);
    EXPECT_EQ(r.deviceValue, 28);
    EXPECT_EQ(m.m_Offset, 28); // kept beyond the slider's end, so that a save writes it back

    CVersionTracker v;
    EXPECT_EQ(v.OffsetWarning(10),
              "an offset of 10 ms cannot be held by a VQ-5 before 8.2: such a device will store 26 ms");
    v.OnNotification(Notification{nkIdent, 1, "VQ-5 (81) sim"});
    v.OnNotification(Notification{nkIdent, 0, {}}); // the exit: the version is reset, the identified one kept
    EXPECT_EQ(v.Major(), 0u);
    EXPECT_TRUE(v.Identified());
    EXPECT_EQ(v.OffsetWarning(10),
              "an offset of 10 ms cannot be held by this VQ-5 (version 8.1): it will store 26 ms");
    EXPECT_EQ(v.OffsetWarning(16), "");
}
