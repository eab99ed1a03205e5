#include "IoLines.h"

#include <cstdio>

namespace vq5::io {

const std::array<LampInfo, kInputCount>& InputLamps() {
    static const std::array<LampInfo, kInputCount> lamps = {{
        {1005, "linksaf", 148, Polarity::Direct, Motif::LeftArrow},
        {1003, "rechtsaf", 151, Polarity::Direct, Motif::RightArrow},
        {1018, "hand bediening", 163, Polarity::Direct, Motif::Hand},
        {1019, "halte knop", 157, Polarity::Direct, Motif::StopSign},
        {1021, "gp key", 160, Polarity::Direct, Motif::GpKey},
        {1020, "Vx lus", 154, Polarity::Inverted, Motif::Loop},
    }};
    return lamps;
}

const std::array<LampInfo, kOutputCount>& OutputLamps() {
    static const std::array<LampInfo, kOutputCount> lamps = [] {
        static const char* const names[19] = {"T1",  "T2",  "T3",  "T4",  "T5",  "T6",  "T7",
                                              "T8",  "T9",  "T10", "T11", "T12", "T13", "T14",
                                              "T15", "T16", "T17", "T18", "T19"};
        std::array<LampInfo, kOutputCount> a{};
        a[0] = {1063, "Status led", 145, Polarity::Inverted, Motif::Led};
        a[1] = {1062, "Halte lamp", 142, Polarity::Direct, Motif::Bulb};
        for (int n = 1; n <= 19; ++n)
            a[TIndex(n)] = {1042 + n, names[n - 1], 139, Polarity::Direct, Motif::CheckMark};
        return a;
    }();
    return lamps;
}

const std::array<LampRef, kLampCount>& CreationOrder() {
    static const std::array<LampRef, kLampCount> order = [] {
        std::array<LampRef, kLampCount> a{};
        std::size_t k = 0;
        for (std::size_t i = 0; i < kInputCount; ++i)
            a[k++] = {true, i};
        a[k++] = {false, 1}; // Halte lamp
        a[k++] = {false, 0}; // Status led
        for (int n = 1; n <= 19; ++n)
            a[k++] = {false, TIndex(n)};
        return a;
    }();
    return order;
}

bool LampActive(char c, Polarity polarity) {
    const bool high = c == '1';
    return polarity == Polarity::Direct ? high : !high;
}

namespace {
// One digit from weighted lines; '-' when one of them lies beyond the end of the value. A
// line counts as 1 only for the character '1', so a stray character can never push the
// digit outside '0'..'?'.
char Digit(std::string_view v, std::initializer_list<std::pair<int, int>> lines) {
    int value = 0;
    for (const auto& [n, weight] : lines) {
        const std::size_t i = TIndex(n);
        if (i >= v.size())
            return '-';
        if (v[i] == '1')
            value += weight;
    }
    return static_cast<char>('0' + value);
}
} // namespace

NumberDigits DecodeNumbers(std::string_view v) {
    NumberDigits d{};
    d.line[0] = Digit(v, {{18, 1}, {19, 2}});
    d.line[1] = Digit(v, {{6, 1}, {5, 2}, {4, 4}, {17, 8}});
    d.line[2] = Digit(v, {{10, 1}, {9, 2}, {8, 4}, {7, 8}});
    d.run[0] = Digit(v, {{12, 1}, {11, 2}, {3, 4}});
    d.run[1] = Digit(v, {{16, 1}, {15, 2}, {14, 4}, {13, 8}});
    return d;
}

std::string LineNumberText(const NumberDigits& d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "LijnNr = %c%c%c", d.line[0], d.line[1], d.line[2]);
    return buf;
}

std::string RunNumberText(const NumberDigits& d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "RunNr = %c%c", d.run[0], d.run[1]);
    return buf;
}

std::string EncodeOutputs(int line, int run, bool statusLedLine, bool halteLamp, bool t1, bool t2) {
    std::string v(kOutputCount, '0');
    auto set = [&v](int n, int bit) { v[TIndex(n)] = bit ? '1' : '0'; };
    v[0] = statusLedLine ? '1' : '0';
    v[1] = halteLamp ? '1' : '0';
    set(1, t1);
    set(2, t2);
    if (line < 0)
        line = 0;
    if (run < 0)
        run = 0;
    const int lh = (line / 100) % 4, lt = (line / 10) % 10, lu = line % 10;
    const int rt = (run / 10) % 8, ru = run % 10;
    set(18, lh & 1);
    set(19, lh & 2);
    set(6, lt & 1);
    set(5, lt & 2);
    set(4, lt & 4);
    set(17, lt & 8);
    set(10, lu & 1);
    set(9, lu & 2);
    set(8, lu & 4);
    set(7, lu & 8);
    set(12, rt & 1);
    set(11, rt & 2);
    set(3, rt & 4);
    set(16, ru & 1);
    set(15, ru & 2);
    set(14, ru & 4);
    set(13, ru & 8);
    return v;
}

} // namespace vq5::io
