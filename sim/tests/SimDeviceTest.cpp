// What the simulated device answers: program mode, the command set by version, state changes,
// I/O lines and the on-board side.
#include "SimDevice.h"

#include "CommandSet.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <set>

using namespace vq5::sim;

namespace {
using Clock = CSimDevice::Clock;

// Replies of one message, "" when there is none, several joined by '|'.
std::string Ask(CSimDevice& d, const std::string& text) {
    std::string out;
    for (const auto& r : d.Handle(text, Clock::now()).replies)
        out += (out.empty() ? "" : "|") + r;
    return out;
}

CSimDevice InProgramMode(unsigned major, unsigned minor, char letter = 'Q') {
    CSimDevice d(major, minor, letter, 1);
    d.Handle("$PRG", Clock::now());
    return d;
}

// The I/O tester's reading of the output characters: line and run number as shown.
std::string Decode(const std::string& out) {
    auto b = [&](int n) { return out[static_cast<std::size_t>(n + 1)] - '0'; };
    std::string s;
    s += static_cast<char>('0' + b(18) + 2 * b(19));
    s += static_cast<char>('0' + b(6) + 2 * b(5) + 4 * b(4) + 8 * b(17));
    s += static_cast<char>('0' + b(10) + 2 * b(9) + 4 * b(8) + 8 * b(7));
    s += '/';
    s += static_cast<char>('0' + b(12) + 2 * b(11) + 4 * b(3));
    s += static_cast<char>('0' + b(16) + 2 * b(15) + 4 * b(14) + 8 * b(13));
    return s;
}
} // namespace

TEST(ProgramMode, PrgIsAnsweredWithTheIdentification) {
    CSimDevice d(8, 7, 'Q', 1);
    EXPECT_EQ(Ask(d, "$PRG"), "&QPVQ-5 (87) VQ-5 simulator");
    EXPECT_TRUE(d.State().programMode);
    EXPECT_EQ(d.State().programModeEntries, 1u);
    EXPECT_EQ(Ask(d, "$PRG"), "&QPVQ-5 (87) VQ-5 simulator");
    EXPECT_EQ(d.State().programModeEntries, 1u); // already in program mode
    CSimDevice a(10, 3, 'R', 1);
    EXPECT_EQ(Ask(a, "$PRG").substr(0, 12), "&RPVQ-5 (A3)");
}

TEST(ProgramMode, OutsideOnlyTheIoLinesAreAnswered) {
    CSimDevice d(8, 7, 'Q', 1);
    EXPECT_EQ(Ask(d, "&QIA"), "");
    EXPECT_EQ(Ask(d, "&QFS1"), "");
    EXPECT_EQ(Ask(d, "&QX"), "");
    EXPECT_FALSE(d.State().flags['S']);
    EXPECT_EQ(Ask(d, "&QII").size(), 4u + 6u);
    EXPECT_EQ(Ask(d, "&QIJ").size(), 4u + 21u);
    EXPECT_EQ(Ask(d, "&PII").substr(0, 4), "&QII"); // the reply carries the device's letter
    EXPECT_EQ(Ask(d, "&QIIx"), "");
}

TEST(ProgramMode, ExitFormsLeaveAndAnswerX) {
    CSimDevice d = InProgramMode(8, 7);
    EXPECT_EQ(Ask(d, "&QX"), "&QX");
    EXPECT_FALSE(d.State().programMode);
    d.Handle("$PRG", Clock::now());
    DeviceAction a = d.Handle("&QX0", Clock::now());
    ASSERT_EQ(a.replies.size(), 1u);
    EXPECT_EQ(a.replies[0], "&QX");
    EXPECT_EQ(a.speedIndex, 0);
    d.Handle("$PRG", Clock::now());
    EXPECT_EQ(Ask(d, "&QXZ"), ""); // not an exit form
    EXPECT_TRUE(d.State().programMode);
}

TEST(ProgramMode, RebootCountsAndClearConfigRestoresTheDefaults) {
    CSimDevice d = InProgramMode(8, 7);
    Ask(d, "&QIAmy bus");
    Ask(d, "&QFS1");
    Ask(d, "&QKW3");
    EXPECT_EQ(Ask(d, "&QXR"), "&QX");
    EXPECT_EQ(d.State().reboots, 1u);
    EXPECT_EQ(d.State().identifier, "my bus"); // a plain reboot keeps the configuration
    EXPECT_FALSE(d.State().programMode);
    d.Handle("$PRG", Clock::now());
    EXPECT_EQ(Ask(d, "&QFE1"), "&QFE1");
    Ask(d, "&QXR");
    EXPECT_EQ(d.State().reboots, 2u);
    EXPECT_EQ(d.State().configInits, 1u);
    EXPECT_EQ(d.State().programModeEntries, 2u);
    EXPECT_EQ(d.State().identifier, "Factory default");
    EXPECT_FALSE(d.State().flags['S']);
    EXPECT_FALSE(d.State().flags['E']);
    EXPECT_EQ(d.State().window, 8u);
    d.Handle("$PRG", Clock::now());
    EXPECT_EQ(Ask(d, "&QIF"), "&QIF000000020000000100000003");
}

TEST(Commands, QueriesAndSetsOfEveryClass) {
    CSimDevice d = InProgramMode(8, 7);
    EXPECT_EQ(Ask(d, "&QFS"), "&QFS0");
    EXPECT_EQ(Ask(d, "&QFS1"), "&QFS1");
    EXPECT_EQ(Ask(d, "&QFS"), "&QFS1");
    EXPECT_EQ(Ask(d, "&QFS7"), "&QFS0"); // any character but '1' is off
    EXPECT_EQ(Ask(d, "&QKWF"), "&QKWF");
    EXPECT_EQ(d.State().window, 15u);
    EXPECT_EQ(Ask(d, "&QKWg"), ""); // not a digit: refused
    EXPECT_EQ(d.State().window, 15u);
    EXPECT_EQ(Ask(d, "&QIAVersion 12"), "&QIAVersion 12");
    EXPECT_EQ(Ask(d, "&QIA"), "&QIAVersion 12");
    EXPECT_EQ(Ask(d, "&QIB&P.1"), "&QIB&P.1"); // the datacall text keeps its own "&P"
    EXPECT_EQ(d.State().datacall[0], "&P.1");
    EXPECT_EQ(Ask(d, "&QIHnew"), ""); // the software version is not set from outside
    EXPECT_EQ(Ask(d, "&QI0").substr(0, 4), "&QI0");
    EXPECT_EQ(Ask(d, "&QIE").substr(0, 12), "&QIES=0 O=1 ");
    EXPECT_EQ(Ask(d, "&QFZ"), "");               // no such flag
    EXPECT_EQ(Ask(d, "&QKZ"), "");               // no such constant
    EXPECT_EQ(Ask(d, "&QZZ"), "");               // no such class
    EXPECT_EQ(Ask(d, "&RIA"), "");               // another device's letter
    EXPECT_EQ(Ask(d, "&PIA"), "&QIAVersion 12"); // 'P' from a PC that has not seen the letter yet
}

TEST(Commands, SpeedChangeIsNotAnsweredButSwitches) {
    CSimDevice d = InProgramMode(8, 7);
    DeviceAction a = d.Handle("&QS3", Clock::now());
    EXPECT_TRUE(a.replies.empty());
    EXPECT_EQ(a.speedIndex, 3);
    EXPECT_EQ(d.Handle("&QS6", Clock::now()).speedIndex, -1);
    CSimDevice old = InProgramMode(8, 3);
    EXPECT_EQ(old.Handle("&QS3", Clock::now()).speedIndex, -1); // before 8.4 there is no speed change
}

TEST(Commands, GatesByVersion) {
    struct Case {
        const char* code;
        bool v70, v81, v86, v87, v91;
    };
    const Case cases[] = {
        {"&QIA", true, true, true, true, true},     {"&QIB", true, true, true, true, false},
        {"&QI<", true, true, true, true, true},     {"&QFT", true, true, true, true, false},
        {"&QFG", false, false, true, true, true},   {"&QFL", false, false, true, true, true},
        {"&QFV", false, false, false, true, true},  {"&QFI", false, false, false, true, false},
        {"&QFF", false, false, false, false, true}, {"&QF1", false, false, false, false, true},
        {"&QFA", false, true, true, true, true},    {"&QKW", false, true, true, true, true},
        {"&QKO", false, true, true, true, true},
    };
    const unsigned versions[5][2] = {{7, 0}, {8, 1}, {8, 6}, {8, 7}, {9, 1}};
    for (const Case& c : cases) {
        const bool expect[5] = {c.v70, c.v81, c.v86, c.v87, c.v91};
        for (int v = 0; v < 5; ++v) {
            CSimDevice d = InProgramMode(versions[v][0], versions[v][1]);
            EXPECT_EQ(!Ask(d, c.code).empty(), expect[v])
                << c.code << " at " << versions[v][0] << "." << versions[v][1];
        }
    }
    CSimDevice v70 = InProgramMode(7, 0);
    EXPECT_EQ(Ask(v70, "&QI:"), "&QI:" + v70.State().revision[10]);
}

TEST(Commands, OffsetIsStoredInTheVersionsEncoding) {
    CSimDevice n = InProgramMode(8, 7);
    Ask(n, "&QKOC");
    EXPECT_EQ(vq5::device::OffsetFromDigit(n.State().offsetDigit, 8, 7), 22);
    CSimDevice o = InProgramMode(8, 1);
    Ask(o, "&QKOE");
    EXPECT_EQ(vq5::device::OffsetFromDigit(o.State().offsetDigit, 8, 1), 22);
    EXPECT_EQ(Ask(o, "&QKO"), "&QKOE");
}

TEST(OnBoard, DisplayAndAnnouncementCarryLineAndRun) {
    CSimDevice d(8, 7, 'Q', 1);
    EXPECT_TRUE(d.Handle("$007/012   09:05 XX", Clock::now()).stateChanged);
    EXPECT_EQ(d.State().line, 7);
    EXPECT_EQ(d.State().run, 12);
    EXPECT_FALSE(d.Handle("$007/012   09:06 XX", Clock::now()).stateChanged); // nothing new
    EXPECT_TRUE(d.Handle("=3456780011777777799999", Clock::now()).replies.empty());
    EXPECT_EQ(d.State().line, 345);
    EXPECT_EQ(d.State().run, 678);
    d.Handle("$12/3", Clock::now());
    d.Handle("=12x456", Clock::now());
    d.Handle("$PRX", Clock::now()); // not program mode, not a display message
    EXPECT_EQ(d.State().line, 345);
    EXPECT_FALSE(d.State().programMode);
    EXPECT_EQ(Decode(d.Outputs(Clock::now())), "345/38"); // 678 modulo 80
}

TEST(OnBoard, InquiriesAndKeyPressesOutsideProgramModeOnly) {
    CSimDevice d(8, 7, 'Q', 5);
    auto t0 = Clock::now();
    EXPECT_TRUE(d.Tick(t0, 1000).empty());
    int inquiries = 0, keys = 0;
    for (int i = 1; i <= 200; ++i)
        for (const auto& m : d.Tick(t0 + std::chrono::milliseconds(200 * i), 1000)) {
            if (m == "?")
                ++inquiries;
            else if (m == "#GP" || m == "#STOP")
                ++keys;
            else
                ADD_FAILURE() << m;
            EXPECT_NE(m.size(), 4u);
        }
    EXPECT_GT(inquiries, 10);
    EXPECT_GT(keys, 3);
    d.Handle("$PRG", t0);
    EXPECT_TRUE(d.Tick(t0 + std::chrono::seconds(1000), 1000).empty());
}

TEST(IoLines, OutputsEncodeLineAndRunAsTheTesterReadsThem) {
    EXPECT_EQ(EncodeOutputs(false, false, false, false, 0, 0), "100000000000000000000");
    EXPECT_EQ(Decode(EncodeOutputs(true, true, true, true, 123, 45)), "123/45");
    EXPECT_EQ(Decode(EncodeOutputs(false, false, false, false, 399, 79)), "399/79");
    EXPECT_EQ(Decode(EncodeOutputs(false, false, false, false, 7, 70)), "007/70");
    const std::string all = EncodeOutputs(true, true, true, true, 0, 0);
    EXPECT_EQ(all.substr(0, 4), "0111"); // LED lit (active low), stop lamp, T1, T2
    for (int line = 0; line < 400; line += 7)
        for (int run = 0; run < 80; run += 3) {
            char want[32];
            std::snprintf(want, sizeof want, "%03d/%02d", line, run);
            ASSERT_EQ(Decode(EncodeOutputs(false, false, false, false, line, run)), want);
        }
}

TEST(IoLines, RunNumbersOf80OrMoreWithDienstNrMax79) {
    CSimDevice d = InProgramMode(8, 7);
    d.Handle("=0120850011777777799999", Clock::now());
    EXPECT_EQ(d.OutputRun(), 5); // modulo 80
    Ask(d, "&QFD1");
    EXPECT_EQ(d.OutputRun(), 0); // 80 or more becomes 0
    EXPECT_EQ(Decode(Ask(d, "&QIJ").substr(4)), "012/00");
}

TEST(IoLines, InputsAreSixCharactersAndChangeOverTime) {
    CSimDevice d(8, 7, 'Q', 1);
    auto t0 = Clock::now();
    std::set<std::string> seen;
    for (int ms = 0; ms < 30000; ms += 250) {
        const std::string in = d.Inputs(t0 + std::chrono::milliseconds(ms));
        ASSERT_EQ(in.size(), 6u);
        for (char c : in)
            ASSERT_TRUE(c == '0' || c == '1');
        seen.insert(in);
    }
    EXPECT_GE(seen.size(), 4u);
}

// Each message in the order sent, with the replies the strict profile gives and those the
// default one gives; sets are carried out by both.
struct ProfileRow {
    const char* text;
    const char* strictReply;
    const char* defaultReply;
};

TEST(StrictProfile, AnswersQueriesOnlyAndOnlyInProgramMode) {
    const ProfileRow rows[] = {
        {"&QII", "", "*"}, // the I/O lines outside program mode: default answers ('*': any reply)
        {"&QIJ", "", "*"},
        {"$PRG", "&QPVQ-5 (81) VQ-5 simulator", "&QPVQ-5 (81) VQ-5 simulator"},
        {"&QFS1", "", "&QFS1"},
        {"&QFS", "&QFS1", "&QFS1"},
        {"&QKO2", "", "&QKO2"},
        {"&QKO", "&QKO2", "&QKO2"},
        {"&QIAbus 12", "", "&QIAbus 12"},
        {"&QIA", "&QIAbus 12", "&QIAbus 12"},
        {"&QII", "*", "*"},
        {"&QX", "", "&QX"},
    };
    for (DeviceProfile profile : {DeviceProfile::Strict, DeviceProfile::Default}) {
        SCOPED_TRACE(ProfileName(profile));
        CSimDevice d(8, 1, 'Q', 1, profile);
        for (const ProfileRow& row : rows) {
            const std::string want = profile == DeviceProfile::Strict ? row.strictReply : row.defaultReply;
            const std::string got = Ask(d, row.text);
            if (want == "*")
                EXPECT_EQ(got.substr(0, 4), std::string(row.text).substr(0, 4)) << row.text;
            else
                EXPECT_EQ(got, want) << row.text;
        }
        EXPECT_FALSE(d.State().programMode);
        EXPECT_TRUE(d.State().flags.at('S'));
        EXPECT_EQ(d.State().offsetDigit, 2u);
        EXPECT_EQ(d.State().identifier, "bus 12");
    }
}

TEST(StrictProfile, NamesAreReadBack) {
    EXPECT_EQ(ProfileFromName("strict"), DeviceProfile::Strict);
    EXPECT_EQ(ProfileFromName("default"), DeviceProfile::Default);
    EXPECT_FALSE(ProfileFromName("Strict"));
    EXPECT_STREQ(ProfileName(DeviceProfile::Strict), "strict");
}

TEST(IoLines, HeldLinesKeepTheirStateAtStart) {
    CSimDevice d(8, 7, 'Q', 1);
    auto t0 = Clock::now();
    const std::string in = d.Inputs(t0), out = d.Outputs(t0);
    d.HoldLines(true);
    for (int ms = 0; ms < 30000; ms += 250) {
        ASSERT_EQ(d.Inputs(t0 + std::chrono::milliseconds(ms)), in) << ms;
        ASSERT_EQ(d.Outputs(t0 + std::chrono::milliseconds(ms)), out) << ms;
    }
    d.HoldLines(false);
    std::set<std::string> seen;
    for (int ms = 0; ms < 30000; ms += 250)
        seen.insert(d.Inputs(t0 + std::chrono::milliseconds(ms)));
    EXPECT_GE(seen.size(), 4u);
}
