// Reading a filter constant back and the Minimal-Window coupling, shared by the programmer and
// the transponder filter tool.
#include "CommandSet.h"

#include <gtest/gtest.h>

#include <string>

using namespace vq5::device;

namespace {

struct ReadingRow {
    const char* reply;
    unsigned major, minor;
    bool read;
    FilterConstant constant;
    int value;
};

class ReadFilterConstantRows : public ::testing::TestWithParam<ReadingRow> {};

TEST_P(ReadFilterConstantRows, ValueAsTheDeviceHoldsIt) {
    const ReadingRow& row = GetParam();
    const auto r = ReadFilterConstant(row.reply, row.major, row.minor);
    ASSERT_EQ(r.has_value(), row.read) << row.reply;
    if (!row.read)
        return;
    EXPECT_EQ(r->constant, row.constant) << row.reply;
    EXPECT_EQ(r->value, row.value) << row.reply;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReadFilterConstantRows,
    ::testing::Values(
        ReadingRow{"&PKWC", 8, 7, true, FilterConstant::Window, 12},
        ReadingRow{"&QKM3", 8, 7, true, FilterConstant::Minimal, 3},
        ReadingRow{"&PKSa", 8, 7, true, FilterConstant::Stable, 10}, // lower case reads the same
        ReadingRow{"&PKW0", 8, 7, true, FilterConstant::Window, 0},  // not brought into any range
        ReadingRow{"&PKOF", 8, 2, true, FilterConstant::Offset, 25}, // from 8.2: digit + 10
        ReadingRow{"&PKO0", 9, 1, true, FilterConstant::Offset, 10},
        ReadingRow{"&PKO4", 8, 1, true, FilterConstant::Offset, 28}, // before 8.2: 4 + 24
        ReadingRow{"&PKO7", 8, 1, true, FilterConstant::Offset, 31}, // the most a device holds
        ReadingRow{"&PKO8", 0, 0, true, FilterConstant::Offset, 16}, // sign-extended: -8 + 24
        ReadingRow{"&PKOF", 8, 1, true, FilterConstant::Offset, 23}, // -1 + 24
        ReadingRow{"&PKW", 8, 7, false, FilterConstant::Window, 0},  // no value
        ReadingRow{"&PK", 8, 7, false, FilterConstant::Window, 0},   // no item
        ReadingRow{"&PKX5", 8, 7, false, FilterConstant::Window, 0}, // no filter constant
        ReadingRow{"&PKWG", 8, 7, false, FilterConstant::Window, 0}, // not a digit
        ReadingRow{"&PKW#", 8, 7, false, FilterConstant::Window, 0},
        ReadingRow{"&PKO ", 8, 1, false, FilterConstant::Window, 0}));

struct CouplingRow {
    FilterConstant moved;
    int window, minimal;
    bool otherChanged;
    int windowAfter, minimalAfter;
};

class CoupleWindowMinimalRows : public ::testing::TestWithParam<CouplingRow> {};

TEST_P(CoupleWindowMinimalRows, MinimalNeverAboveWindow) {
    const CouplingRow& row = GetParam();
    int window = row.window, minimal = row.minimal;
    EXPECT_EQ(CoupleWindowMinimal(row.moved, window, minimal), row.otherChanged);
    EXPECT_EQ(window, row.windowAfter);
    EXPECT_EQ(minimal, row.minimalAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Moves, CoupleWindowMinimalRows,
    ::testing::Values(CouplingRow{FilterConstant::Window, 3, 7, true, 3, 3},  // Window down takes Minimal
                      CouplingRow{FilterConstant::Window, 9, 7, false, 9, 7}, // room enough
                      CouplingRow{FilterConstant::Window, 7, 7, false, 7, 7},
                      CouplingRow{FilterConstant::Minimal, 8, 12, true, 12, 12}, // Minimal up takes Window
                      CouplingRow{FilterConstant::Minimal, 8, 8, false, 8, 8},
                      CouplingRow{FilterConstant::Minimal, 8, 2, false, 8, 2},
                      // Offset and Stable are not coupled, even with Minimal above Window.
                      CouplingRow{FilterConstant::Offset, 3, 9, false, 3, 9},
                      CouplingRow{FilterConstant::Stable, 3, 9, false, 3, 9}));

} // namespace
