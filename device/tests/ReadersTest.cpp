// Value readers: the fifth character on, never past the end of a short reply.
#include "CommandSet.h"

#include <gtest/gtest.h>

using namespace vq5::device;

TEST(ReadFlag, OneIsOnAnythingElseOff) {
    EXPECT_EQ(ReadFlag("&QFS1"), std::optional<bool>(true));
    EXPECT_EQ(ReadFlag("&QFS0"), std::optional<bool>(false));
    EXPECT_EQ(ReadFlag("&QFSx"), std::optional<bool>(false));
    EXPECT_EQ(ReadFlag("&QFS10"), std::optional<bool>(true));
}

TEST(ReadFlag, ShortRepliesCarryNoValue) {
    EXPECT_FALSE(ReadFlag("&QFS").has_value());
    EXPECT_FALSE(ReadFlag("&QF").has_value());
    EXPECT_FALSE(ReadFlag("").has_value());
    // A view that stops before a '1' in memory must not see it.
    const char buf[] = "&QFS1";
    EXPECT_FALSE(ReadFlag(std::string_view(buf, 4)).has_value());
}

TEST(ReadConstant, HexDigitsAndCodeMinus55) {
    EXPECT_EQ(ReadConstant("&QKW8"), std::optional<unsigned>(8));
    EXPECT_EQ(ReadConstant("&PKWF"), std::optional<unsigned>(15));
    EXPECT_EQ(ReadConstant("&PKWA"), std::optional<unsigned>(10));
    EXPECT_EQ(ReadConstant("&PKW0"), std::optional<unsigned>(0));
    EXPECT_EQ(ReadConstant("&PKWG"), std::optional<unsigned>(16)); // not masked here
    EXPECT_EQ(*ReadConstant("&PKW#") & 15u, static_cast<unsigned>(('#' - 55) & 15));
    EXPECT_FALSE(ReadConstant("&PKW").has_value());
}

TEST(ReadText, FromTheFifthCharacterToTheEnd) {
    EXPECT_EQ(ReadText("&QIA12 mei 2024: bus 7"), std::optional<std::string>("12 mei 2024: bus 7"));
    EXPECT_EQ(ReadText("&QIB&P.1"), std::optional<std::string>("&P.1"));
    EXPECT_EQ(ReadText("&PIH"), std::optional<std::string>(""));
    EXPECT_FALSE(ReadText("&PI").has_value());
}

TEST(ReadCounters, ThreeFieldsOfEightHexDigits) {
    auto c = ReadCounters("&QIF0000000A0000000200000003");
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->reboots, 10u);
    EXPECT_EQ(c->configInits, 2u);
    EXPECT_EQ(c->programMode, 3u);
    auto d = ReadCounters("&PIF0000000A00000003000000FF");
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(d->programMode, 255u);
    auto e = ReadCounters("&PIFFFFFFFFF00000000ffffffff");
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->reboots, 0xFFFFFFFFu);
    EXPECT_EQ(static_cast<std::int32_t>(e->reboots), -1);
    EXPECT_EQ(e->programMode, 0xFFFFFFFFu);
}

TEST(ReadCounters, ShortOrDamagedRepliesCarryNoValue) {
    // One digit short, and the field boundaries with a space in them.
    EXPECT_FALSE(ReadCounters("&QIF0000000A000000020000000").has_value());
    EXPECT_FALSE(ReadCounters("&QIF0000000A00000002 00000003").has_value());
    EXPECT_FALSE(ReadCounters("&QIF").has_value());
    EXPECT_FALSE(ReadCounters("").has_value());
    const char buf[] = "&QIF0000000A0000000200000003";
    EXPECT_FALSE(ReadCounters(std::string_view(buf, 27)).has_value());
    // Trailing characters after the three fields are left alone.
    EXPECT_TRUE(ReadCounters("&QIF0000000A0000000200000003 extra").has_value());
}

TEST(ReadCounters, FormatIsTheInverse) {
    Counters c{10, 2, 3};
    EXPECT_EQ(FormatCounters(c), "0000000A0000000200000003");
    auto back = ReadCounters("&PIF" + FormatCounters({0xDEADBEEF, 0, 0xFFFFFFFF}));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->reboots, 0xDEADBEEFu);
    EXPECT_EQ(back->configInits, 0u);
    EXPECT_EQ(back->programMode, 0xFFFFFFFFu);
}

TEST(ReplyMatches, PrefixWithTheDeviceLetter) {
    EXPECT_TRUE(ReplyMatches("&QFS1", "&QFS"));
    EXPECT_TRUE(ReplyMatches("&QFS1", "&QF"));
    EXPECT_FALSE(ReplyMatches("&PFS1", "&QFS")); // a reply from the old letter
    EXPECT_FALSE(ReplyMatches("&QF", "&QFS"));   // shorter than the prefix
    EXPECT_TRUE(ReplyMatches("&QIA", "&QIA"));
    EXPECT_FALSE(ReplyMatches("", "&"));
}
