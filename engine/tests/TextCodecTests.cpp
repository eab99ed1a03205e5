// The small text helpers: hexadecimal digits, whole numbers, escaping and its reverse.
#include "TextCodec.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>

namespace vq5 {
namespace {

struct HexRow {
    char c;
    int value;   // -1: no digit
    bool device; // a digit as the device writes it
};

class HexDigits : public ::testing::TestWithParam<HexRow> {};

TEST_P(HexDigits, ValueAndDeviceForm) {
    const HexRow& row = GetParam();
    EXPECT_EQ(HexDigitValue(row.c), row.value) << row.c;
    EXPECT_EQ(IsDeviceHexDigit(row.c), row.device) << row.c;
}

INSTANTIATE_TEST_SUITE_P(Chars, HexDigits,
                         ::testing::Values(HexRow{'0', 0, true}, HexRow{'9', 9, true}, HexRow{'A', 10, true},
                                           HexRow{'F', 15, true}, HexRow{'a', 10, false},
                                           HexRow{'f', 15, false}, HexRow{'G', -1, false},
                                           HexRow{'g', -1, false}, HexRow{'/', -1, false},
                                           HexRow{':', -1, false}, HexRow{'@', -1, false},
                                           HexRow{'`', -1, false}, HexRow{'\0', -1, false}));

struct NumberRow {
    const char* text;
    int base;
    std::optional<unsigned long> value;
};

std::ostream& operator<<(std::ostream& os, const NumberRow& row) {
    return os << '"' << row.text << "\" base " << row.base;
}

class Numbers : public ::testing::TestWithParam<NumberRow> {};

TEST_P(Numbers, WholeTextOrNothing) {
    const NumberRow& row = GetParam();
    EXPECT_EQ(ParseNumber<unsigned long>(row.text, row.base), row.value);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Numbers,
    ::testing::Values(NumberRow{"0", 10, 0ul}, NumberRow{"42", 10, 42ul}, NumberRow{"007", 10, 7ul},
                      NumberRow{"", 10, std::nullopt}, NumberRow{"-1", 10, std::nullopt},
                      NumberRow{"+1", 10, std::nullopt}, NumberRow{" 1", 10, std::nullopt},
                      NumberRow{"1 ", 10, std::nullopt}, NumberRow{"1x", 10, std::nullopt},
                      NumberRow{"0x10", 16, std::nullopt},
                      NumberRow{"18446744073709551616", 10, std::nullopt}, NumberRow{"FF", 16, 255ul},
                      NumberRow{"ff", 16, 255ul}, NumberRow{"G", 16, std::nullopt},
                      NumberRow{"A", 10, std::nullopt}));

TEST(Numbers, SignedTypesTakeAMinusAndKeepTheirRange) {
    EXPECT_EQ(ParseNumber<long>("-5"), -5L);
    EXPECT_EQ(ParseNumber<int>("2147483647"), 2147483647);
    EXPECT_EQ(ParseNumber<int>("2147483648"), std::nullopt);
    EXPECT_EQ(ParseNumber<unsigned char>("256"), std::nullopt);
}

struct EscapeRow {
    const char* name;
    std::string plain;
    std::string escaped;
};

std::ostream& operator<<(std::ostream& os, const EscapeRow& row) {
    return os << row.name;
}

class Escapes : public ::testing::TestWithParam<EscapeRow> {};

TEST_P(Escapes, EscapeAndBack) {
    const EscapeRow& row = GetParam();
    EXPECT_EQ(EscapeText(row.plain), row.escaped);
    EXPECT_EQ(UnescapeText(row.escaped), row.plain);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Escapes,
    ::testing::Values(EscapeRow{"Printable", "VQ-5 ~ {ok}", "VQ-5 ~ {ok}"},
                      EscapeRow{"Backslash", "a\\b", "a\\\\b"},
                      EscapeRow{"Controls", std::string("\n\r\t\0", 4), "\\x0A\\x0D\\x09\\x00"},
                      EscapeRow{"DelAndUpperHalf", "\x7F\xE9\xFF", "\\x7F\\xE9\\xFF"},
                      EscapeRow{"TerminalEscape", "\x1b]0;title\x07", "\\x1B]0;title\\x07"}),
    [](const ::testing::TestParamInfo<EscapeRow>& info) { return std::string(info.param.name); });

struct UnescapeRow {
    const char* name;
    std::string escaped;
    std::string plain;
};

std::ostream& operator<<(std::ostream& os, const UnescapeRow& row) {
    return os << row.name;
}

class Unescapes : public ::testing::TestWithParam<UnescapeRow> {};

TEST_P(Unescapes, ReadsEarlierFormsAndBrokenEscapes) {
    EXPECT_EQ(UnescapeText(GetParam().escaped), GetParam().plain);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Unescapes,
    ::testing::Values(UnescapeRow{"NamedControls", "a\\nb\\rc\\td", "a\nb\rc\td"},
                      UnescapeRow{"LowerCaseHex", "\\x4a", "J"}, UnescapeRow{"ShortHex", "ok\\x4", "ok\\x4"},
                      UnescapeRow{"NoHex", "\\xZZ", "\\xZZ"}, UnescapeRow{"OtherEscape", "\\q", "q"},
                      UnescapeRow{"TrailingBackslash", "a\\", "a\\"}),
    [](const ::testing::TestParamInfo<UnescapeRow>& info) { return std::string(info.param.name); });

TEST(Escapes, EveryByteSurvivesAsPrintableAscii) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    const std::string esc = EscapeText(all);
    for (char c : esc)
        EXPECT_TRUE(c >= 0x20 && c < 0x7F);
    EXPECT_EQ(UnescapeText(esc), all);
}

} // namespace
} // namespace vq5
