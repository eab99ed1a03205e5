// The information item table agrees with the device command set on labels and gates.
#include "InfoTable.h"

#include "CommandSet.h"

#include <gtest/gtest.h>

using namespace vq5::information;
namespace device = vq5::device;

TEST(InfoTableAndCommandSet, FlagRowsMatchTheFlagCatalogue) {
    int flags = 0;
    for (const InfoRow* r = kInfoTable; r->command; ++r) {
        std::string c = r->command;
        if (c.size() != 4 || c[2] != 'F')
            continue;
        ++flags;
        const device::FlagInfo* f = device::FindFlag(c[3]);
        ASSERT_NE(f, nullptr) << c;
        EXPECT_STREQ(r->label, f->name) << c;
        ASSERT_NE(f->infoGate, nullptr) << c;
        EXPECT_STREQ(r->gate, f->infoGate) << c;
        EXPECT_EQ((r->mask & gExpert) != 0, f->expertOnly) << c;
    }
    EXPECT_EQ(flags, 18);
    // Every flag the information tool queries has a row.
    for (const auto& f : device::Flags())
        if (f.infoGate) {
            std::string code = std::string("&PF") + f.item;
            bool found = false;
            for (const InfoRow* r = kInfoTable; r->command; ++r)
                found = found || code == r->command;
            EXPECT_TRUE(found) << code;
        }
}

TEST(InfoTableAndCommandSet, InformationRowsMatchTheItemCatalogue) {
    int items = 0;
    for (const InfoRow* r = kInfoTable; r->command; ++r) {
        std::string c = r->command;
        if (c.size() != 4 || c[2] != 'I')
            continue;
        ++items;
        const device::InfoItem* it = device::FindInfoItem(c[3]);
        ASSERT_NE(it, nullptr) << c;
        EXPECT_STREQ(r->label, it->name) << c;
        EXPECT_STREQ(r->gate, it->gate) << c;
    }
    EXPECT_EQ(items, 23);
    EXPECT_EQ(device::InfoItems().size(), 23u);
}

TEST(InfoTableAndCommandSet, ConstantRowsCarryTheConstantNames) {
    for (const auto& k : device::Constants()) {
        std::string code = std::string("&PK") + k.item;
        const InfoRow* row = nullptr;
        for (const InfoRow* r = kInfoTable; r->command; ++r)
            if (code == r->command)
                row = r;
        ASSERT_NE(row, nullptr) << code;
        EXPECT_STREQ(row->label, k.name);
        EXPECT_STREQ(row->gate, "72>");
        EXPECT_EQ(row->display, dtConstant);
    }
}
