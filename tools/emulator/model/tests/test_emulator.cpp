// The emulator's model: settings, log lines by notification and class, times, field checks.
#include "Emulator.h"

#include "SettingsStore.h"

#include <gtest/gtest.h>

using namespace vq5;
using namespace vq5::emu;

namespace {

TEST(LogLines, ReceivedByClass) {
    EXPECT_EQ(ReceivedLogLine("#1"), "1ControlKey: \"#1\"");
    EXPECT_EQ(ReceivedLogLine("$123/045"), "1ControlDisplay: \"$123/045\"");
    EXPECT_EQ(ReceivedLogLine("&PIA x"), "1Userdata: \"&PIA x\"");
    EXPECT_EQ(ReceivedLogLine("=123"), "1Announcement: \"=123\"");
    EXPECT_EQ(ReceivedLogLine("?"), "1Inquiry: \"?\"");
    EXPECT_EQ(ReceivedLogLine("?X"), "1Inquiry: \"?X\"");
    EXPECT_EQ(ReceivedLogLine("PQ"), "ERROR: \"PQ\"");
    EXPECT_EQ(ReceivedLogLine(""), "ERROR: \"\"");
}

TEST(LogLines, SentLine) {
    EXPECT_EQ(SentLogLine("$007/012   09:05 XX"), "0Message send: \"$007/012   09:05 XX\"");
}

TEST(LogLines, SplitIcon) {
    auto e = SplitLogLine("1Inquiry: \"?\"");
    EXPECT_EQ(e.icon, kIconReceived);
    EXPECT_EQ(e.text, "Inquiry: \"?\"");
    e = SplitLogLine("0Message send: \"x\"");
    EXPECT_EQ(e.icon, kIconSent);
    e = SplitLogLine("2Queue empty");
    EXPECT_EQ(e.icon, kIconEvent);
    EXPECT_EQ(e.text, "Queue empty");
    e = SplitLogLine("ERROR: \"P\"");
    EXPECT_EQ(e.icon, kIconNone);
    EXPECT_EQ(e.text, "ERROR: \"P\"");
    e = SplitLogLine("");
    EXPECT_EQ(e.icon, kIconNone);
}

TEST(LogLines, LongTextsAreCutToTheBuffer) {
    const std::string text = "&" + std::string(254, 'A');
    const std::string line = ReceivedLogLine(text);
    EXPECT_EQ(line.size(), kLogLineMax);
    EXPECT_EQ(line.substr(0, 13), "1Userdata: \"&");
    EXPECT_EQ(line.substr(line.size() - 4), "...\"");
    const std::string err = ReceivedLogLine(std::string(255, 'Z'));
    EXPECT_EQ(err.size(), kLogLineMax);
    EXPECT_EQ(err.substr(err.size() - 4), "...\"");
}

TEST(LogLines, TextThatJustFitsIsNotCut) {
    // "ERROR: \"" is 8 characters; with the closing quote 90 characters of text fit.
    const std::string fits(90, 'Z');
    EXPECT_EQ(ReceivedLogLine(fits), "ERROR: \"" + fits + "\"");
    const std::string one_more(91, 'Z');
    const std::string line = ReceivedLogLine(one_more);
    EXPECT_EQ(line.size(), kLogLineMax);
    EXPECT_EQ(line, "ERROR: \"" + std::string(87, 'Z') + "...\"");
}

TEST(LogLines, ControlCharactersAndNul) {
    EXPECT_EQ(ReceivedLogLine(std::string("#a\nb\x01", 5)), "1ControlKey: \"#a.b.\"");
    EXPECT_EQ(ReceivedLogLine(std::string("#ab\0cd", 6)), "1ControlKey: \"#ab\"");
}

TEST(LogTimes, MinuteSecondHundredthsUtc) {
    using namespace std::chrono;
    // 14:05:07.123 UTC on some day.
    const auto t =
        system_clock::time_point(milliseconds((20000LL * 86400 + 14 * 3600 + 5 * 60 + 7) * 1000 + 123));
    EXPECT_EQ(LogTime(t), " 5:07.12");
    const auto u = system_clock::time_point(milliseconds((20000LL * 86400 + 59 * 60 + 59) * 1000 + 999));
    EXPECT_EQ(LogTime(u), "59:59.99");
}

TEST(EmuFields, WholeNumbersZeroTo999) {
    int v = -7;
    EXPECT_EQ(CheckNumberField("0", 0, 999, v), FieldCheck::Ok);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(CheckNumberField("999", 0, 999, v), FieldCheck::Ok);
    EXPECT_EQ(v, 999);
    EXPECT_EQ(CheckNumberField(" 42 ", 0, 999, v), FieldCheck::Ok);
    EXPECT_EQ(v, 42);
    v = 5;
    EXPECT_EQ(CheckNumberField("1000", 0, 999, v), FieldCheck::OutOfRange);
    EXPECT_EQ(CheckNumberField("-1", 0, 999, v), FieldCheck::OutOfRange);
    EXPECT_EQ(CheckNumberField("99999999999999999999999", 0, 999, v), FieldCheck::OutOfRange);
    EXPECT_EQ(CheckNumberField("", 0, 999, v), FieldCheck::NotANumber);
    EXPECT_EQ(CheckNumberField("12a", 0, 999, v), FieldCheck::NotANumber);
    EXPECT_EQ(CheckNumberField("1.5", 0, 999, v), FieldCheck::NotANumber);
    EXPECT_EQ(CheckNumberField("-", 0, 999, v), FieldCheck::NotANumber);
    EXPECT_EQ(v, 5) << "a refused field leaves the value alone";
    EXPECT_EQ(FieldCheckMessage(FieldCheck::OutOfRange, 0, 999),
              "Please enter an integer between 0 and 999.");
    EXPECT_EQ(FieldCheckMessage(FieldCheck::NotANumber, 0, 999), "Please enter an integer.");
}

TEST(EmuAbout, VersionLine) {
    EXPECT_EQ(AboutVersionLine(), "VQ5 Tool VQ5WVLP, version 1.4");
}

struct EmuModel : ::testing::Test {
    CMemoryStore store;
};

TEST_F(EmuModel, DefaultsAndWriteBack) {
    {
        CVL e(&store);
        CEmulator m(e, &store);
        EXPECT_EQ(m.m_LijnNr, 123);
        EXPECT_EQ(m.m_RunNr, 45);
        EXPECT_EQ(m.m_AutoIncrement, 0);
        m.m_LijnNr = 7;
        m.m_RunNr = 12;
        m.m_AutoIncrement = 1;
    }
    EXPECT_EQ(store.ReadInt("Settings_V2.3", "LijnNr"), 7);
    EXPECT_EQ(store.ReadInt("Settings_V2.3", "RunNr"), 12);
    EXPECT_EQ(store.ReadInt("Settings_V2.3", "AutoIncrement"), 1);
}

TEST_F(EmuModel, PushAndPull) {
    CVL e(&store);
    CEmulator m(e, &store);
    m.PushNumbers();
    m.PushAutoIncrement();
    EXPECT_EQ(e.m_LineNumber.load(), 123);
    EXPECT_EQ(e.m_RunNumber.load(), 45);
    EXPECT_EQ(e.m_AutoIncrement.load(), 0);
    e.m_LineNumber = 8;
    m.PullNumbers();
    EXPECT_EQ(m.m_LijnNr, 8);
}

TEST_F(EmuModel, LogLinesForNotifications) {
    CVL e(&store);
    CEmulator m(e, &store);
    e.m_LineNumber = 8;
    e.m_RunNumber = 12;
    EXPECT_EQ(m.LogLineFor({nkReceived, 0, "?"}), "1Inquiry: \"?\"");
    EXPECT_EQ(m.m_LijnNr, 8) << "a received message copies the engine's numbers";
    EXPECT_EQ(m.m_RunNr, 12);
    EXPECT_EQ(m.LogLineFor({nkQueueEmpty, 0, {}}), "2Queue empty");
    e.m_Status = lsTimeout;
    EXPECT_EQ(m.LogLineFor({nkLinkStatus, lsTimeout, {}}), "2Status changed Timeout");
    EXPECT_EQ(m.LogLineFor({nkIdent, 0, {}}), "2VQ5 ID changed");
    EXPECT_EQ(m.LogLineFor({nkGenerated, 0, "$001/002   03:04 XX"}),
              "0Message send: \"$001/002   03:04 XX\"");
    EXPECT_EQ(m.LogLineFor({nkQueueProgress, 5, {}}), std::nullopt);
    EXPECT_EQ(m.LogLineFor({6, 0, {}}), std::nullopt);
}

} // namespace
