// The tables of flags, information items and filter constants, with their gates.
#include "CommandSet.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

using namespace vq5::device;

namespace {
std::string Str(const char* s) {
    return s ? std::string(s) : std::string("<none>");
}
} // namespace

TEST(FlagTable, NineteenFlagsEachOnce) {
    const auto& flags = Flags();
    EXPECT_EQ(flags.size(), 19u);
    std::set<char> items;
    for (const auto& f : flags) {
        EXPECT_TRUE(items.insert(f.item).second) << f.item;
        EXPECT_NE(f.name, nullptr);
    }
    EXPECT_EQ(FindFlag('Z'), nullptr);
}

TEST(FlagTable, GatesPerTool) {
    struct Row {
        char item;
        const char* name;
        const char* set;
        const char* prog;
        const char* info;
        bool expert;
    };
    const Row rows[] = {
        {'S', "StreekVetag", "", "", "", false},
        {'T', "LijnNrTabel", "91<", "", "91<", false},
        {'R', "Bit19GpKey", "91<", "", "91<", false},
        {'C', "DatacallLijnNr", "91<", "91<", "91<", false},
        {'G', "Ready-To-Go", "83>", "83>", "83>", false},
        {'L', "DoorLussen", "85>", "85>", "85>", false},
        {'V', "Paralelle transp.", "87>", "87>", "87>91<", true},
        {'F', "Stadsvervoer Bus", "91>", "91>", "91>", false},
        {'2', "Stadsvervoer CAT2", "91>", "91>", "91>", false},
        {'P', "Programmer", nullptr, nullptr, "", false},
        {'I', "Serieel invert", nullptr, nullptr, "87>91<", true},
        {'A', "", nullptr, "80>", nullptr, false},
    };
    for (const Row& r : rows) {
        const FlagInfo* f = FindFlag(r.item);
        ASSERT_NE(f, nullptr) << r.item;
        EXPECT_STREQ(f->name, r.name);
        EXPECT_EQ(Str(f->setGate), Str(r.set)) << r.item;
        EXPECT_EQ(Str(f->programmerGate), Str(r.prog)) << r.item;
        EXPECT_EQ(Str(f->infoGate), Str(r.info)) << r.item;
        EXPECT_EQ(f->expertOnly, r.expert) << r.item;
    }
}

TEST(InfoTable, TenItemsAndThirteenRevisionIdentifiers) {
    const auto& items = InfoItems();
    ASSERT_EQ(items.size(), 23u);
    EXPECT_EQ(items.front().item, 'A');
    EXPECT_STREQ(items.front().name, "Version config");
    EXPECT_STREQ(FindInfoItem('F')->name, "Counters");
    EXPECT_STREQ(FindInfoItem('0')->name, "RCS ID - H");
    EXPECT_STREQ(FindInfoItem('<')->name, "RCS ID - TRP");
    EXPECT_STREQ(FindInfoItem(':')->gate, "70>");
    EXPECT_STREQ(FindInfoItem('9')->gate, "");
    EXPECT_STREQ(FindInfoItem('B')->gate, "91<");
    // The revision identifiers use the consecutive characters '0' to '<'.
    for (char c = '0'; c <= '<'; ++c)
        EXPECT_NE(FindInfoItem(c), nullptr) << c;
    EXPECT_EQ(FindInfoItem('K'), nullptr);
}

TEST(DeviceGates, WhatADeviceKnowsByItsVersion) {
    // A command text and the versions that know it ("" for all of them).
    const std::pair<const char*, const char*> known[] = {
        {"$PRG", ""},     {"&PXR", ""},    {"&QX", ""},         {"&PS3", "84>"},    {"&PFS", ""},
        {"&QFT1", "91<"}, {"&PFG", "83>"}, {"&PFV", "87>"},     {"&PFI", "87>91<"}, {"&PFA", "80>"},
        {"&PFP", ""},     {"&PKO", "71>"}, {"&PIB&P.1", "91<"}, {"&PI<", "70>"}};
    for (const auto& [text, gate] : known)
        EXPECT_EQ(Str(DeviceGate(text)), gate) << text;
    // Texts no version knows.
    for (const char* text : {"&PKZ", "&PIZ", "&PZ", "$PRX", "&P", "&PF", ""})
        EXPECT_EQ(DeviceGate(text), nullptr) << text;
}

TEST(Constants, FourFilterConstants) {
    const auto& k = Constants();
    ASSERT_EQ(k.size(), 4u);
    EXPECT_EQ(k[0].item, 'W');
    EXPECT_STREQ(k[0].name, "Transp. Window");
    EXPECT_STREQ(k[2].name, "Transp. Offset");
    EXPECT_EQ(static_cast<char>(FilterConstant::Offset), 'O');
}
