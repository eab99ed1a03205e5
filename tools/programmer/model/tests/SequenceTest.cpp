// The read and write sequences the programmer queues between program-mode entry and exit.
#include "ProgrammerModel.h"

#include "CommandSet.h"

#include <gtest/gtest.h>

using namespace vq5;
using namespace vq5::programmer;

namespace {

using Texts = std::vector<std::string>;

CSequence MustWrite(const CProgrammerModel& m) {
    std::string error;
    const auto seq = m.WriteSequence(error);
    EXPECT_TRUE(seq.has_value()) << error;
    EXPECT_TRUE(error.empty());
    return seq.value_or(CSequence{});
}

// What the message layer lets through for a device version: gates tested and removed.
Texts OnTheWire(const Texts& texts, unsigned major, unsigned minor) {
    Texts out;
    for (const auto& t : texts) {
        const bool gated = t.size() >= 5 && (t[2] == '>' || t[2] == '<');
        if (gated && !device::GatePasses(t, major, minor))
            continue;
        out.emplace_back(device::StripGates(t));
    }
    return out;
}

} // namespace

TEST(ProgrammerRead, QueriesEveryItemInOrder) {
    const CSequence seq = CProgrammerModel::ReadSequence(false);
    const Texts expected = {"&PIA",    "91<&PFC", "91<&PIB", "91<&PFB", "91<&PIC", "91<&PFK",
                            "91<&PID", "&PFE",    "&PFS",    "&PFO",    "&PFT",    "&PFD",
                            "&PFR",    "&PFQ",    "80>&PFA", "83>&PFG", "85>&PFL", "91>&PFF",
                            "91>&PF1", "91>&PF2", "71>&PKW", "71>&PKM", "71>&PKO", "71>&PKS"};
    EXPECT_EQ(seq.texts, expected);
    EXPECT_FALSE(seq.reboot);
}

TEST(ProgrammerRead, ExpertModeAlsoAsksTheParallelTransponder) {
    const CSequence plain = CProgrammerModel::ReadSequence(false);
    const CSequence expert = CProgrammerModel::ReadSequence(true);
    ASSERT_EQ(expert.texts.size(), plain.texts.size() + 1);
    EXPECT_EQ(expert.texts[20], "87>&PFV");
    EXPECT_EQ(std::count(plain.texts.begin(), plain.texts.end(), "87>&PFV"), 0);
}

TEST(ProgrammerRead, Version91SkipsTheDatacallsButAsksTheCityFlags) {
    const Texts wire = OnTheWire(CProgrammerModel::ReadSequence(false).texts, 9, 1);
    for (const char* gone : {"&PFC", "&PIB", "&PFB", "&PIC", "&PFK", "&PID"})
        EXPECT_EQ(std::count(wire.begin(), wire.end(), gone), 0) << gone;
    for (const char* kept : {"&PFT", "&PFR", "&PFF", "&PF1", "&PF2", "&PFG", "&PFL", "&PKO"})
        EXPECT_EQ(std::count(wire.begin(), wire.end(), kept), 1) << kept;
}

TEST(ProgrammerWrite, EverythingIndeterminateSendsNothingBetweenEntryAndExit) {
    CProgrammerModel m;
    m.LoadDefaults("x: ");
    const CSequence seq = MustWrite(m);
    EXPECT_TRUE(seq.texts.empty());
    EXPECT_FALSE(seq.reboot);
}

TEST(ProgrammerWrite, SkipsIndeterminateAndKeepsTheFlagOrder) {
    CProgrammerModel m;
    m.LoadDefaults("x: ");
    m.m_Values.m_Flag[fStadCAT2] = tsOn;
    m.m_Values.m_Flag[fClearEeprom] = tsOff;
    m.m_Values.m_Flag[fParalelleTransponder] = tsOff; // written though hidden outside expert mode
    m.m_Values.m_Flag[fVertaalLijnnummers] = tsOn;
    m.m_Values.m_Flag[fReadyToGo] = tsOn;
    m.m_Values.m_Flag[fDoorLussen] = tsOff;
    EXPECT_EQ(MustWrite(m).texts,
              (Texts{"&PFE0", "91<&PFT1", "83>&PFG1", "85>&PFL0", "87>&PFV0", "91>&PF21"}));
}

TEST(ProgrammerWrite, AllFlagsWithTheirGates) {
    CProgrammerModel m;
    m.LoadDefaults("x: ");
    m.m_Values.m_Flag.fill(tsOn);
    EXPECT_EQ(MustWrite(m).texts,
              (Texts{"&PFE1", "&PFS1", "&PFO1", "91<&PFT1", "&PFD1", "91<&PFR1", "&PFQ1", "83>&PFG1",
                     "85>&PFL1", "87>&PFV1", "91>&PFF1", "91>&PF11", "91>&PF21"}));
}

TEST(ProgrammerWrite, IdentifierDatacallsFilterAndReboot) {
    CProgrammerModel m;
    m.LoadDefaults("05 March 2024: ");
    m.m_Values.m_CheckConfigID = 1;
    m.m_Values.m_ConfigID = "05 March 2024: lijn 7";
    m.m_Values.m_DataCall = {tsOn, tsOff, tsIndeterminate};
    m.m_Values.m_DataCallText[0] = "&P.1";
    m.m_Values.m_DataCallText[1] = "not sent while off";
    m.m_Values.m_Flag[fStreekvervoer] = tsOn;
    m.m_Values.m_CheckTransConfig = 1;
    m.m_Values.m_Slider = {15, 3, 22, 10};
    m.m_Values.m_Reboot = 1;
    const CSequence seq = MustWrite(m);
    EXPECT_EQ(seq.texts, (Texts{"&PIA05 March 2024: lijn 7", "91<&PFC1", "91<&PIB&P.1", "91<&PFB0", "&PFS1",
                                "71>&PKWF", "71>&PKM3", "82<&PKOE", "82>&PKOC", "71>&PKSA"}));
    EXPECT_TRUE(seq.reboot);
}

TEST(ProgrammerWrite, Version91DropsTheDatacallAndTableSets) {
    CProgrammerModel m;
    m.LoadDefaults("x: ");
    m.m_Values.m_DataCall = {tsOn, tsOn, tsOn};
    m.m_Values.m_Flag.fill(tsOn);
    const Texts wire = OnTheWire(MustWrite(m).texts, 9, 1);
    for (const auto& t : wire) {
        EXPECT_NE(t.substr(0, 3), "&PI") << t;
        EXPECT_NE(t, "&PFT1");
        EXPECT_NE(t, "&PFR1");
        EXPECT_NE(t, "&PFC1");
    }
    EXPECT_EQ(std::count(wire.begin(), wire.end(), "&PF21"), 1);
    EXPECT_EQ(std::count(wire.begin(), wire.end(), "&PFV1"), 1); // "87>" alone lets it through
}

TEST(ProgrammerWrite, OffsetInBothEncodings) {
    CProgrammerModel m;
    m.LoadDefaults("x: ");
    m.m_Values.m_CheckTransConfig = 1;
    struct Row {
        int offset;
        const char* old;
        const char* now;
    };
    for (const Row& r : {Row{22, "82<&PKOE", "82>&PKOC"}, Row{10, "82<&PKO2", "82>&PKO0"},
                         Row{25, "82<&PKO1", "82>&PKOF"}, Row{16, "82<&PKO8", "82>&PKO6"}}) {
        m.m_Values.m_Slider[slOffset] = r.offset;
        const Texts t = MustWrite(m).texts;
        ASSERT_EQ(t.size(), 5u);
        EXPECT_EQ(t[2], r.old);
        EXPECT_EQ(t[3], r.now);
        // Exactly one of the two reaches any device.
        for (auto [ma, mi] : {std::pair{8u, 1u}, std::pair{8u, 2u}, std::pair{9u, 1u}, std::pair{7u, 0u}})
            EXPECT_EQ(device::GatePasses(t[2], ma, mi) + device::GatePasses(t[3], ma, mi), 1);
    }
}

TEST(ProgrammerWrite, WriteBoxesOffSendNoIdentifierOrFilter) {
    CProgrammerModel m;
    m.LoadDefaults("x: ");
    m.m_Values.m_ConfigID = std::string(200, 'x'); // not written, so not refused
    m.m_Values.m_Slider = {15, 15, 25, 15};
    std::string error;
    const auto seq = m.WriteSequence(error);
    ASSERT_TRUE(seq);
    EXPECT_TRUE(seq->texts.empty());
}

TEST(ProgrammerWrite, TextsThatDoNotFitAreRefusedNamingTheField) {
    CProgrammerModel m;
    m.LoadDefaults("x: ");
    m.m_Values.m_CheckConfigID = 1;
    std::string error;

    m.m_Values.m_ConfigID = std::string(95, 'a'); // "&PIA" + 95 = 99: fits
    auto seq = m.WriteSequence(error);
    ASSERT_TRUE(seq) << error;
    EXPECT_EQ(seq->texts.at(0).size(), 99u);

    m.m_Values.m_ConfigID = std::string(96, 'a');
    EXPECT_FALSE(m.WriteSequence(error));
    EXPECT_NE(error.find("\"Configuratie identifier\""), std::string::npos) << error;
    EXPECT_NE(error.find("95"), std::string::npos) << error;

    m.m_Values.m_ConfigID = "ok";
    m.m_Values.m_DataCall[2] = tsOn;
    m.m_Values.m_DataCallText[2] = std::string(92, 'b'); // "91<&PID" + 92 = 99: fits
    seq = m.WriteSequence(error);
    ASSERT_TRUE(seq) << error;
    EXPECT_EQ(seq->texts.back().size(), 99u);
    m.m_Values.m_DataCallText[2] = std::string(93, 'b');
    EXPECT_FALSE(m.WriteSequence(error));
    EXPECT_NE(error.find("\"On GP Key\""), std::string::npos) << error;
}

TEST(ProgrammerWrite, EmptyAndUnprintableTextsAreRefused) {
    CProgrammerModel m;
    m.LoadDefaults("x: ");
    m.m_Values.m_CheckConfigID = 1;
    std::string error;
    m.m_Values.m_ConfigID.clear(); // "&PIA" alone would be the query
    EXPECT_FALSE(m.WriteSequence(error));
    EXPECT_NE(error.find("empty"), std::string::npos);
    m.m_Values.m_ConfigID = "line\nbreak";
    EXPECT_FALSE(m.WriteSequence(error));
    EXPECT_NE(error.find("printable"), std::string::npos);
    m.m_Values.m_ConfigID = "caf\xE9";
    EXPECT_FALSE(m.WriteSequence(error));
    m.m_Values.m_ConfigID = "100% ok %s %n"; // no formatting happens to the text
    auto seq = m.WriteSequence(error);
    ASSERT_TRUE(seq);
    EXPECT_EQ(seq->texts.at(0), "&PIA100% ok %s %n");

    m.m_Values.m_CheckConfigID = 0;
    m.m_Values.m_DataCall[0] = tsOn;
    m.m_Values.m_DataCallText[0].clear();
    EXPECT_FALSE(m.WriteSequence(error));
    EXPECT_NE(error.find("\"On change lijnnr\""), std::string::npos);
    m.m_Values.m_DataCall[0] = tsOff; // an off datacall sends no text, so nothing to refuse
    EXPECT_TRUE(m.WriteSequence(error));
}

TEST(ProgrammerWrite, OutOfRangeSliderIsRefused) {
    CProgrammerModel m;
    m.LoadDefaults("x: ");
    m.m_Values.m_CheckTransConfig = 1;
    m.m_Values.m_Slider[slWindow] = 16;
    std::string error;
    EXPECT_FALSE(m.WriteSequence(error));
    EXPECT_NE(error.find("Window"), std::string::npos);
}

TEST(ProgrammerWrite, SelectionPicksSingleConstantsAndDatacallTexts) {
    CProgrammerModel m;
    m.LoadDefaults("x: ");
    m.m_Values.m_DataCall[1] = tsOn;
    m.m_Values.m_Slider = {9, 2, 12, 4};
    CWriteSelection sel;
    sel.filter[slOffset] = true;
    sel.filter[slStable] = true;
    sel.dataCallText[1] = false;
    std::string error;
    const auto seq = m.WriteSequence(sel, error);
    ASSERT_TRUE(seq) << error;
    EXPECT_EQ(seq->texts, (Texts{"91<&PFB1", "82<&PKO4", "82>&PKO2", "71>&PKS4"}));
}
