// Replies from the device: the device letter and version they are read with, the settings
// they change, short and damaged replies, and the window's handling of notifications.
#include "ProgrammerModel.h"

#include <gtest/gtest.h>

using namespace vq5;
using namespace vq5::programmer;

namespace {

Notification Received(const std::string& text) {
    return Notification{nkReceived, 0, text};
}

// The two notifications the engine posts for an identification reply, in their order.
void Identify(CProgrammerModel& m, const std::string& reply) {
    m.OnNotification(Received(reply));
    m.OnNotification(Notification{nkIdent, 1, reply.substr(3)});
}

} // namespace

TEST(ProgrammerParse, DeviceViewFollowsIdentificationAndExit) {
    CDeviceView d;
    EXPECT_EQ(d.letter, 'P');
    EXPECT_TRUE(d.Observe("&QPVQ-5 (87) VQ-5 simulator"));
    EXPECT_EQ(d.letter, 'Q');
    EXPECT_EQ(d.major, 8u);
    EXPECT_EQ(d.minor, 7u);
    EXPECT_EQ(d.identification, "VQ-5 (87) VQ-5 simulator");
    EXPECT_EQ(d.Adapt("&PKW"), "&QKW");
    EXPECT_EQ(d.Adapt("91<&PIB&P.1"), "91<&QIB&P.1");
    EXPECT_FALSE(d.Observe("&QFS1"));
    EXPECT_TRUE(d.Observe("&QX"));
    EXPECT_EQ(d.major, 0u);
    EXPECT_EQ(d.exits, 1u);
    EXPECT_EQ(d.identifications, 1u);
    EXPECT_EQ(d.letter, 'Q'); // the letter stays
    EXPECT_TRUE(d.Observe("&RPVQ-5 (A3)"));
    EXPECT_EQ(d.major, 10u);
    EXPECT_EQ(d.minor, 3u);
    EXPECT_TRUE(d.Observe("&SPVQ-5 without version"));
    EXPECT_EQ(d.letter, 'S');
    EXPECT_EQ(d.major, 10u);             // no '(': the version stays
    EXPECT_TRUE(d.Observe("&SPVQ-5 (")); // cut short after '(': no crash, version stays
    EXPECT_EQ(d.major, 10u);
    EXPECT_TRUE(d.Observe("&SPVQ-5 (zz)")); // not version digits: the version stays
    EXPECT_EQ(d.major, 10u);
    EXPECT_EQ(d.minor, 3u);
    const std::string longIdent = "&TPVQ-5 (91)" + std::string(200, 'z');
    EXPECT_TRUE(d.Observe(longIdent));
    EXPECT_EQ(d.identification.size(), 63u);
}

TEST(ProgrammerParse, FlagsWithTheDeviceLetter) {
    CProgrammerModel m;
    Identify(m, "&QPVQ-5 (87) sim");
    auto r = m.OnNotification(Received("&QFS1"));
    EXPECT_TRUE(r.putValues);
    EXPECT_EQ(m.m_Values.m_Flag[fStreekvervoer], tsOn);
    EXPECT_EQ(r.parse.changed, std::vector<std::string>{"FlagStreekvervoer"});
    m.OnNotification(Received("&QFS0"));
    EXPECT_EQ(m.m_Values.m_Flag[fStreekvervoer], tsOff);
    m.OnNotification(Received("&QFSx")); // anything but '1' is off
    EXPECT_EQ(m.m_Values.m_Flag[fStreekvervoer], tsOff);

    const struct {
        const char* reply;
        FlagIndex flag;
    } rows[] = {{"&QFE1", fClearEeprom},  {"&QFO1", fOpenbaarVervoer}, {"&QFT1", fVertaalLijnnummers},
                {"&QFD1", fMaxRunnummer}, {"&QFR1", fVetag19GPKey},    {"&QFQ1", fSelftestAfterReboot},
                {"&QFG1", fReadyToGo},    {"&QFL1", fDoorLussen},      {"&QFV1", fParalelleTransponder},
                {"&QFF1", fStadBus},      {"&QF11", fStadCAT1},        {"&QF21", fStadCAT2}};
    for (const auto& row : rows) {
        EXPECT_EQ(m.m_Values.m_Flag[row.flag], tsIndeterminate) << row.reply;
        m.OnNotification(Received(row.reply));
        EXPECT_EQ(m.m_Values.m_Flag[row.flag], tsOn) << row.reply;
    }
}

TEST(ProgrammerParse, ForeignLetterIsIgnored) {
    CProgrammerModel m;
    Identify(m, "&QPVQ-5 (87) sim");
    const CProgrammerValues before = m.m_Values;
    for (const char* reply : {"&PFS1", "&PKW3", "&PIAother", "&PIBx", "&RFO1"}) {
        const auto r = m.OnNotification(Received(reply));
        EXPECT_FALSE(r.parse.matched) << reply;
        EXPECT_FALSE(r.putValues) << reply;
    }
    EXPECT_EQ(m.m_Values, before);
}

TEST(ProgrammerParse, DatacallEnableAndText) {
    CProgrammerModel m;
    Identify(m, "&PPVQ-5 (86)");
    EXPECT_FALSE(m.DataCallEditEnabled(0));
    auto r = m.OnNotification(Received("&PFC1"));
    EXPECT_EQ(r.parse.dataCall, 0);
    EXPECT_TRUE(m.DataCallEditEnabled(0));
    m.OnNotification(Received("&PFB0"));
    EXPECT_EQ(m.m_Values.m_DataCall[1], tsOff);
    EXPECT_FALSE(m.DataCallEditEnabled(1));
    m.OnNotification(Received("&PFK1"));
    EXPECT_EQ(m.m_Values.m_DataCall[2], tsOn);
    m.OnNotification(Received("&PIB&P.7 lijn"));
    m.OnNotification(Received("&PIChello"));
    m.OnNotification(Received("&PID"));
    EXPECT_EQ(m.m_Values.m_DataCallText[0], "&P.7 lijn");
    EXPECT_EQ(m.m_Values.m_DataCallText[1], "hello");
    EXPECT_EQ(m.m_Values.m_DataCallText[2], ""); // the device holds an empty text
    // Other items of the class match but set nothing.
    const CProgrammerValues before = m.m_Values;
    r = m.OnNotification(Received("&PIH1.23"));
    EXPECT_TRUE(r.parse.matched);
    EXPECT_TRUE(r.putValues);
    EXPECT_TRUE(r.parse.changed.empty());
    r = m.OnNotification(Received("&PFA1")); // "&PFA" is asked and ignored
    EXPECT_TRUE(r.parse.matched);
    EXPECT_EQ(m.m_Values, before);
}

TEST(ProgrammerParse, Identifier) {
    CProgrammerModel m;
    m.m_Values.m_ConfigID = "old";
    m.OnNotification(Received("&PIA")); // too short: nothing
    EXPECT_EQ(m.m_Values.m_ConfigID, "old");
    m.OnNotification(Received("&PIA01 May 2020: x"));
    EXPECT_EQ(m.m_Values.m_ConfigID, "01 May 2020: x");
    const std::string longId(95, 'L'); // longer than the box takes by typing: kept whole
    m.OnNotification(Received("&PIA" + longId));
    EXPECT_EQ(m.m_Values.m_ConfigID, longId);
}

TEST(ProgrammerParse, DeviceBytesAreReadAsLatin1) {
    EXPECT_EQ(DeviceText("abc"), "abc");
    EXPECT_EQ(DeviceText("caf\xE9"), "caf\xC3\xA9");
    CProgrammerModel m;
    m.OnNotification(Received("&PIAd\xFCsseldorf"));
    EXPECT_EQ(m.m_Values.m_ConfigID, "d\xC3\xBCsseldorf");
    m.m_Values.m_CheckConfigID = 1;
    std::string error;
    EXPECT_FALSE(m.WriteSequence(error)); // not sendable: refused, never mangled
}

TEST(ProgrammerParse, FilterConstantsAndCoupling) {
    CProgrammerModel m;
    Identify(m, "&PPVQ-5 (87)");
    m.m_Values.m_Slider = {8, 7, 22, 10};
    auto r = m.OnNotification(Received("&PKW3"));
    EXPECT_EQ(r.parse.slider, slWindow);
    EXPECT_EQ(m.m_Values.m_Slider[slWindow], 3);
    EXPECT_EQ(m.m_Values.m_Slider[slMinimal], 3); // coupled
    EXPECT_EQ(r.parse.changed,
              (std::vector<std::string>{"TransConfigSliderWindow", "TransConfigSliderMinimal"}));
    m.OnNotification(Received("&PKMC"));
    EXPECT_EQ(m.m_Values.m_Slider[slMinimal], 12);
    EXPECT_EQ(m.m_Values.m_Slider[slWindow], 12);
    m.OnNotification(Received("&PKSF"));
    EXPECT_EQ(m.m_Values.m_Slider[slStable], 15);
    m.OnNotification(Received("&PKSa")); // lower case reads the same
    EXPECT_EQ(m.m_Values.m_Slider[slStable], 10);
}

// The offset digit in both encodings: from 8.2 on and before.
struct OffsetRow {
    const char* name;
    const char* ident;
    const char* reply;
    int offset;
};

class ProgrammerOffsetParse : public ::testing::TestWithParam<OffsetRow> {};

TEST_P(ProgrammerOffsetParse, InBothEncodings) {
    const OffsetRow& row = GetParam();
    CProgrammerModel m;
    Identify(m, row.ident);
    m.OnNotification(Received(row.reply));
    EXPECT_EQ(m.m_Values.m_Slider[slOffset], row.offset);
}

INSTANTIATE_TEST_SUITE_P(Rows, ProgrammerOffsetParse,
                         ::testing::Values(OffsetRow{"V87Digit12", "&PPVQ-5 (87)", "&PKOC", 22},
                                           OffsetRow{"V87Digit0", "&PPVQ-5 (87)", "&PKO0", 10},
                                           OffsetRow{"V87Digit15", "&PPVQ-5 (87)", "&PKOF", 25},
                                           OffsetRow{"V81Digit14", "&PPVQ-5 (81)", "&PKOE", 22},
                                           OffsetRow{"V81Digit0", "&PPVQ-5 (81)", "&PKO0", 24},
                                           OffsetRow{"V81Digit8", "&PPVQ-5 (81)", "&PKO8", 16},
                                           // above the slider's 25: kept as the device holds it
                                           OffsetRow{"V81Digit4AboveTheSlider", "&PPVQ-5 (81)", "&PKO4", 28}),
                         [](const ::testing::TestParamInfo<OffsetRow>& info) {
                             return std::string(info.param.name);
                         });

TEST(ProgrammerParse, RepliesAreReadWithTheVersionOfTheirTime) {
    // The offset reply and the program-mode exit reply can both be waiting for the GUI
    // thread; the exit resets the device version, but the offset was sent by an 8.7 device.
    CProgrammerModel m;
    std::vector<Notification> batch = {Received("&QPVQ-5 (87) sim"),
                                       {nkIdent, 1, "VQ-5 (87) sim"},
                                       Received("&QKOC"),
                                       Received("&QX"),
                                       {nkIdent, 0, ""},
                                       {nkQueueEmpty, 0, ""}};
    for (const auto& n : batch)
        m.OnNotification(n);
    EXPECT_EQ(m.m_Values.m_Slider[slOffset], 22); // not 20, as a 0.0 device would give
}

TEST(ProgrammerParse, ShortAndDamagedRepliesCarryNoValue) {
    CProgrammerModel m;
    m.m_Values.m_Slider = {8, 7, 22, 10};
    m.m_Values.m_Flag[fStreekvervoer] = tsOn;
    const CProgrammerValues before = m.m_Values;
    for (const char* reply : {"&PK", "&PKW", "&PKWZ", "&PKW ", "&PKW\x01", "&PF", "&PFS", "&PI", "&P", "&",
                              "", "&PKX5", "&PFZ1"}) {
        const auto r = m.OnNotification(Received(reply));
        EXPECT_TRUE(r.parse.changed.empty()) << reply;
    }
    EXPECT_EQ(m.m_Values, before);
    // Texts outside the four prefixes are not matched at all.
    EXPECT_FALSE(m.OnNotification(Received("$PRG")).putValues);
    EXPECT_FALSE(m.OnNotification(Received("&PXsomething")).putValues);
    EXPECT_FALSE(m.OnNotification(Received(std::string(300, '&'))).putValues);
}

TEST(ProgrammerParse, BusyEndsWhenTheQueueRunsEmpty) {
    CProgrammerModel m;
    m.SetBusy(true);
    EXPECT_FALSE(m.OnNotification({nkQueueProgress, 0x00050003, ""}).becameIdle);
    EXPECT_FALSE(m.OnNotification({nkLinkStatus, 2, ""}).becameIdle);
    EXPECT_TRUE(m.Busy());
    const auto r = m.OnNotification({nkQueueEmpty, 0, ""});
    EXPECT_TRUE(r.becameIdle);
    EXPECT_FALSE(m.Busy());
}

TEST(ProgrammerVisibility, ByVersion) {
    const CVisibility v86 = CVisibility::ForVersion(8, 6, true);
    EXPECT_TRUE(v86.readyToGo);
    EXPECT_TRUE(v86.doorLussen);
    EXPECT_FALSE(v86.paralelle);
    EXPECT_TRUE(v86.before91);
    EXPECT_FALSE(v86.stad);
    EXPECT_TRUE(v86.filter);

    const CVisibility v87 = CVisibility::ForVersion(8, 7, true);
    EXPECT_TRUE(v87.paralelle);
    EXPECT_FALSE(CVisibility::ForVersion(8, 7, false).paralelle);

    const CVisibility v91 = CVisibility::ForVersion(9, 1, true);
    EXPECT_FALSE(v91.before91);
    EXPECT_TRUE(v91.stad);
    EXPECT_FALSE(v91.paralelle);

    const CVisibility v70 = CVisibility::ForVersion(7, 0, true);
    EXPECT_FALSE(v70.filter);
    EXPECT_FALSE(v70.readyToGo);
    EXPECT_TRUE(CVisibility::ForVersion(7, 1, false).filter);
    EXPECT_FALSE(CVisibility::ForVersion(8, 2, false).readyToGo);
    EXPECT_TRUE(CVisibility::ForVersion(8, 3, false).readyToGo);
    EXPECT_FALSE(CVisibility::ForVersion(8, 4, false).doorLussen);

    CVisibility all = CVisibility::All(false);
    EXPECT_TRUE(all.before91 && all.stad && all.filter && all.readyToGo && all.doorLussen);
    EXPECT_FALSE(all.paralelle);
    EXPECT_TRUE(CVisibility::All(true).paralelle);
}

TEST(ProgrammerVisibility, AppliedOnIdentificationOnly) {
    CProgrammerModel m;
    m.m_Expert = false;
    m.OnNotification(Received("&PPVQ-5 (91) sim"));
    auto r = m.OnNotification({nkIdent, 1, "VQ-5 (91) sim"});
    EXPECT_TRUE(r.applyVisibility);
    EXPECT_EQ(m.m_Visibility, CVisibility::ForVersion(9, 1, false));
    m.OnNotification(Received("&PX"));
    r = m.OnNotification({nkIdent, 0, ""}); // program-mode exit: nothing
    EXPECT_FALSE(r.applyVisibility);
    EXPECT_EQ(m.m_Visibility, CVisibility::ForVersion(9, 1, false));
}

TEST(ProgrammerParse, WithoutCouplingTheValuesAreWhatTheDeviceHolds) {
    CProgrammerModel m;
    m.m_CoupleReplies = false;
    Identify(m, "&PPVQ-5 (81)");
    m.OnNotification(Received("&PKW5"));
    auto r = m.OnNotification(Received("&PKM7"));
    EXPECT_EQ(r.parse.changed, (std::vector<std::string>{"TransConfigSliderMinimal"}));
    EXPECT_EQ(m.m_Values.m_Slider[slWindow], 5);
    EXPECT_EQ(m.m_Values.m_Slider[slMinimal], 7);
    m.OnNotification(Received("&PKO4")); // 28 ms on a device before 8.2, above the slider
    EXPECT_EQ(m.m_Values.m_Slider[slOffset], 28);
    EXPECT_EQ(m.SliderLabel(slOffset), "Offset 28 ms");
}

TEST(ProgrammerParse, OffsetWarningFollowsTheLastIdentification) {
    CProgrammerModel m;
    m.m_Values.m_CheckTransConfig = 1;
    m.m_Values.m_Slider[slOffset] = 10;
    EXPECT_EQ(m.OffsetWarning(),
              "an offset of 10 ms cannot be held by a VQ-5 before 8.2: such a device will store 26 ms");
    Identify(m, "&PPVQ-5 (81)");
    m.OnNotification(Received("&PX")); // the exit resets the version, not what was identified
    EXPECT_EQ(m.OffsetWarning(),
              "an offset of 10 ms cannot be held by this VQ-5 (version 8.1): it will store 26 ms");
    m.m_Values.m_Slider[slOffset] = 16;
    EXPECT_EQ(m.OffsetWarning(), "");
    m.m_Values.m_Slider[slOffset] = 10;
    m.m_Values.m_CheckTransConfig = 0; // not written, nothing to say
    EXPECT_EQ(m.OffsetWarning(), "");
    Identify(m, "&PPVQ-5 (87)");
    m.m_Values.m_CheckTransConfig = 1;
    EXPECT_EQ(m.OffsetWarning(), "");
    m.m_Values.m_Slider[slOffset] = 28;
    EXPECT_EQ(m.OffsetWarning(),
              "an offset of 28 ms cannot be held by this VQ-5 (version 8.7): it will store 12 ms");
}
