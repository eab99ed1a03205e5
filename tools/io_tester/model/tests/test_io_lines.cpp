// Line and run number decoding, lamp polarity and the lamp tables.
#include "IoLines.h"

#include <gtest/gtest.h>

#include <set>

using namespace vq5::io;

namespace {
// An outputs value with the given T lines high and the rest '0'.
std::string Outputs(std::initializer_list<int> high, char statusLed = '0', char halteLamp = '0') {
    std::string v(kOutputCount, '0');
    v[0] = statusLed;
    v[1] = halteLamp;
    for (int n : high)
        v[TIndex(n)] = '1';
    return v;
}
} // namespace

TEST(Polarity, DirectIsActiveOnlyForOne) {
    EXPECT_TRUE(LampActive('1', Polarity::Direct));
    EXPECT_FALSE(LampActive('0', Polarity::Direct));
    EXPECT_FALSE(LampActive('x', Polarity::Direct));
    EXPECT_FALSE(LampActive('\0', Polarity::Direct));
}

TEST(Polarity, InvertedIsActiveForAnythingButOne) {
    EXPECT_FALSE(LampActive('1', Polarity::Inverted));
    EXPECT_TRUE(LampActive('0', Polarity::Inverted));
    EXPECT_TRUE(LampActive('2', Polarity::Inverted));
}

TEST(LampTables, InputsInReplyOrder) {
    const auto& in = InputLamps();
    const int ids[] = {1005, 1003, 1018, 1019, 1021, 1020};
    const char* labels[] = {"linksaf", "rechtsaf", "hand bediening", "halte knop", "gp key", "Vx lus"};
    const int bitmaps[] = {148, 151, 163, 157, 160, 154};
    for (std::size_t i = 0; i < kInputCount; ++i) {
        EXPECT_EQ(in[i].controlId, ids[i]);
        EXPECT_STREQ(in[i].label, labels[i]);
        EXPECT_EQ(in[i].bitmapActive, bitmaps[i]);
        EXPECT_EQ(in[i].polarity, i == 5 ? Polarity::Inverted : Polarity::Direct) << i;
    }
}

TEST(LampTables, OutputsInReplyOrder) {
    const auto& out = OutputLamps();
    EXPECT_EQ(out[0].controlId, 1063);
    EXPECT_STREQ(out[0].label, "Status led");
    EXPECT_EQ(out[0].polarity, Polarity::Inverted);
    EXPECT_EQ(out[0].bitmapActive, 145);
    EXPECT_EQ(out[1].controlId, 1062);
    EXPECT_STREQ(out[1].label, "Halte lamp");
    EXPECT_EQ(out[1].polarity, Polarity::Direct);
    EXPECT_EQ(out[1].bitmapActive, 142);
    for (int n = 1; n <= 19; ++n) {
        const auto& l = out[TIndex(n)];
        EXPECT_EQ(l.controlId, 1042 + n);
        EXPECT_EQ(std::string(l.label), "T" + std::to_string(n));
        EXPECT_EQ(l.bitmapActive, 139);
        EXPECT_EQ(l.polarity, Polarity::Direct);
    }
}

TEST(LampTables, CreationOrderCoversEveryLampOnce) {
    const auto& order = CreationOrder();
    std::set<int> ids;
    for (const auto& r : order)
        ids.insert(r.input ? InputLamps()[r.index].controlId : OutputLamps()[r.index].controlId);
    EXPECT_EQ(ids.size(), kLampCount);
    EXPECT_STREQ(OutputLamps()[order[6].index].label, "Halte lamp");
    EXPECT_STREQ(OutputLamps()[order[7].index].label, "Status led");
    EXPECT_STREQ(OutputLamps()[order[8].index].label, "T1");
    EXPECT_STREQ(OutputLamps()[order[26].index].label, "T19");
}

TEST(Numbers, AllZeroReadsZero) {
    const auto d = DecodeNumbers(Outputs({}));
    EXPECT_EQ(LineNumberText(d), "LijnNr = 000");
    EXPECT_EQ(RunNumberText(d), "RunNr = 00");
}

TEST(Numbers, LineUnitsAllHighShowsQuestionMark) {
    const auto d = DecodeNumbers(Outputs({7, 8, 9, 10}));
    EXPECT_EQ(LineNumberText(d), "LijnNr = 00?");
    EXPECT_EQ(RunNumberText(d), "RunNr = 00");
}

TEST(Numbers, RunTensFromT3T11T12) {
    const auto d = DecodeNumbers(Outputs({3, 11, 12}));
    EXPECT_EQ(d.run[0], '7');
    EXPECT_EQ(RunNumberText(d), "RunNr = 70");
    EXPECT_EQ(LineNumberText(d), "LijnNr = 000");
}

TEST(Numbers, LineHundredsFromT18T19) {
    const auto d = DecodeNumbers(Outputs({18, 19}));
    EXPECT_EQ(d.line[0], '3');
    EXPECT_EQ(LineNumberText(d), "LijnNr = 300");
}

TEST(Numbers, EachLineHasItsWeight) {
    struct Row {
        int t;
        int digit; // 0 hundreds, 1 tens, 2 units, 3 run tens, 4 run units
        char shows;
    };
    const Row rows[] = {{18, 0, '1'}, {19, 0, '2'}, {6, 1, '1'},  {5, 1, '2'},  {4, 1, '4'},  {17, 1, '8'},
                        {10, 2, '1'}, {9, 2, '2'},  {8, 2, '4'},  {7, 2, '8'},  {12, 3, '1'}, {11, 3, '2'},
                        {3, 3, '4'},  {16, 4, '1'}, {15, 4, '2'}, {14, 4, '4'}, {13, 4, '8'}};
    for (const Row& r : rows) {
        const auto d = DecodeNumbers(Outputs({r.t}));
        const char got[5] = {d.line[0], d.line[1], d.line[2], d.run[0], d.run[1]};
        for (int k = 0; k < 5; ++k)
            EXPECT_EQ(got[k], k == r.digit ? r.shows : '0') << "T" << r.t << " digit " << k;
    }
}

TEST(Numbers, T1T2StatusLedAndHalteLampTakeNoPart) {
    const auto d = DecodeNumbers(Outputs({1, 2}, '1', '1'));
    EXPECT_EQ(LineNumberText(d), "LijnNr = 000");
    EXPECT_EQ(RunNumberText(d), "RunNr = 00");
}

TEST(Numbers, DigitsPastNineShowColonToQuestionMark) {
    // Tens digit 10..15 through T17 (8) + T4 (4) + T5 (2) + T6 (1).
    const char expect[] = ":;<=>?";
    for (int v = 10; v <= 15; ++v) {
        std::initializer_list<int> none{};
        std::string o = Outputs(none);
        if (v & 1)
            o[TIndex(6)] = '1';
        if (v & 2)
            o[TIndex(5)] = '1';
        if (v & 4)
            o[TIndex(4)] = '1';
        if (v & 8)
            o[TIndex(17)] = '1';
        EXPECT_EQ(DecodeNumbers(o).line[1], expect[v - 10]) << v;
    }
}

TEST(Numbers, EncodeDecodeRoundTrip) {
    for (int line = 0; line < 400; ++line)
        for (int run = 0; run < 80; ++run) {
            const auto d = DecodeNumbers(EncodeOutputs(line, run, false, false));
            char want[32];
            std::snprintf(want, sizeof want, "LijnNr = %03d", line);
            ASSERT_EQ(LineNumberText(d), want);
            std::snprintf(want, sizeof want, "RunNr = %02d", run);
            ASSERT_EQ(RunNumberText(d), want);
        }
}

TEST(ShortValues, DigitsBeyondTheEndShowDash) {
    // Only the status led, the halte lamp and T1..T9 arrived (11 characters).
    std::string v = Outputs({3, 4, 7, 8, 9}).substr(0, 11);
    const auto d = DecodeNumbers(v);
    EXPECT_EQ(d.line[0], '-'); // T18, T19 missing
    EXPECT_EQ(d.line[1], '-'); // T17 missing
    EXPECT_EQ(d.line[2], '-'); // T10 missing
    EXPECT_EQ(d.run[0], '-');  // T11, T12 missing
    EXPECT_EQ(d.run[1], '-');
    EXPECT_EQ(LineNumberText(DecodeNumbers("")), "LijnNr = ---");
    // 20 characters: only T19 is missing, so only the hundreds digit is unknown.
    const auto d20 = DecodeNumbers(Outputs({6, 10, 16}).substr(0, 20));
    EXPECT_EQ(LineNumberText(d20), "LijnNr = -11");
    EXPECT_EQ(RunNumberText(d20), "RunNr = 01");
}

TEST(StrayCharacters, CountAsLow) {
    // Only '1' raises a line: a stray character cannot push a digit outside '0'..'?'.
    std::string v(kOutputCount, 'z');
    const auto d = DecodeNumbers(v);
    EXPECT_EQ(LineNumberText(d), "LijnNr = 000");
    EXPECT_EQ(RunNumberText(d), "RunNr = 00");
}
