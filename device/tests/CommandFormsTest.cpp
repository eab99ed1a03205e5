// Query and set forms, gates, both offset encodings and the fixed command groups.
#include "CommandSet.h"

#include <gtest/gtest.h>

using namespace vq5::device;

namespace {
// What the message layer does to a queued text before it goes out: drop the gates, put the
// device letter in place of the 'P' of the first "&P".
std::string AsSent(const std::string& queued, char letter) {
    std::string text(StripGates(queued));
    auto at = text.find("&P");
    if (at != std::string::npos)
        text[at + 1] = letter;
    return text;
}
} // namespace

TEST(CommandForms, QueryCodesAreFourCharacters) {
    EXPECT_EQ(QueryCode('F', 'S'), "&PFS");
    EXPECT_EQ(QueryCode('K', 'W'), "&PKW");
    EXPECT_EQ(QueryCode('I', '<'), "&PI<");
}

TEST(CommandForms, FlagSetsCarryZeroOrOneAfterTheGate) {
    EXPECT_EQ(SetFlag('S', true), "&PFS1");
    EXPECT_EQ(SetFlag('S', false), "&PFS0");
    EXPECT_EQ(SetFlag('G', true, "83>"), "83>&PFG1");
    EXPECT_EQ(SetFlag('V', false, "87>"), "87>&PFV0");
}

TEST(CommandForms, DeviceLetterQReachesTheCommandCode) {
    EXPECT_EQ(AsSent(SetFlag('S', true), 'Q'), "&QFS1");
    EXPECT_EQ(AsSent("&PIA", 'Q'), "&QIA");
}

TEST(CommandForms, ConstantsAreOneUpperCaseHexDigitMaskedToFourBits) {
    EXPECT_EQ(SetConstant('W', 15), "&PKWF");
    EXPECT_EQ(SetConstant('W', 15, "71>"), "71>&PKWF");
    EXPECT_EQ(SetConstant('M', 10), "&PKMA");
    EXPECT_EQ(SetConstant('S', 0x1F), "&PKSF"); // masked
    EXPECT_EQ(SetConstant('S', 16), "&PKS0");
}

TEST(CommandForms, DatacallTextUnderGateKeepsItsOwnAmpersandP) {
    const std::string queued = SetText('B', "&P.1", "91<");
    EXPECT_EQ(queued, "91<&PIB&P.1");
    EXPECT_EQ(AsSent(queued, 'Q'), "&QIB&P.1");
    EXPECT_EQ(AsSent(SetText('D', "&P.3", "91<"), 'P'), "&PID&P.3");
}

TEST(CommandForms, TextLimitKeepsTheWholeMessageWithin99) {
    EXPECT_EQ(MaxTextLength(), 95u);
    EXPECT_EQ(MaxTextLength("91<"), 92u);
    EXPECT_EQ(MaxTextLength("87>91<"), 89u);
    const std::string longest(MaxTextLength("91<"), 'x');
    EXPECT_EQ(SetText('B', longest, "91<").size(), 99u);
    // SetText never cuts what it is given.
    EXPECT_EQ(SetText('A', std::string(200, 'y')).size(), 204u);
}

TEST(CommandForms, SpeedChangeIsGatedFrom84) {
    EXPECT_EQ(SpeedChange(3), "84>&PS3");
    EXPECT_EQ(AsSent(SpeedChange(5), 'Q'), "&QS5");
}

namespace {
// A gate against a device version: whether the gated text goes out.
struct GateRow {
    const char* name;
    const char* gate;
    unsigned major, minor;
    bool passes;
};

class Gates : public ::testing::TestWithParam<GateRow> {};
} // namespace

TEST_P(Gates, PassAtTheVersion) {
    const GateRow& row = GetParam();
    EXPECT_EQ(GatePasses(row.gate, row.major, row.minor), row.passes) << row.gate;
}

// Single and double gates at 8.7; version 0.0 holds greater gates and passes earlier ones;
// gate digits are hexadecimal ('g' counts far above F).
const GateRow kGateRows[] = {
    {"From87At87", "87>", 8, 7, true},
    {"From88At87", "88>", 8, 7, false},
    {"Before87At87", "87<", 8, 7, false},
    {"Before88At87", "88<", 8, 7, true},
    {"Between87And91At87", "87>91<", 8, 7, true},
    {"Between87And91At91", "87>91<", 9, 1, false},
    {"Between87And91At86", "87>91<", 8, 6, false},
    {"NoGateAt00", "", 0, 0, true},
    {"From84At00", "84>", 0, 0, false},
    {"Before91At00", "91<", 0, 0, true},
    {"From00At00", "00>", 0, 0, true},
    {"From91AtA3", "91>", 10, 3, true},
    {"FromA3AtA3", "A3>", 10, 3, true},
    {"FromA4AtA3", "A4>", 10, 3, false},
    {"BeforeF0AtEF", "F0<", 14, 15, true},
    {"Fromg1AtFF", "g1>", 15, 15, false},
};

INSTANTIATE_TEST_SUITE_P(Version, Gates, ::testing::ValuesIn(kGateRows),
                         [](const ::testing::TestParamInfo<GateRow>& info) { return info.param.name; });

TEST(GateText, StripGatesLikeTheMessageLayer) {
    EXPECT_EQ(StripGates("91<&PIB&P.1"), "&PIB&P.1");
    EXPECT_EQ(StripGates("87>91<&PFV"), "&PFV");
    EXPECT_EQ(StripGates("&PIA"), "&PIA");
    EXPECT_EQ(StripGates("ab>c"), "ab>c"); // four characters are never gated
    EXPECT_EQ(StripGates("$PRG"), "$PRG");
}

TEST(Offset, TwentyTwoMsInBothEncodingsReadsBack22) {
    EXPECT_EQ(OffsetSetNew(22), "82>&PKOC");
    EXPECT_EQ(OffsetSetOld(22), "82<&PKOE");
    EXPECT_EQ(AsSent(OffsetSetNew(22), 'P'), "&PKOC");
    EXPECT_EQ(OffsetFromDigit(0xC, 8, 2), 22);
    EXPECT_EQ(OffsetFromDigit(0xC, 9, 1), 22);
    EXPECT_EQ(OffsetFromDigit(0xE, 8, 1), 22);
    EXPECT_EQ(OffsetFromDigit(0xE, 7, 0), 22);
}

TEST(Offset, TenMsOnAnOldDeviceBecomesDigit2AndReads26) {
    EXPECT_EQ(OffsetSetOld(10), "82<&PKO2");
    EXPECT_EQ(OffsetFromDigit(2, 8, 1), 26);
    EXPECT_EQ(OffsetSetNew(10), "82>&PKO0");
    EXPECT_EQ(OffsetFromDigit(0, 8, 2), 10);
}

TEST(Offset, EveryOffsetSurvivesTheRoundTripWhereRepresentable) {
    for (int ms = 10; ms <= 25; ++ms) {
        EXPECT_EQ(OffsetFromDigit(OffsetDigit(ms, 8, 7), 8, 7), ms) << ms;
        EXPECT_EQ(OffsetFromDigit(OffsetDigit(ms, 9, 1), 9, 1), ms) << ms;
    }
    for (int ms = 16; ms <= 31; ++ms)
        EXPECT_EQ(OffsetFromDigit(OffsetDigit(ms, 8, 1), 8, 1), ms) << ms;
    // Both set forms carry the digit the device of that generation stores.
    for (int ms = 10; ms <= 25; ++ms) {
        EXPECT_EQ(*ReadConstant(StripGates(OffsetSetNew(ms))), OffsetDigit(ms, 8, 2));
        EXPECT_EQ(*ReadConstant(StripGates(OffsetSetOld(ms))), OffsetDigit(ms, 7, 0));
    }
}

TEST(Offset, SignExtensionOfTheOldDigit) {
    EXPECT_EQ(OffsetFromDigit(8, 8, 1), 16);
    EXPECT_EQ(OffsetFromDigit(15, 8, 1), 23);
    EXPECT_EQ(OffsetFromDigit(7, 8, 1), 31);
    EXPECT_EQ(OffsetFromDigit(0, 8, 1), 24);
    EXPECT_EQ(OffsetFromDigit(0x1F, 8, 1), 23); // only the low four bits count
    EXPECT_TRUE(NewOffsetEncoding(8, 2));
    EXPECT_FALSE(NewOffsetEncoding(8, 1));
}

TEST(FixedGroups, PresetsAndFactoryReset) {
    EXPECT_EQ(BusPreset(), (std::vector<std::string>{"83>&PFG0", "82<&PKOE", "82>&PKOC"}));
    EXPECT_EQ(TramPreset(), (std::vector<std::string>{"83>&PFG1", "82<&PKO0", "82>&PKO5"}));
    EXPECT_EQ(FactoryResetCommands(), (std::vector<std::string>{"&PFE1"}));
    // Bus: 22 ms for both generations; Tram: 24 ms before 8.2, 15 ms from 8.2 on.
    EXPECT_EQ(OffsetFromDigit(*ReadConstant(StripGates(BusPreset()[1])), 8, 1), 22);
    EXPECT_EQ(OffsetFromDigit(*ReadConstant(StripGates(BusPreset()[2])), 8, 2), 22);
    EXPECT_EQ(OffsetFromDigit(*ReadConstant(StripGates(TramPreset()[1])), 8, 1), 24);
    EXPECT_EQ(OffsetFromDigit(*ReadConstant(StripGates(TramPreset()[2])), 8, 2), 15);
}

TEST(FixedGroups, ProgramModeTexts) {
    EXPECT_STREQ(kEnterProgramMode, "$PRG");
    EXPECT_STREQ(kLeave, "&PX");
    EXPECT_STREQ(kLeaveBaseSpeed, "&PX0");
    EXPECT_STREQ(kLeaveReboot, "&PXR");
    EXPECT_STREQ(kSpeedChangeFormat, "84>&PS%d");
}

TEST(OffsetHeld, WhatEachEncodingKeeps) {
    struct Row {
        int sent;
        unsigned major, minor;
        int held;
    };
    for (const Row& r :
         {Row{10, 8, 1, 26}, Row{15, 8, 1, 31}, Row{16, 8, 1, 16}, Row{28, 8, 1, 28}, Row{22, 8, 1, 22},
          Row{10, 8, 2, 10}, Row{25, 8, 2, 25}, Row{26, 8, 2, 10}, Row{31, 10, 3, 15}})
        EXPECT_EQ(vq5::device::OffsetHeld(r.sent, r.major, r.minor), r.held)
            << r.sent << " " << r.major << "." << r.minor;
}

TEST(OffsetHeld, WarningsNameTheValueStored) {
    using vq5::device::OffsetWarning;
    EXPECT_EQ(OffsetWarning(22, false, 0, 0), "");
    EXPECT_EQ(OffsetWarning(16, true, 8, 1), "");
    EXPECT_EQ(OffsetWarning(10, false, 0, 0),
              "an offset of 10 ms cannot be held by a VQ-5 before 8.2: such a device will store 26 ms");
    EXPECT_EQ(OffsetWarning(28, false, 0, 0),
              "an offset of 28 ms cannot be held by a VQ-5 of 8.2 or later: such a device will store 12 ms");
    EXPECT_EQ(OffsetWarning(10, true, 8, 1),
              "an offset of 10 ms cannot be held by this VQ-5 (version 8.1): it will store 26 ms");
    EXPECT_EQ(OffsetWarning(10, true, 8, 2), "");
    EXPECT_EQ(OffsetWarning(40, false, 0, 0), "an offset of 40 ms cannot be held by any VQ-5: a device "
                                              "before 8.2 will store 24 ms, a later one 24 ms");
}
