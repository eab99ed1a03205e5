// The information item table agrees with the device command set on labels and gates.
#include "InfoTable.h"

#include "CommandSet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vq5::information;
namespace device = vq5::device;

namespace {

// The table's rows for single-letter items of one kind ('F' flags, 'I' information), in order.
std::vector<const InfoRow*> ItemRows(char kind) {
    std::vector<const InfoRow*> rows;
    for (const InfoRow* r = kInfoTable; r->command; ++r) {
        const std::string c = r->command;
        if (c.size() == 4 && c[2] == kind)
            rows.push_back(r);
    }
    return rows;
}

// The table's row that sends `code`, or none.
const InfoRow* RowOf(const std::string& code) {
    const InfoRow* row = nullptr;
    for (const InfoRow* r = kInfoTable; r->command; ++r)
        if (code == r->command)
            row = r;
    return row;
}

} // namespace

TEST(InfoTableAndCommandSet, FlagRowsMatchTheFlagCatalogue) {
    const auto flags = ItemRows('F');
    for (const InfoRow* r : flags) {
        const std::string c = r->command;
        const device::FlagInfo* f = device::FindFlag(c[3]);
        ASSERT_NE(f, nullptr) << c;
        EXPECT_STREQ(r->label, f->name) << c;
        ASSERT_NE(f->infoGate, nullptr) << c;
        EXPECT_STREQ(r->gate, f->infoGate) << c;
        EXPECT_EQ((r->mask & gExpert) != 0, f->expertOnly) << c;
    }
    EXPECT_EQ(flags.size(), 18u);
    // Every flag the information tool queries has a row.
    for (const auto& f : device::Flags())
        if (f.infoGate) {
            const std::string code = std::string("&PF") + f.item;
            EXPECT_NE(RowOf(code), nullptr) << code;
        }
}

TEST(InfoTableAndCommandSet, InformationRowsMatchTheItemCatalogue) {
    const auto items = ItemRows('I');
    for (const InfoRow* r : items) {
        const std::string c = r->command;
        const device::InfoItem* it = device::FindInfoItem(c[3]);
        ASSERT_NE(it, nullptr) << c;
        EXPECT_STREQ(r->label, it->name) << c;
        EXPECT_STREQ(r->gate, it->gate) << c;
    }
    EXPECT_EQ(items.size(), 23u);
    EXPECT_EQ(device::InfoItems().size(), 23u);
}

TEST(InfoTableAndCommandSet, ConstantRowsCarryTheConstantNames) {
    for (const auto& k : device::Constants()) {
        const std::string code = std::string("&PK") + k.item;
        const InfoRow* row = RowOf(code);
        ASSERT_NE(row, nullptr) << code;
        EXPECT_STREQ(row->label, k.name);
        EXPECT_STREQ(row->gate, "72>");
        EXPECT_EQ(row->display, dtConstant);
    }
}
