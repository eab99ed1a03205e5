// One visit as the tools and the verbs keep it: the texts a device took, by its version and
// letter; what was read, one value per setting; the configuration identifier either way. And
// the report built from it carries the link figures and the device's history.
#include "RecordTestSupport.h"
#include "ServiceReport.h"
#include "VisitLog.h"

#include <gtest/gtest.h>

namespace vq5::record {
namespace {

struct WroteRow {
    const char* name;
    unsigned major, minor;
    char letter;
    std::vector<std::string> queued;
    std::vector<std::string> recorded; // in order, numbered from 1
    const char* configId;
};

class VisitLogWroteTest : public ::testing::TestWithParam<WroteRow> {};

TEST_P(VisitLogWroteTest, RecordsWhatWentOut) {
    const WroteRow& row = GetParam();
    CVisitLog log("VQ5WPrg", "COM2");
    log.Identified("VQ-5 (87) box", row.letter, row.major, row.minor);
    log.Wrote(row.queued);
    const Visit v = log.Finish("done");
    std::vector<std::string> written;
    for (std::size_t i = 0; i < v.items.size(); ++i) {
        EXPECT_EQ(v.items[i].kind, kKindWritten);
        EXPECT_EQ(v.items[i].item, std::to_string(i + 1));
        written.push_back(v.items[i].value);
    }
    EXPECT_EQ(written, row.recorded);
    EXPECT_EQ(v.configId, row.configId);
    EXPECT_EQ(v.version, std::to_string(row.major) + "." + std::to_string(row.minor));
    EXPECT_EQ(v.letter, std::string(1, row.letter));
    EXPECT_EQ(v.outcome, "done");
    EXPECT_FALSE(v.ended.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VisitLogWroteTest,
    ::testing::Values(
        WroteRow{"GatePassesFromItsVersionOn", 8, 7, 'P', {"87>&PFR1", "88>&PFD1"}, {"&PFR1"}, ""},
        WroteRow{"BeforeGateHoldsBackFromItsVersion", 9, 1, 'P', {"91<&PFS1", "91>&PS31"}, {"&PS31"}, ""},
        WroteRow{"TwoGatesBothPass", 8, 9, 'P', {"87>91<&PFT0", "87>91<&PFU1"}, {"&PFT0", "&PFU1"}, ""},
        WroteRow{"OffsetInTheEncodingOfTheVersion", 8, 1, 'P', {"82<&PKOE", "82>&PKO0"}, {"&PKOE"}, ""},
        WroteRow{"AddressedToTheDeviceLetter",
                 9,
                 3,
                 'Q',
                 {"&PIAnew one", "71>&PKW8"},
                 {"&QIAnew one", "&QKW8"},
                 "new one"},
        WroteRow{"UngatedTextsAsTheyStand", 0, 0, 'P', {"$AB", "&PFE1"}, {"$AB", "&PFE1"}, ""},
        WroteRow{"NothingTaken", 8, 7, 'P', {}, {}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VisitLogTest, WrittenTextsNumberOnAcrossBatches) {
    CVisitLog log("VQ5WTest", "COM1");
    log.Identified("VQ-5 (91)", 'P', 9, 1);
    log.Wrote({"&PO1"});
    log.Wrote({"&PO2", "&PO3"});
    const Visit v = log.Current();
    ASSERT_EQ(v.items.size(), 3u);
    EXPECT_EQ(v.items[2], (VisitItem{kKindWritten, "3", "&PO3"}));
}

TEST(VisitLogTest, ARepeatedMessageIsRecordedOnceUntilAnotherFollows) {
    CVisitLog log("VQ5WVLP", "COM1");
    EXPECT_TRUE(log.WroteUnlessRepeated("$AB"));
    EXPECT_FALSE(log.WroteUnlessRepeated("$AB"));
    EXPECT_TRUE(log.WroteUnlessRepeated("$CD"));
    EXPECT_TRUE(log.WroteUnlessRepeated("$AB"));
    EXPECT_FALSE(log.WroteUnlessRepeated("$AB"));
    const std::vector<VisitItem> want = {
        {kKindWritten, "1", "$AB"}, {kKindWritten, "2", "$CD"}, {kKindWritten, "3", "$AB"}};
    EXPECT_EQ(log.Current().items, want);
    // A new visit starts afresh: the message it plays first is its own.
    CVisitLog next("VQ5WVLP", "COM1");
    EXPECT_TRUE(next.WroteUnlessRepeated("$AB"));
    EXPECT_EQ(next.Current().items.size(), 1u);
}

TEST(VisitLogTest, ASettingKeepsItsLatestValueWhileRowsAddUp) {
    CVisitLog log("VQ5WTCT", "COM1");
    log.Read(kKindConfig, "TransConfigSliderWindow", "8");
    log.Read(kKindInfo, "Counters", "1 2");
    log.Read(kKindInfo, "Counters", "3 4");
    log.Read(kKindConfig, "TransConfigSliderWindow", "9"); // the read-back after a save
    log.ReadLatest(kKindInfo, "Inputs", "0000");
    log.ReadLatest(kKindInfo, "Inputs", "0100");
    const std::vector<VisitItem> want = {{kKindConfig, "TransConfigSliderWindow", "9"},
                                         {kKindInfo, "Counters", "1 2"},
                                         {kKindInfo, "Counters", "3 4"},
                                         {kKindInfo, "Inputs", "0100"}};
    EXPECT_EQ(log.Current().items, want);
    EXPECT_FALSE(log.HasIdentification());
}

TEST(VisitLogTest, ConfigurationIdentifierReadOrWrittenIsTheVisits) {
    CVisitLog log("VQ5WPrg", "COM1");
    log.Read(kKindConfig, "ConfigID", "DEPOT-7");
    EXPECT_EQ(log.Current().configId, "DEPOT-7");
    log.Read(kKindInfo, "Version config", "DEPOT-8");
    EXPECT_EQ(log.Current().configId, "DEPOT-8");
    log.Identified("VQ-5 (87)", 'P', 8, 7);
    log.Wrote({"&PIADEPOT-9"});
    EXPECT_EQ(log.Current().configId, "DEPOT-9");
}

TEST(ServiceReportTest, BuiltReportCarriesLinkFiguresAndTheDevicesHistory) {
    const std::string where = test::FreshFolder("report") + "/record.db";
    std::string error;
    {
        auto db = CServiceRecord::Open(where, error);
        ASSERT_TRUE(db) << error;
        Visit earlier;
        earlier.started = earlier.ended = NowText();
        earlier.tool = "VQ5WTCT";
        earlier.identification = "VQ-5 (87) history box";
        earlier.outcome = "done";
        ASSERT_GT(db->Add(earlier, error), 0) << error;
    }
    RecordConfig place;
    place.where = where;
    ReportInput in;
    in.tool = "VQ5WPrg";
    in.identification = "VQ-5 (87) history box";
    in.configuration = {{"ConfigID", "DEPOT-7"}};
    LinkFigures start, now;
    start.kept = now.kept = true;
    start.takenAt = 10;
    now.takenAt = 12;
    start.polls = 100;
    now.polls = 300;
    now.framesSent = 4242;
    const std::string html = BuildReport(in, start, now, place);
    EXPECT_NE(html.find("4242"), std::string::npos);            // frames sent
    EXPECT_NE(html.find(">100.0<"), std::string::npos) << html; // 200 polls in 2 s
    EXPECT_NE(html.find("DEPOT-7"), std::string::npos);
    EXPECT_NE(html.find("VQ5WTCT"), std::string::npos); // the earlier visit
    EXPECT_EQ(html.find("No link figures were taken."), std::string::npos);

    now.kept = false; // an engine built without figures
    const std::string none = BuildReport(in, start, now, place);
    EXPECT_NE(none.find("No link figures were taken."), std::string::npos);
}

} // namespace
} // namespace vq5::record
