// The information item table and what each request button queues.
#include "InfoTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <unistd.h>

using namespace vq5::information;

namespace {

std::vector<std::string> AllCommands() {
    std::vector<std::string> v;
    for (const InfoRow* r = kInfoTable; r->command; ++r)
        v.push_back(std::string(r->gate) + r->command);
    return v;
}

} // namespace

TEST(InfoTable, HasFortySevenRowsAndAnEndMarker) {
    EXPECT_EQ(InfoRowCount(), 47u);
    EXPECT_EQ(kInfoTable[47].command, nullptr);
    EXPECT_STREQ(kInfoTable[0].label, "Version config");
    EXPECT_STREQ(kInfoTable[46].command, "&PX");
    EXPECT_STREQ(kInfoTable[45].command, "&PP");
}

TEST(InfoTable, RowsCarryTheirGatesAndDisplayTypes) {
    struct Expect {
        std::size_t index;
        const char* gate;
        const char* command;
        std::uint32_t mask;
        int display;
        const char* label;
    };
    const Expect expected[] = {
        {1, "91<", "&PIB", 0x09, dtText, "Datacall 0"},
        {5, "", "&PIF", 0x21, dtCounters, "Counters"},
        {20, "70>", "&PI:", 0x05, dtText, "RCS ID - LED"},
        {22, "70>", "&PI<", 0x05, dtText, "RCS ID - TRP"},
        {23, "", "&PFS", 0x11, dtFlag, "StreekVetag"},
        {34, "87>91<", "&PFV", 0x51, dtFlag, "Paralelle transp."},
        {35, "87>91<", "&PFI", 0x51, dtFlag, "Serieel invert"},
        {36, "83>", "&PFG", 0x11, dtFlag, "Ready-To-Go"},
        {38, "91>", "&PFF", 0x11, dtFlag, "Stadsvervoer Bus"},
        {43, "72>", "&PKO", 0x01, dtConstant, "Transp. Offset"},
        {46, "", "&PX", 0x80, dtSuppress, "Niet weergeven"},
    };
    for (const auto& e : expected) {
        const InfoRow& r = kInfoTable[e.index];
        EXPECT_STREQ(r.gate, e.gate) << e.index;
        EXPECT_STREQ(r.command, e.command) << e.index;
        EXPECT_EQ(r.mask, e.mask) << e.index;
        EXPECT_EQ(r.display, e.display) << e.index;
        EXPECT_STREQ(r.label, e.label) << e.index;
    }
}

TEST(InfoTable, CommandsAreDistinctAndMostlyFourCharacters) {
    std::set<std::string> seen;
    for (const InfoRow* r = kInfoTable; r->command; ++r) {
        EXPECT_TRUE(seen.insert(r->command).second) << r->command;
        std::string c = r->command;
        EXPECT_EQ(c.substr(0, 2), "&P");
        if (r->display == dtSuppress)
            EXPECT_EQ(c.size(), 3u);
        else
            EXPECT_EQ(c.size(), 4u);
    }
}

TEST(InfoRequest, CountsPerButton) {
    EXPECT_EQ(RequestTexts(gAllInfo, false).size(), 43u);
    EXPECT_EQ(RequestTexts(gAllInfo, true).size(), 45u);
    EXPECT_EQ(RequestTexts(gVersion, false).size(), 3u);
    EXPECT_EQ(RequestTexts(gVersion, true).size(), 3u);
    EXPECT_EQ(RequestTexts(gRcsIds, false).size(), 13u);
    EXPECT_EQ(RequestTexts(gDataCalls, false).size(), 3u);
    EXPECT_EQ(RequestTexts(gSettings, false).size(), 16u);
    EXPECT_EQ(RequestTexts(gSettings, true).size(), 18u);
    EXPECT_EQ(RequestTexts(gMisc, false).size(), 4u);
}

TEST(InfoRequest, FilterRowsAreNeverRequested) {
    for (std::uint32_t bit : {gAllInfo, gVersion, gRcsIds, gDataCalls, gSettings, gMisc, gExpert})
        for (bool expert : {false, true})
            for (const auto& t : RequestTexts(bit, expert)) {
                EXPECT_NE(t, "&PP");
                EXPECT_NE(t, "&PX");
            }
    EXPECT_TRUE(RequestTexts(0, true).empty());
}

TEST(InfoRequest, AllInfoFollowsTableOrderWithExpertRowsInPlace) {
    auto all = AllCommands();
    std::vector<std::string> expertOn(all.begin(), all.begin() + 45);
    EXPECT_EQ(RequestTexts(gAllInfo, true), expertOn);

    std::vector<std::string> expertOff(all.begin(), all.begin() + 34);
    expertOff.insert(expertOff.end(), all.begin() + 36, all.begin() + 45);
    EXPECT_EQ(RequestTexts(gAllInfo, false), expertOff);

    EXPECT_EQ(RequestTexts(gAllInfo, true)[34], "87>91<&PFV");
    EXPECT_EQ(RequestTexts(gAllInfo, true)[35], "87>91<&PFI");
    EXPECT_EQ(RequestTexts(gAllInfo, false)[34], "83>&PFG");
}

TEST(InfoRequest, ButtonGroupsQueueTheirRows) {
    EXPECT_EQ(RequestTexts(gVersion, false), (std::vector<std::string>{"&PIA", "&PIG", "&PIH"}));
    EXPECT_EQ(RequestTexts(gDataCalls, false), (std::vector<std::string>{"91<&PIB", "91<&PIC", "91<&PID"}));
    EXPECT_EQ(RequestTexts(gMisc, false), (std::vector<std::string>{"&PIE", "&PIF", "&PII", "&PIJ"}));
    auto rcs = RequestTexts(gRcsIds, false);
    ASSERT_EQ(rcs.size(), 13u);
    EXPECT_EQ(rcs.front(), "&PI0");
    EXPECT_EQ(rcs[10], "70>&PI:");
    EXPECT_EQ(rcs.back(), "70>&PI<");
    auto settings = RequestTexts(gSettings, false);
    EXPECT_EQ(settings.front(), "&PFS");
    EXPECT_EQ(settings.back(), "91>&PF2");
    EXPECT_EQ(std::count_if(settings.begin(), settings.end(),
                            [](const std::string& s) { return s.find("&PK") != std::string::npos; }),
              0);
}

TEST(InfoRequest, GroupNames) {
    EXPECT_EQ(GroupByName("all"), gAllInfo);
    EXPECT_EQ(GroupByName("version"), gVersion);
    EXPECT_EQ(GroupByName("rcs"), gRcsIds);
    EXPECT_EQ(GroupByName("datacalls"), gDataCalls);
    EXPECT_EQ(GroupByName("settings"), gSettings);
    EXPECT_EQ(GroupByName("misc"), gMisc);
    EXPECT_EQ(GroupByName("expert"), 0u);
    EXPECT_EQ(GroupByName(""), 0u);
}

TEST(ExpertMode, MarkerFileNamedAfterTheProgram) {
    char tmpl[] = "/tmp/vq5infoXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::filesystem::path dir(tmpl);
    EXPECT_FALSE(ExpertMarkerPresent("VQ5WInfo", dir.string()));
    std::ofstream(dir / "VQ5WInfo.lumark") << "x"; // wrong case: not the marker
    std::ofstream(dir / "VQ5WTest.Lumark") << "x"; // another program's marker
    EXPECT_FALSE(ExpertMarkerPresent("VQ5WInfo", dir.string()));
    std::ofstream(dir / "VQ5WInfo.Lumark"); // empty: content is not read
    EXPECT_TRUE(ExpertMarkerPresent("VQ5WInfo", dir.string()));
    EXPECT_FALSE(ExpertMarkerPresent("", dir.string()));
    EXPECT_FALSE(ExpertMarkerPresent("VQ5WInfo", (dir / "missing").string()));
    std::filesystem::remove_all(dir);
}
