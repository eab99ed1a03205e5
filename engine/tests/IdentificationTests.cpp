// The identification reply as the message layer and the tools' models read it.
#include "Identification.h"

#include <gtest/gtest.h>

#include <string>

using namespace vq5;

namespace {

struct IdentRow {
    std::string reply;
    bool identification;
    char letter;
    std::string text;
    bool versioned;
    unsigned major, minor;
};

class IdentificationRows : public ::testing::TestWithParam<IdentRow> {};

TEST_P(IdentificationRows, LetterTextAndVersion) {
    const IdentRow& row = GetParam();
    const auto id = ReadIdentification(row.reply);
    ASSERT_EQ(id.has_value(), row.identification);
    if (!id)
        return;
    EXPECT_EQ(id->letter, row.letter);
    EXPECT_EQ(id->text, row.text);
    ASSERT_EQ(id->version.has_value(), row.versioned);
    if (row.versioned) {
        EXPECT_EQ(*id->version, (DeviceVersion{row.major, row.minor}));
    }
    // The version of a notification's text reads the same as that of the reply.
    EXPECT_EQ(IdentificationVersion(id->text), id->version);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, IdentificationRows,
    ::testing::Values(IdentRow{"&QPVQ-5 (87) VQ-5 simulator", true, 'Q', "VQ-5 (87) VQ-5 simulator", true, 8,
                               7},
                      IdentRow{"&RPVQ-5 (A3)", true, 'R', "VQ-5 (A3)", true, 10, 3},
                      IdentRow{"&PPVQ-5 (8", true, 'P', "VQ-5 (8", false, 0, 0},     // cut short
                      IdentRow{"&PPVQ-5 (", true, 'P', "VQ-5 (", false, 0, 0},       // '(' at the end
                      IdentRow{"&SPVQ-5 (zz)", true, 'S', "VQ-5 (zz)", false, 0, 0}, // not digits
                      IdentRow{"&SPVQ-5 (8a)", true, 'S', "VQ-5 (8a)", false, 0, 0}, // lower case is none
                      IdentRow{"&SPVQ-5 x (91) (82)", true, 'S', "VQ-5 x (91) (82)", true, 9, 1}, // first '('
                      IdentRow{"&SPVQ-5", true, 'S', "VQ-5", false, 0, 0},
                      IdentRow{std::string("&PPVQ-5 (82)\0(91)", 17), true, 'P', "VQ-5 (82)", true, 8, 2},
                      IdentRow{"&TPVQ-5 (91)" + std::string(200, 'z'), true, 'T',
                               "VQ-5 (91)" + std::string(54, 'z'), true, 9, 1}, // 63 characters at most
                      IdentRow{"&PPVQ-", false, 0, "", false, 0, 0},
                      IdentRow{"&PFS1", false, 0, "", false, 0, 0},
                      IdentRow{"PPPVQ-5 (87)", false, 0, "", false, 0, 0},
                      IdentRow{"&PXVQ-5 (87)", false, 0, "", false, 0, 0}));

} // namespace
