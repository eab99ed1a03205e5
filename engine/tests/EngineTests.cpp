// CVLPEngine: trace lines (formatted only with a sink, '$' for the frame buffer, 2000
// characters at most) and the routing of notifications (status sink first, then main sink).
#include "NotifyQueue.h"
#include "PtyHelpers.h"
#include "VLPEngine.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <thread>

namespace vq5::test {
namespace {

struct EngineFixture : ::testing::Test {
    CMemoryStore store;
    CVLPEngine engine{&store};
    CRecordingTrace trace;
    void SetBuffer(const std::string& text) {
        std::memcpy(engine.m_Data, text.data(), text.size());
        engine.m_Len = static_cast<int>(text.size());
    }
};

TEST_F(EngineFixture, NoSinkNoLines) {
    EXPECT_FALSE(engine.HasTraceSink());
    EXPECT_FALSE(engine.Tracing());
    engine.Trace(3, "CVLPMsg::TxMessage() = $");
    engine.SetTraceSink(&trace);
    EXPECT_TRUE(engine.Tracing());
    EXPECT_TRUE(trace.Lines().empty()); // earlier lines are not kept
    engine.LogWindowClosed();
    engine.Trace(1, "after close");
    EXPECT_TRUE(trace.Lines().empty());
    EXPECT_FALSE(engine.Tracing());
}

TEST_F(EngineFixture, DollarBecomesTheFrameBuffer) {
    engine.SetTraceSink(&trace);
    SetBuffer("&PIA");
    engine.Trace(3, "CVLPMsg::TxMessage() = $");
    auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].first, 3);
    EXPECT_EQ(lines[0].second, "CVLPMsg::TxMessage() = \"&PIA\"");
}

TEST_F(EngineFixture, OnlyTheFirstDollarAlsoFromAnArgument) {
    engine.SetTraceSink(&trace);
    SetBuffer(std::string("\x01\xE1", 2));
    engine.Trace(0, "CVLPIO::PutString(%s) $", "\"$PRG\"");
    auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].second, "CVLPIO::PutString(\"\"\\SOH\\ADR\"PRG\") $");
}

TEST_F(EngineFixture, LevelsArePassedOn) {
    engine.SetTraceSink(&trace);
    for (int level = 0; level < 4; ++level)
        engine.Trace(level, "line %d", level);
    auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), 4u);
    for (int level = 0; level < 4; ++level) {
        EXPECT_EQ(lines[level].first, level);
        EXPECT_EQ(lines[level].second, "line " + std::to_string(level));
    }
}

TEST_F(EngineFixture, LongLinesAreCut) {
    engine.SetTraceSink(&trace);
    std::string big(5000, 'x');
    engine.Trace(2, "%s", big.c_str());
    // Expansion of '$' near the end of a full line.
    for (int i = 0; i < 255; ++i)
        engine.m_Data[i] = 0x80;
    engine.m_Len = 255;
    std::string almost(1990, 'y');
    engine.Trace(2, "%s$tail", almost.c_str());
    engine.m_Len = 999; // a wrong length is held to the buffer
    engine.Trace(2, "$");
    auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].second.size(), kMaxTraceLine - 1);
    EXPECT_EQ(lines[1].second.size(), kMaxTraceLine - 1);
    EXPECT_EQ(lines[1].second.substr(0, 1991), almost + "\"");
    EXPECT_LE(lines[2].second.size(), 1024u);
}

std::string Format(std::size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatText(size, format, args);
    va_end(args);
    return text;
}

// Lines of every length around the formatter's stack buffer and the caller's limit.
TEST(FormatText, CutsAtTheLimitAndAtTheFirstNul) {
    for (std::size_t length : {0u, 99u, 100u, 255u, 256u, 257u, 1998u, 1999u, 2000u, 5000u}) {
        const std::string text(length, 'q');
        EXPECT_EQ(Format(2000, "%s", text.c_str()), text.substr(0, 1999)) << length;
        EXPECT_EQ(Format(100, "%s", text.c_str()), text.substr(0, 99)) << length;
        EXPECT_EQ(Format(300, "<%s>", text.c_str()), ("<" + text + ">").substr(0, 299)) << length;
        EXPECT_EQ(Format(2000, "%s%c%s", text.c_str(), 0, "after"), text.substr(0, 1999)) << length;
    }
    EXPECT_EQ(Format(1, "%s", "abc"), "");
    EXPECT_EQ(Format(0, "%s", "abc"), "");
    EXPECT_EQ(Format(2000, "%d-%s", 42, "x"), "42-x");
}

TEST_F(EngineFixture, FrameAndMessageTracesCarryTheText) {
    CEngineOnPty e;
    e.engine->SetTraceSink(&trace);
    e.Start();
    e.engine->QueueText("&PIA");
    EXPECT_EQ(e.PollMessage(), "&PIA");
    e.SelectSend("AB");
    e.engine->Stop();
    EXPECT_TRUE(trace.Contains("CVLPMsg::TxMessage() = \"&PIA\""));
    EXPECT_TRUE(trace.Contains("CVLPFrame::PutInfoFrame(\"&PIA\")"));
    EXPECT_TRUE(trace.Contains("CVLPFrame::GetFrame() = \"AB\""));
    EXPECT_TRUE(trace.Contains("CVLPMsg::RxMessage(\"AB\")"));
    EXPECT_TRUE(trace.Contains("CVLPFrame::GetFrame() = poll"));
    EXPECT_TRUE(trace.Contains("CVLPFrame::PutFrame(eot)"));
    EXPECT_TRUE(trace.Contains("CVLPSlave::StateEngine(), State=sTxWait"));
    EXPECT_TRUE(trace.Contains("CVLPIO::GetByte(read) = \"P\"") ||
                trace.Contains("CVLPIO::GetByte(wait) = \"P\""));
    EXPECT_TRUE(trace.Contains("CVLPIO::PutString(\"\\NUL\\EOT\")"));
    EXPECT_TRUE(trace.Contains("CVLPIO::Open()"));
    EXPECT_TRUE(trace.Contains("CVLPIO::Close()"));
    for (const auto& l : trace.Lines()) {
        EXPECT_GE(l.first, 0);
        EXPECT_LE(l.first, 3);
    }
}

// Records which sink saw which notification, in one shared order.
struct OrderSink : INotifySink {
    OrderSink(std::vector<std::string>& log, std::string name) : m_Log(log), m_Name(std::move(name)) {}
    void Post(Notification n) override {
        m_Log.push_back(m_Name + ":" + std::to_string(n.kind) + ":" + n.text);
    }
    std::vector<std::string>& m_Log;
    std::string m_Name;
};

TEST_F(EngineFixture, StatusSinkFirstThenMainSink) {
    std::vector<std::string> log;
    OrderSink status(log, "status"), main(log, "main");
    engine.SetStatusSink(&status);
    engine.SetNotifySink(&main);
    engine.Notify(nkReceived, 0, "hello");
    engine.Notify(nkLinkStatus, lsConnected);
    std::vector<std::string> want = {"status:1:hello", "main:1:hello", "status:4:", "main:4:"};
    EXPECT_EQ(log, want);
    engine.SetStatusSink(nullptr);
    engine.SetNotifySink(nullptr);
    engine.Notify(nkQueueEmpty, 0);
    EXPECT_EQ(log.size(), 4u);
}

TEST(NotifyQueue, WaitTimesOutAndDeliversInOrder) {
    CNotifyQueue q;
    Notification n;
    EXPECT_FALSE(q.Wait(n, 10ms));
    std::thread t([&] {
        for (int i = 0; i < 100; ++i)
            q.Post(Notification{nkQueueProgress, i, {}});
    });
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(q.Wait(n, kLong));
        EXPECT_EQ(n.value, i);
    }
    t.join();
    EXPECT_EQ(q.Size(), 0u);
    q.Post(Notification{nkLinkStatus, 2, {}});
    q.Post(Notification{nkIdent, 1, "VQ-5"});
    std::deque<Notification> skipped;
    ASSERT_TRUE(q.WaitFor(nkIdent, -1, kLong, &n, &skipped));
    EXPECT_EQ(n.text, "VQ-5");
    ASSERT_EQ(skipped.size(), 1u);
    EXPECT_EQ(skipped[0].kind, nkLinkStatus);
}

TEST(EngineThreads, TracingFromTwoThreadsWhileTheSinkComesAndGoes) {
    CRecordingTrace trace; // outlives the engine, which may still point at it
    CEngineOnPty e(200);
    e.Start();
    std::atomic<bool> done{false};
    std::thread gui([&] {
        for (int i = 0; i < 300; ++i) {
            e.engine->SetTraceSink(i % 2 ? &trace : nullptr);
            e.engine->Trace(3, "gui line $ %d", i);
            e.engine->QueueText("&PIA");
        }
        done = true;
    });
    while (!done.load()) {
        e.Poll();
        e.pty.ReadQuiet(5ms);
        e.pty.Write(B({0xE1, 0x06}));
    }
    gui.join();
    e.engine->Stop();
    // GUI lines keep their '$' while the worker runs (the frame buffer is the worker's).
    for (const auto& l : trace.Lines()) {
        if (l.second.rfind("gui line", 0) == 0) {
            EXPECT_EQ(l.second.substr(0, 10), "gui line $");
        }
    }
}

} // namespace
} // namespace vq5::test
