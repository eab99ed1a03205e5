// CVL: display messages, the inquiry and its announcement, auto increment and kind 7.
#include "VL.h"

#include "SettingsStore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <vector>

using namespace vq5;
using namespace vq5::emu;

namespace {

struct Sink : INotifySink {
    std::mutex lock; // guards got
    std::vector<Notification> got;
    void Post(Notification n) override {
        std::lock_guard<std::mutex> g(lock);
        got.push_back(std::move(n));
    }
    std::vector<std::string> Generated() {
        std::lock_guard<std::mutex> g(lock);
        std::vector<std::string> v;
        for (const auto& n : got)
            if (n.kind == nkGenerated)
                v.push_back(n.text);
        return v;
    }
};

struct Lines : ITraceSink {
    std::mutex lock; // guards lines
    std::vector<std::string> lines;
    void AddLine(int, std::string line) override {
        std::lock_guard<std::mutex> g(lock);
        lines.push_back(std::move(line));
    }
};

struct EmuEngine : ::testing::Test {
    CMemoryStore store;
    CVL e{&store};
    Sink sink;
    EmuEngine() {
        e.SetNotifySink(&sink);
        e.SetClock([] { return ClockTime{9, 5}; });
    }
    ~EmuEngine() override { e.SetNotifySink(nullptr); }
    std::string Next() {
        unsigned char buf[257];
        std::memset(buf, 0xAA, sizeof buf);
        const int n = e.TxMessage(buf);
        EXPECT_GT(n, 0);
        EXPECT_EQ(buf[n], 0);
        return std::string(reinterpret_cast<char*>(buf), static_cast<std::size_t>(n));
    }
    void Receive(const std::string& text) {
        EXPECT_TRUE(e.RxMessage(reinterpret_cast<const unsigned char*>(text.data()),
                                static_cast<unsigned>(text.size())));
    }
};

TEST(Formats, DisplayMessage) {
    EXPECT_EQ(DisplayMessage(7, 12, 9, 5), "$007/012   09:05 XX");
    EXPECT_EQ(DisplayMessage(7, 12, 9, 5).size(), 19u);
    EXPECT_EQ(DisplayMessage(999, 0, 23, 59), "$999/000   23:59 XX");
    EXPECT_EQ(DisplayMessage(1000, 5, 0, 0), "$1000/005   00:00 XX");
}

TEST(Formats, Announcement) {
    EXPECT_EQ(Announcement(7, 12), "=0070120011777777799999");
    EXPECT_EQ(Announcement(7, 12).size(), 23u);
    EXPECT_EQ(Announcement(799, 999), "=7999990011777777799999");
}

TEST(Formats, NextLineNumberStaysInThreeDigits) {
    EXPECT_EQ(NextLineNumber(0), 1);
    EXPECT_EQ(NextLineNumber(7), 8);
    EXPECT_EQ(NextLineNumber(798), 799);
    EXPECT_EQ(NextLineNumber(799), 0);
    EXPECT_EQ(NextLineNumber(800), 801);
    EXPECT_EQ(NextLineNumber(998), 999);
    EXPECT_EQ(NextLineNumber(999), 0);
    EXPECT_EQ(NextLineNumber(1000), 0);
    EXPECT_EQ(NextLineNumber(-1), 0);
    EXPECT_EQ(NextLineNumber(2147483647), 0);
}

TEST(Formats, WireNumberIsWithinThreeDigits) {
    EXPECT_EQ(WireNumber(0), 0);
    EXPECT_EQ(WireNumber(999), 999);
    EXPECT_EQ(WireNumber(1000), 999);
    EXPECT_EQ(WireNumber(-3), 0);
}

TEST(Formats, LocalClockIsAClockTime) {
    const ClockTime t = LocalClock();
    EXPECT_GE(t.hour, 0);
    EXPECT_LE(t.hour, 23);
    EXPECT_GE(t.minute, 0);
    EXPECT_LE(t.minute, 59);
}

TEST_F(EmuEngine, FieldsStartAtZero) {
    CVL fresh(&store);
    EXPECT_EQ(fresh.m_AutoIncrement.load(), 0);
    EXPECT_EQ(fresh.m_LineNumber.load(), 0);
    EXPECT_EQ(fresh.m_RunNumber.load(), 0);
    EXPECT_EQ(fresh.m_InquiryPending.load(), 0);
}

TEST_F(EmuEngine, DisplayAtEveryIdleOpportunity) {
    e.m_LineNumber = 7;
    e.m_RunNumber = 12;
    EXPECT_EQ(Next(), "$007/012   09:05 XX");
    EXPECT_EQ(Next(), "$007/012   09:05 XX");
    EXPECT_EQ(sink.Generated(), (std::vector<std::string>{"$007/012   09:05 XX", "$007/012   09:05 XX"}));
    EXPECT_EQ(e.m_Len, 19);
}

// An inquiry is answered once, at the next opportunity, with the announcement of the numbers
// of that moment; with "Auto incr" the line number goes on to the next (799 and 999 wrap to 0)
// and the displays after it carry the new number; without, displays never raise it.
struct Inquiry {
    const char* name;
    int line, run, autoIncrement;
    const char* announcement;
    int lineAfter;
    const char* display;
};

struct EmuInquiry : EmuEngine, ::testing::WithParamInterface<Inquiry> {};

TEST_P(EmuInquiry, AnsweredOnceAtTheNextOpportunity) {
    const Inquiry& c = GetParam();
    e.m_LineNumber = c.line;
    e.m_RunNumber = c.run;
    e.m_AutoIncrement = c.autoIncrement;
    Receive("?");
    EXPECT_EQ(e.m_InquiryPending.load(), 1);
    EXPECT_EQ(Next(), c.announcement);
    EXPECT_EQ(e.m_InquiryPending.load(), 0);
    EXPECT_EQ(e.m_LineNumber.load(), c.lineAfter);
    EXPECT_EQ(Next(), c.display) << "displays do not raise the number";
    EXPECT_EQ(e.m_LineNumber.load(), c.lineAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, EmuInquiry,
    ::testing::Values(
        Inquiry{"NoAutoIncrement", 7, 12, 0, "=0070120011777777799999", 7, "$007/012   09:05 XX"},
        Inquiry{"AutoIncrement", 7, 12, 1, "=0070120011777777799999", 8, "$008/012   09:05 XX"},
        Inquiry{"AutoIncrementWraps799", 799, 1, 1, "=7990010011777777799999", 0, "$000/001   09:05 XX"},
        Inquiry{"AutoIncrementPast800", 800, 1, 1, "=8000010011777777799999", 801, "$801/001   09:05 XX"},
        Inquiry{"AutoIncrementWraps999", 999, 99, 1, "=9990990011777777799999", 0, "$000/099   09:05 XX"}),
    [](const ::testing::TestParamInfo<Inquiry>& i) { return std::string(i.param.name); });

// Numbers out of range (a settings file) never go out: they are kept within three digits.
TEST_F(EmuEngine, OutOfRangeNumbersStayWithinThreeDigits) {
    e.m_AutoIncrement = 1;
    e.m_LineNumber = 1000;
    e.m_RunNumber = -1;
    EXPECT_EQ(Next(), "$999/000   09:05 XX");
    Receive("?");
    EXPECT_EQ(Next(), "=9990000011777777799999");
    EXPECT_EQ(e.m_LineNumber.load(), 0);
}

TEST_F(EmuEngine, OnlyALoneQuestionMarkIsAnInquiry) {
    e.m_LineNumber = 7;
    e.m_RunNumber = 12;
    Receive("?X");
    Receive("??");
    Receive("");
    EXPECT_EQ(e.m_InquiryPending.load(), 0);
    EXPECT_EQ(Next(), "$007/012   09:05 XX");
}

TEST_F(EmuEngine, ReceivedTextsStillReachTheTool) {
    Receive("?");
    std::lock_guard<std::mutex> g(sink.lock);
    ASSERT_FALSE(sink.got.empty());
    EXPECT_EQ(sink.got.back().kind, nkReceived);
    EXPECT_EQ(sink.got.back().text, "?");
}

TEST_F(EmuEngine, AnnouncementUsesTheNumbersOfTheMomentItGoesOut) {
    e.m_LineNumber = 7;
    Receive("?");
    e.m_LineNumber = 9;
    e.m_RunNumber = 3;
    EXPECT_EQ(Next(), "=0090030011777777799999");
}

TEST_F(EmuEngine, QueuedMessagesGoOutUnchangedAndAreNotReported) {
    e.m_LineNumber = 1;
    e.m_RunNumber = 2;
    e.QueueText("#12");
    Receive("?");
    EXPECT_EQ(Next(), "#12");
    EXPECT_TRUE(sink.Generated().empty());
    EXPECT_EQ(Next(), "=0010020011777777799999") << "the inquiry waits for the next free opportunity";
    EXPECT_EQ(sink.Generated(), (std::vector<std::string>{"=0010020011777777799999"}));
}

TEST_F(EmuEngine, TraceLineShowsTheText) {
    Lines lines;
    e.SetTraceSink(&lines);
    e.m_LineNumber = 7;
    e.m_RunNumber = 12;
    EXPECT_EQ(e.TxMessage(e.m_Data), 19); // the trace shows the frame buffer
    e.SetTraceSink(nullptr);
    bool found = false;
    for (const auto& l : lines.lines)
        if (l.rfind("CVL::TxMessage() = ", 0) == 0 && l.find("$007/012   09:05 XX") != std::string::npos)
            found = true;
    EXPECT_TRUE(found);
}

} // namespace
