// Matching received texts to table rows and formatting their values.
#include "InfoTable.h"

#include <gtest/gtest.h>

#include <random>

using namespace vq5::information;

namespace {
std::vector<ListRow> Rows(std::string_view reply) {
    return RowsForReply(reply);
}
ListRow One(std::string_view reply) {
    auto rows = RowsForReply(reply);
    EXPECT_EQ(rows.size(), 1u) << reply;
    return rows.empty() ? ListRow{} : rows.front();
}
} // namespace

TEST(InfoReply, TextRowsShowEverythingAfterTheCode) {
    EXPECT_EQ(One("&PIAConfig 12"), (ListRow{"Version config", "Config 12"}));
    EXPECT_EQ(One("&PIHVQ-5 V8.7 (87)"), (ListRow{"Version software", "VQ-5 V8.7 (87)"}));
    EXPECT_EQ(One("&PI:1.4"), (ListRow{"RCS ID - LED", "1.4"}));
    EXPECT_EQ(One("&PI<x"), (ListRow{"RCS ID - TRP", "x"}));
    EXPECT_EQ(One("&PIB&P.1"), (ListRow{"Datacall 0", "&P.1"}));
}

TEST(InfoReply, TextWithNothingAfterTheCodeAddsNoRow) {
    EXPECT_TRUE(Rows("&PIH").empty());
    EXPECT_TRUE(Rows("&PIA").empty());
}

TEST(InfoReply, AnyDeviceLetterMatches) {
    EXPECT_EQ(One("&QIAabc"), (ListRow{"Version config", "abc"}));
    EXPECT_EQ(One("&ZFS1"), (ListRow{"StreekVetag", "Flag: On"}));
    EXPECT_EQ(One("&&KW5"), (ListRow{"Transp. Window", "Constant: 5"}));
}

TEST(InfoReply, FlagsAreOnOnlyForTheDigitOne) {
    EXPECT_EQ(One("&PFS1").value, "Flag: On");
    EXPECT_EQ(One("&PFS0").value, "Flag: Off");
    EXPECT_EQ(One("&PFSx").value, "Flag: Off");
    EXPECT_EQ(One("&PFS2").value, "Flag: Off");
    EXPECT_EQ(One("&PF11"), (ListRow{"Stadsvervoer CAT1", "Flag: On"}));
}

TEST(InfoReply, CountersAreSignedDecimals) {
    EXPECT_EQ(One("&PIF0000000A00000003000000FF"),
              (ListRow{"Counters", "reboots=10, config init=3, program mode=255"}));
    EXPECT_EQ(One("&PIFFFFFFFFF0000000000000001").value, "reboots=-1, config init=0, program mode=1");
    EXPECT_EQ(One("&PIF800000007FFFFFFF0000000a").value,
              "reboots=-2147483648, config init=2147483647, program mode=10");
    // Characters after the third field are not part of the counters.
    EXPECT_EQ(One("&PIF000000010000000200000003junk").value, "reboots=1, config init=2, program mode=3");
}

TEST(InfoReply, ShortCountersNeverReadPastTheEnd) {
    // 27 characters: the third field lacks a digit.
    EXPECT_EQ(One("&PIF0000000A00000003000000F").value, "reboots=10, config init=3, program mode=?");
    EXPECT_EQ(One("&PIF0000000A").value, "reboots=10, config init=?, program mode=?");
    EXPECT_EQ(One("&PIF12").value, "reboots=?, config init=?, program mode=?");
    // Nothing after the code: no value, no row.
    EXPECT_TRUE(Rows("&PIF").empty());
}

TEST(InfoReply, CounterFieldsWithOtherCharactersAreUnknown) {
    EXPECT_EQ(One("&PIF0000000G00000003000000FF").value, "reboots=?, config init=3, program mode=255");
    EXPECT_EQ(One("&PIF 000000A00000003000000FF0").value, "reboots=?, config init=3, program mode=255");
}

TEST(InfoReply, ConstantsShowTheirCharacter) {
    EXPECT_EQ(One("&PKO7"), (ListRow{"Transp. Offset", "Constant: 7"}));
    EXPECT_EQ(One("&PKWF"), (ListRow{"Transp. Window", "Constant: F"}));
    EXPECT_EQ(One("&PKS10"), (ListRow{"Transp. Stable", "Constant: 1"}));
    EXPECT_TRUE(Rows("&PKM").empty());
}

TEST(InfoReply, IdentificationAndExitAreSuppressed) {
    for (const char* reply : {"&PPVQ-5 V8.7 (87)", "&QPVQ-5 (91)", "&PX", "&QXR", "&PX0"})
        EXPECT_TRUE(Rows(reply).empty()) << reply;
}

TEST(InfoReply, RepliesThatMatchNothingAreDropped) {
    for (const char* reply :
         {"", "&", "&P", "&PI", "&PIZabc", "&PKZ5", "$PRG", "PIAabc", " &PIAabc", "&PFA1"})
        EXPECT_TRUE(Rows(reply).empty()) << reply;
}

TEST(InfoReply, LongValuesAreCut) {
    std::string reply = "&PIA" + std::string(2000, 'x');
    auto row = One(reply);
    EXPECT_EQ(row.value.size(), kMaxValueText);
}

TEST(InfoReply, TextMayHoldAnyByte) {
    std::string reply("&PIE\0\x01\xff", 7);
    auto row = One(reply);
    EXPECT_EQ(row.value, std::string("\0\x01\xff", 3));
}

TEST(InfoReply, RandomTextsNeverCrashOrOverrun) {
    std::mt19937 rng(12345);
    const std::string alphabet = "&PQIFKXA0123456789:;<BCDEFGHJSTRVWMO";
    for (int i = 0; i < 20000; ++i) {
        std::size_t len = rng() % 40;
        std::string s;
        for (std::size_t k = 0; k < len; ++k)
            s.push_back(k == 0 && rng() % 2 ? '&' : alphabet[rng() % alphabet.size()]);
        for (const auto& row : RowsForReply(s)) {
            EXPECT_FALSE(row.value.empty());
            EXPECT_LE(row.value.size(), kMaxValueText);
            EXPECT_EQ(s[0], '&');
            EXPECT_GT(s.size(), 4u);
        }
    }
}

TEST(InfoFormat, SuppressedRowsHaveNoValue) {
    EXPECT_EQ(FormatValue(kInfoTable[45], "&PPVQ-5"), "");
    EXPECT_EQ(FormatValue(kInfoTable[46], "&PXR"), "");
}

TEST(InfoMatch, ComparesOnlyTheCommandTail) {
    EXPECT_TRUE(RowMatches(kInfoTable[0], "&PIA"));
    EXPECT_TRUE(RowMatches(kInfoTable[0], "xxIA"));
    EXPECT_FALSE(RowMatches(kInfoTable[0], "&PI"));
    EXPECT_FALSE(RowMatches(kInfoTable[0], "&PIB"));
    EXPECT_TRUE(RowMatches(kInfoTable[45], "&QP"));
    EXPECT_FALSE(RowMatches(kInfoTable[47], "&PIA")); // end marker
}
