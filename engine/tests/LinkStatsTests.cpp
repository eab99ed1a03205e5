// The link figures against a scripted device: a port that serves a fixed list of bytes,
// silences and time-outs (known timing, counted exactly), and the engine on a pseudo-terminal
// with a capture attached (every byte both ways, the speed change).
#include "FrameCodec.h"
#include "LinkCapture.h"
#include "PtyHelpers.h"
#include "VLPEngine.h"

#include <gtest/gtest.h>

#include <mutex>
#include <ostream>
#include <thread>

namespace vq5::test {
namespace {

// One step of the scripted device: wait `pauseMs`, then hand the PC `bytes`; with no bytes,
// the PC's read that follows times out.
struct Step {
    int pauseMs = 0;
    Bytes bytes;
};

class CScriptPort : public ISerialPort {
public:
    explicit CScriptPort(std::vector<Step> steps) : m_Steps(std::move(steps)) {}
    bool Open(const std::string&, int&) override { return m_Open = true; }
    void Close() override { m_Open = false; }
    bool IsOpen() const override { return m_Open; }
    // The engine reads first without waiting, then waits: a pause is slept by the waiting read,
    // a silence is that read's time-out.
    ReadResult ReadByte(unsigned char& byte, unsigned timeoutMs, int&) override {
        SkipSpent();
        if (m_Step >= m_Steps.size())
            return ReadResult::Timeout;
        Step& s = m_Steps[m_Step];
        if (s.bytes.empty()) {
            if (timeoutMs > 0)
                ++m_Step;
            return ReadResult::Timeout;
        }
        if (m_Byte == 0 && s.pauseMs > 0) {
            if (timeoutMs == 0)
                return ReadResult::Timeout;
            std::this_thread::sleep_for(std::chrono::milliseconds(s.pauseMs)); // the line's pause under test
            s.pauseMs = 0;
        }
        byte = s.bytes[m_Byte++];
        return ReadResult::Byte;
    }
    WriteResult Write(const unsigned char* bytes, std::size_t count, std::size_t& written, int&) override {
        m_Written.insert(m_Written.end(), bytes, bytes + count);
        written = count;
        return WriteResult::Done;
    }
    bool SetBaud(int baud, int&) override {
        m_Baud = baud;
        return true;
    }
    int Baud() const override { return m_Baud; }
    void Interrupt() override {}
    void ClearInterrupt() override {}
    bool Done() {
        SkipSpent();
        return m_Step >= m_Steps.size();
    }

    Bytes m_Written;

private:
    void SkipSpent() {
        while (m_Step < m_Steps.size() && !m_Steps[m_Step].bytes.empty() &&
               m_Byte >= m_Steps[m_Step].bytes.size()) {
            ++m_Step;
            m_Byte = 0;
        }
    }

    std::vector<Step> m_Steps;
    std::size_t m_Step = 0;
    std::size_t m_Byte = 0;
    bool m_Open = false;
    int m_Baud = 1200;
};

const Bytes kPoll = B({'P', ADR, ENQ});
const Bytes kSelect = B({'S', ADR, ENQ});
const Bytes kAck = B({ADR, ACK});
const Bytes kNak = B({ADR, NAK});
const Bytes kEot = B({NUL, EOT});

// Runs the engine's state machine by hand over a script until it is used up.
struct ScriptedEngine {
    explicit ScriptedEngine(std::vector<Step> steps) {
        store.WriteString("VLPIO", "ComPort", "scripted");
        engine = std::make_unique<CVLPEngine>(&store);
        engine->SetUserMessages(&messages);
        auto owned = std::make_unique<CScriptPort>(std::move(steps));
        port = owned.get();
        auto holder = std::make_shared<std::unique_ptr<CScriptPort>>(std::move(owned));
        engine->SetPortFactory([holder]() -> std::unique_ptr<ISerialPort> { return std::move(*holder); });
        EXPECT_TRUE(engine->Open());
    }
    void Run() {
        for (int guard = 0; guard < 10000 && !(port->Done() && engine->m_State.load() == sIdle); ++guard)
            engine->StateEngine();
    }
    CMemoryStore store;
    CRecordingMessages messages;
    std::unique_ptr<CVLPEngine> engine;
    CScriptPort* port = nullptr;
};

TEST(LinkFiguresScripted, PollIntervalAndCounts) {
    // Five polls 60 ms apart, each answered with EOT.
    std::vector<Step> steps;
    for (int i = 0; i < 5; ++i)
        steps.push_back({i == 0 ? 0 : 60, kPoll});
    ScriptedEngine s(steps);
    s.Run();
    const LinkFigures f = s.engine->Figures();
    ASSERT_TRUE(f.kept);
    EXPECT_EQ(f.polls, 5u);
    EXPECT_EQ(f.selects, 0u);
    EXPECT_EQ(f.framesReceived, 5u);
    EXPECT_EQ(f.framesSent, 5u); // five EOTs
    EXPECT_EQ(f.bytesIn, 15u);
    EXPECT_EQ(f.bytesOut, 10u);
    EXPECT_EQ(Hex(s.port->m_Written), "00 04 00 04 00 04 00 04 00 04");
    // The device's interval: at least the 60 ms it paused, and not much more (the PC answers
    // from memory, nothing else waits).
    EXPECT_GE(f.pollIntervalP50Us, 60000);
    EXPECT_LT(f.pollIntervalP50Us, 60000 + 40000);
    EXPECT_GE(f.pollIntervalP99Us, f.pollIntervalP50Us);
    // Our answers go out at once after the poll's last byte.
    EXPECT_GE(f.answerP50Us, 0);
    EXPECT_LT(f.answerMaxUs, 20000);
    EXPECT_GE(f.sinceLastPollS, 0.0);
    EXPECT_EQ(f.Errors(), 0u);
}

struct ErrorRow {
    const char* name;
    std::vector<Step> steps;
    const char* queued; // message queued before the run, or null
    std::uint64_t naksReceived, naksSent, repeats, timeouts, damaged, garbage;
};

void PrintTo(const ErrorRow& row, std::ostream* os) {
    *os << row.name;
}

class LinkFiguresErrors : public ::testing::TestWithParam<ErrorRow> {};

TEST_P(LinkFiguresErrors, CountedExactly) {
    const ErrorRow& row = GetParam();
    ScriptedEngine s(row.steps);
    if (row.queued)
        s.engine->QueueText(row.queued);
    s.Run();
    const LinkFigures f = s.engine->Figures();
    EXPECT_EQ(f.naksReceived, row.naksReceived);
    EXPECT_EQ(f.naksSent, row.naksSent);
    EXPECT_EQ(f.repeats, row.repeats);
    EXPECT_EQ(f.timeouts, row.timeouts);
    EXPECT_EQ(f.damaged, row.damaged);
    EXPECT_EQ(f.garbageBytes, row.garbage);
    EXPECT_EQ(f.Errors(), row.naksReceived + row.naksSent + row.timeouts + row.damaged + row.garbage);
}

Bytes WrongC2(const std::string& text) {
    Bytes frame = InfoFrameBytes(text);
    frame.back() ^= 0x5A;
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LinkFiguresErrors,
    ::testing::Values(
        // Our frame is NAKed twice, then taken: two repeats.
        ErrorRow{"naks", {{0, kPoll}, {0, kNak}, {0, kNak}, {0, kAck}}, "&PIA", 2, 0, 2, 0, 0, 0},
        // The device's frame arrives with a wrong second check byte: NAK, then the good one.
        ErrorRow{"damaged",
                 {{0, kSelect}, {0, WrongC2("&QIA1")}, {0, InfoFrameBytes(std::string("&QIA1"))}},
                 nullptr,
                 0,
                 1,
                 0,
                 0,
                 1,
                 0},
        // Three read time-outs while idle, then a poll.
        ErrorRow{"timeouts", {{0, {}}, {0, {}}, {0, {}}, {0, kPoll}}, nullptr, 0, 0, 0, 3, 0, 0},
        // Bytes that begin no frame: three single ones and a 'P' not followed by ADR (two), the
        // burst read or dropped after the first; the poll comes after the pause.
        ErrorRow{"garbage",
                 {{0, B({0x78, 0x79, 0x7A})}, {0, B({'P', 'Q'})}, {150, kPoll}},
                 nullptr,
                 0,
                 0,
                 0,
                 0,
                 0,
                 5},
        // No answer to our frame (time-out), sent again at the next poll: one repeat.
        ErrorRow{
            "repeat at next poll", {{0, kPoll}, {0, {}}, {0, kPoll}, {0, kAck}}, "&PIA", 0, 0, 1, 1, 0, 0}),
    [](const ::testing::TestParamInfo<ErrorRow>& info) {
        std::string n = info.param.name;
        for (char& c : n)
            if (!isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return n;
    });

// Records what a capture gets.
class CRecordingCapture : public ILinkCapture {
public:
    void Bytes(LinkDirection d, const unsigned char* bytes, std::size_t count, int baud, Time) override {
        std::lock_guard<std::mutex> lock(m_Lock);
        (d == LinkDirection::DeviceToPc ? m_In : m_Out)
            .insert((d == LinkDirection::DeviceToPc ? m_In : m_Out).end(), bytes, bytes + count);
        m_LastBaud = baud;
    }
    void Speed(int baud, Time) override {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Speeds.push_back(baud);
    }
    std::mutex m_Lock;
    vq5::test::Bytes m_In, m_Out;
    std::vector<int> m_Speeds;
    int m_LastBaud = 0;
};

TEST(LinkFiguresOnPty, CaptureSeesEveryByteAndTheSpeedChange) {
    CEngineOnPty e(2000, 3);
    CRecordingCapture capture;
    e.engine->SetCapture(&capture);
    e.Start();
    e.engine->QueueText("&PS3");
    e.Poll();
    const Bytes frame = e.pty.ReadPcFrame();
    e.pty.Write(kAck);
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
    // The speed changes after the EOT; wait until the capture has seen it.
    EXPECT_TRUE(WaitFor(
        [&] {
            std::lock_guard<std::mutex> lock(capture.m_Lock);
            return capture.m_Speeds.size() >= 3;
        },
        kLong));
    e.engine->SetCapture(nullptr);
    e.Poll(); // not captured any more
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
    std::lock_guard<std::mutex> lock(capture.m_Lock);
    // Attached before the port opened: 0 (closed), then 1200 at the open, 9600 after "&PS3".
    EXPECT_EQ(capture.m_Speeds, (std::vector<int>{0, 1200, 9600}));
    EXPECT_EQ(Hex(capture.m_In), Hex(Cat(kPoll, kAck)));
    EXPECT_EQ(Hex(capture.m_Out), Hex(Cat(frame, kEot)));
    const LinkFigures f = e.engine->Figures();
    EXPECT_EQ(f.baud, 9600);
    EXPECT_EQ(f.polls, 2u);
    EXPECT_EQ(f.status, lsConnected);
}

} // namespace
} // namespace vq5::test
