// The slave state engine against a device played on a real pseudo-terminal: the polled
// exchanges byte for byte, status changes, speed changes, start, stop and destruction.
#include "FrameCodec.h"
#include "PtyHelpers.h"
#include "VLPEngine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>
#include <unistd.h>

namespace vq5::test {
namespace {

// Waits (bounded) until the slave side of the pty runs at `baud`.
bool WaitForSpeed(CPty& pty, int baud) {
    return WaitFor([&] { return pty.SlaveSpeed() == baud; }, kLong);
}

TEST(SlaveExchange, PollWithMessage) {
    CEngineOnPty e;
    e.Start();
    e.engine->QueueMessage("$PRG");
    e.Poll();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "01 E1 02 00 04 24 50 52 47 03 13 76");
    e.pty.Write(B({0xE1, 0x06}));
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
    // The message is gone: the next poll gets a bare EOT.
    e.Poll();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
}

TEST(SlaveExchange, PollWithNothing) {
    CEngineOnPty e;
    e.Start();
    e.Poll();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
    e.Poll();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
}

TEST(SlaveExchange, NakGetsTheSameFrameAgain) {
    CEngineOnPty e;
    e.Start();
    e.engine->QueueMessage("&PIA");
    e.Poll();
    Bytes first = e.pty.ReadPcFrame();
    EXPECT_EQ(first, InfoFrameBytes(std::string("&PIA")));
    e.pty.Write(B({0xE1, 0x15}));
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), Hex(first));
    e.pty.Write(B({0xE1, 0x15}));
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), Hex(first));
    e.pty.Write(B({0xE1, 0x06}));
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
}

TEST(SlaveExchange, TimeoutKeepsTheMessageForTheNextPoll) {
    CEngineOnPty e(300);
    e.Start();
    e.engine->QueueMessage("&PIA");
    e.engine->QueueMessage("&PIB");
    e.Poll();
    Bytes first = e.pty.ReadPcFrame();
    EXPECT_EQ(first, InfoFrameBytes(std::string("&PIA")));
    // No answer: the engine gives up waiting and goes idle, where it times out again.
    ASSERT_TRUE(e.WaitStatus(lsTimeout));
    e.Poll();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), Hex(first)); // the same message, not the next one
    e.pty.Write(B({0xE1, 0x06}));
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
    EXPECT_EQ(e.PollMessage(), "&PIB");
}

TEST(SlaveExchange, OtherAnswerThanAckKeepsTheMessage) {
    CEngineOnPty e;
    e.Start();
    e.engine->QueueMessage("&PIA");
    e.Poll();
    Bytes first = e.pty.ReadPcFrame();
    e.pty.Write(B({0x00, 0x04})); // EOT instead of ACK
    e.Poll();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), Hex(first));
    e.pty.Write(B({0xE1, 0x06}));
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
}

TEST(SlaveExchange, SelectWithTwoLetters) {
    CEngineOnPty e;
    e.Start();
    e.pty.Write(B({0x53, 0xE1, 0x05}));
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "E1 06");
    e.pty.Write(B({0x01, 0xE1, 0x02, 0x00, 0x02, 0x41, 0x42, 0x03, 0x40, 0x41}));
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "E1 06");
    Notification n = e.WaitKind(nkReceived);
    EXPECT_EQ(n.text, "AB");
}

TEST(SlaveExchange, DamagedFrameIsAskedForAgain) {
    CEngineOnPty e;
    e.Start();
    e.pty.Write(B({0x53, 0xE1, 0x05}));
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "E1 06");
    Bytes good = InfoFrameBytes(std::string("&PKW5"));
    Bytes bad = good;
    bad[bad.size() - 1] ^= 0x5A; // C2 wrong
    e.pty.Write(bad);
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "E1 15");
    e.pty.Write(good);
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "E1 06");
    EXPECT_EQ(e.WaitKind(nkReceived).text, "&PKW5");
}

TEST(SlaveExchange, EotEndsASelect) {
    CEngineOnPty e;
    e.Start();
    e.SendSelect();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "E1 06");
    e.pty.Write(B({0x00, 0x04}));
    e.Poll();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
}

TEST(SlaveExchange, SpeedChangeAfterTheEot) {
    CEngineOnPty e(2000, 3);
    e.Start();
    e.Identify('Q', "87");
    e.engine->EnterProgramMode(); // "$PRG", "84>&QS3"
    EXPECT_EQ(e.PollMessage(), "$PRG");
    EXPECT_EQ(e.pty.SlaveSpeed(), 1200);
    e.Poll();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), Hex(InfoFrameBytes(std::string("&QS3"))));
    e.pty.Write(B({0xE1, 0x06}));
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04"); // the EOT still goes out
    ASSERT_TRUE(WaitForSpeed(e.pty, 9600));
    EXPECT_EQ(e.engine->CurrentBaud(), 9600);
    // "&PX0": back to 1200.
    e.engine->LeaveProgramMode(false);
    EXPECT_EQ(e.PollMessage(), "&QX0");
    ASSERT_TRUE(WaitForSpeed(e.pty, 1200));
}

TEST(SlaveExchange, RebootReturnsToTheBaseSpeed) {
    // "&PXR" restarts the device, which comes up at 1200 baud: after the EOT the PC follows,
    // so the link survives a reboot with a fast speed configured.
    CEngineOnPty e(2000, 3);
    e.Start();
    e.Identify('Q', "87");
    e.engine->EnterProgramMode();
    EXPECT_EQ(e.PollMessage(), "$PRG");
    EXPECT_EQ(e.PollMessage(), "&QS3");
    ASSERT_TRUE(WaitForSpeed(e.pty, 9600));
    e.engine->LeaveProgramMode(true);
    EXPECT_EQ(e.PollMessage(), "&QXR");
    ASSERT_TRUE(WaitForSpeed(e.pty, 1200));
    EXPECT_EQ(e.engine->CurrentBaud(), 1200);
    EXPECT_EQ(e.PollMessage(), ""); // the link goes on at the base speed
    EXPECT_EQ(e.pty.SlaveSpeed(), 1200);
}

TEST(SlaveExchange, FastestSpeeds) {
    for (int index : {4, 5}) {
        CEngineOnPty e(2000, index);
        e.Start();
        e.Identify('P', "91");
        e.engine->EnterProgramMode();
        EXPECT_EQ(e.PollMessage(), "$PRG");
        EXPECT_EQ(e.PollMessage(), "&PS" + std::to_string(index));
        ASSERT_TRUE(WaitForSpeed(e.pty, kSpeedTable[index]));
    }
}

TEST(SlaveStatus, RepeatedPollsNotifyConnectedOnce) {
    CEngineOnPty e;
    e.Start(); // Initializing seen
    for (int i = 0; i < 5; ++i) {
        e.Poll();
        EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
    }
    auto seen = e.Drain(200ms);
    int connected = 0;
    for (const auto& n : seen)
        if (n.kind == nkLinkStatus) {
            EXPECT_EQ(n.value, lsConnected);
            ++connected;
        }
    EXPECT_EQ(connected, 1);
    EXPECT_STREQ(e.engine->StatusText(), "Connected");
}

TEST(SlaveStatus, NoDeviceGivesTimeoutOnceAndSendsNothing) {
    CEngineOnPty e(200);
    e.engine->Start();
    EXPECT_EQ(e.WaitKind(nkLinkStatus).value, lsInitializing);
    EXPECT_EQ(e.WaitKind(nkLinkStatus).value, lsTimeout);
    // Several more read time-outs pass: no further notification, no byte on the line.
    std::this_thread::sleep_for(700ms);
    EXPECT_TRUE(e.Drain(50ms).empty());
    EXPECT_TRUE(e.pty.ReadQuiet(50ms).empty());
    e.engine->Stop();
    EXPECT_EQ(e.WaitKind(nkLinkStatus).value, lsStopped);
}

// Line noise while idle shows Error and the PC answers polls again soon: a burst costs one
// pause, not one per byte, so 300 bytes waiting at once (2.5 s of line at 1200 baud) leave it
// answering well within a second or two.
struct NoiseRow {
    const char* name;
    Bytes noise;
    std::chrono::milliseconds answeredWithin;
};

class SlaveNoise : public ::testing::TestWithParam<NoiseRow> {};

TEST_P(SlaveNoise, ShowsErrorThenAnswersPollsAgain) {
    CEngineOnPty e;
    e.Start();
    e.pty.Write(GetParam().noise);
    ASSERT_TRUE(e.WaitStatus(lsError));
    // A poll written while the engine still pauses after the noise, or drops it, may go with
    // it: poll again until the PC answers.
    const auto start = std::chrono::steady_clock::now();
    Bytes answer;
    while (answer.empty() && std::chrono::steady_clock::now() - start < GetParam().answeredWithin) {
        e.Poll();
        answer = e.pty.ReadPcFrame(300ms);
    }
    EXPECT_EQ(Hex(answer), "00 04");
    EXPECT_LT(std::chrono::steady_clock::now() - start, GetParam().answeredWithin);
    EXPECT_TRUE(e.WaitStatus(lsConnected));
}

INSTANTIATE_TEST_SUITE_P(SlaveStatus, SlaveNoise,
                         ::testing::Values(NoiseRow{"OneByte", Bytes{0x77}, 5s},
                                           NoiseRow{"BurstOf300", Bytes(300, 0x77), 3s}),
                         [](const ::testing::TestParamInfo<NoiseRow>& info) { return info.param.name; });

// The device goes silent inside its select: the PC keeps waiting for the frame, shows
// Timeout after the read time-out, and takes the frame when it comes after all.
TEST(SlaveStatus, SilenceInsideASelectShowsTimeout) {
    CEngineOnPty e(200);
    e.Start();
    e.SendSelect();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "E1 06");
    Notification n;
    ASSERT_TRUE(e.WaitStatus(lsTimeout));
    EXPECT_STREQ(e.engine->StatusText(), "Timeout");
    e.pty.Write(InfoFrameBytes(std::string("AB")));
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "E1 06");
    ASSERT_TRUE(e.WaitStatus(lsConnected));
    ASSERT_TRUE(e.queue.WaitFor(nkReceived, -1, kLong, &n));
    EXPECT_EQ(n.text, "AB");
}

// A message taken from the queue awaits its ACK until the device gives it; a NAK or a
// missing answer keeps it awaiting.
TEST(SlaveStatus, MessageAwaitsItsAckUntilTaken) {
    CEngineOnPty e(300);
    e.Start();
    EXPECT_FALSE(e.engine->AwaitingAck());
    e.engine->QueueMessage("&PIA");
    e.Poll();
    EXPECT_EQ(e.pty.ReadPcFrame(), InfoFrameBytes(std::string("&PIA")));
    EXPECT_EQ(e.engine->QueueLength(), 0u);
    EXPECT_TRUE(e.engine->AwaitingAck());
    e.pty.Write(B({0xE1, 0x15})); // NAK: sent again
    EXPECT_EQ(e.pty.ReadPcFrame(), InfoFrameBytes(std::string("&PIA")));
    EXPECT_TRUE(e.engine->AwaitingAck());
    e.pty.Write(B({0xE1, 0x06}));
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
    EXPECT_TRUE(WaitFor([&] { return !e.engine->AwaitingAck(); }, kLong));
}

TEST(SlaveStatus, OpenFailureGoesToStopped) {
    CEngineOnPty e;
    e.engine->m_ComPort = "/dev/nonexistent-vq5";
    e.engine->Start();
    EXPECT_EQ(e.WaitKind(nkLinkStatus).value, lsInitializing);
    EXPECT_EQ(e.WaitKind(nkLinkStatus).value, lsStopped);
    ASSERT_EQ(e.messages.Boxes().size(), 1u);
    EXPECT_EQ(e.messages.Boxes()[0].first, "Error: Open of /dev/nonexistent-vq5");
}

TEST(SlaveStatus, StateNamesAndStatusNames) {
    const char* states[] = {"sInit", "sIdle",  "sTxTry", "sTxDo",   "sTxWait", "sTxOk",
                            "sTxNo", "sRxTry", "sRxDo",  "sRxWait", "sRxOk",   "sRxNOk"};
    for (int i = 0; i < 12; ++i)
        EXPECT_STREQ(SlaveStateName(i), states[i]);
    EXPECT_STREQ(SlaveStateName(12), "ERROR");
    const char* statuses[] = {"Idle", "Initializing", "Connected", "Timeout", "Error", "Stopped"};
    for (int i = 0; i < 6; ++i)
        EXPECT_STREQ(LinkStatusName(i), statuses[i]);
    EXPECT_STREQ(LinkStatusName(6), "ERROR");
    EXPECT_STREQ(LinkStatusName(-1), "ERROR");
}

TEST(SlaveStatus, InvalidStateGoesIdle) {
    CMemoryStore store;
    CVLPEngine engine(&store);
    CRecordingTrace trace;
    engine.SetTraceSink(&trace);
    engine.m_State = 42;
    engine.StateEngine();
    EXPECT_EQ(engine.m_State.load(), sIdle);
    EXPECT_TRUE(trace.Contains("CVLPSlave::StateEngine(), Invalid m_State 42"));
    EXPECT_TRUE(trace.Contains("CVLPSlave::StateEngine(), State=ERROR"));
}

// A frame the device sends without a select must not become the PC's next message.
TEST(SlaveStrayInput, UnexpectedFrameWhileIdleIsNotSentBack) {
    CEngineOnPty e;
    e.Start();
    e.pty.Write(InfoFrameBytes(std::string("&PKW1")));
    ASSERT_TRUE(e.WaitStatus(lsError));
    e.Poll();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
}

// A line given as a script: bytes, failed reads, and time-outs once it runs out.
class CScriptPort : public ISerialPort {
public:
    explicit CScriptPort(std::vector<int> script) : m_Script(std::move(script)) {}
    bool Open(const std::string&, int&) override { return m_Open = true; }
    void Close() override { m_Open = false; }
    bool IsOpen() const override { return m_Open; }
    ReadResult ReadByte(unsigned char& b, unsigned, int& error) override {
        if (m_Next >= m_Script.size())
            return ReadResult::Timeout;
        int v = m_Script[m_Next++];
        if (v < 0) {
            error = EPROTO;
            return ReadResult::Failed;
        }
        b = static_cast<unsigned char>(v);
        return ReadResult::Byte;
    }
    WriteResult Write(const unsigned char* bytes, std::size_t count, std::size_t& written, int&) override {
        m_Written.insert(m_Written.end(), bytes, bytes + count);
        written = count;
        return WriteResult::Done;
    }
    bool SetBaud(int, int&) override { return true; }
    int Baud() const override { return 1200; }
    void Interrupt() override {}
    void ClearInterrupt() override {}
    bool Done() const { return m_Next >= m_Script.size(); }
    std::vector<int> m_Script;
    std::size_t m_Next = 0;
    bool m_Open = false;
    Bytes m_Written;
};

// Drives the state engine on the test thread over a scripted line until it has run out.
Bytes RunScript(CVLPEngine& engine, std::vector<int> script, int steps = 64) {
    auto port = std::make_unique<CScriptPort>(std::move(script));
    CScriptPort* raw = port.get();
    auto holder = std::make_shared<std::unique_ptr<CScriptPort>>(std::move(port));
    engine.SetPortFactory([holder]() -> std::unique_ptr<ISerialPort> { return std::move(*holder); });
    engine.m_Run = false; // no worker: the pauses return at once
    EXPECT_TRUE(engine.Open());
    for (int i = 0; i < steps && !(raw->Done() && engine.m_State.load() == sIdle); ++i)
        engine.StateEngine();
    return raw->m_Written;
}

// Bytes of a frame cut off by a failed read are not sent back at the next poll.
TEST(SlaveStrayInput, FrameCutByAFailedReadIsNotSentBack) {
    CMemoryStore store;
    CRecordingMessages boxes;
    CVLPEngine engine(&store);
    engine.SetUserMessages(&boxes);
    Bytes written =
        RunScript(engine, {0x01, 0xE1, 0x02, 0x00, 0x03, 'A', 'B', -1, 'P', 0xE1, 0x05, 0xE1, 0x06});
    EXPECT_EQ(Hex(written), "00 04");
}

// The same while a message waits for its ACK: that message goes out, not the bytes.
TEST(SlaveStrayInput, FrameCutWhileAMessageWaitsKeepsTheMessage) {
    CMemoryStore store;
    CRecordingMessages boxes;
    CVLPEngine engine(&store);
    engine.SetUserMessages(&boxes);
    engine.QueueText("&PIA");
    std::vector<int> script = {'P',  0xE1, 0x05,                      // poll: the PC sends &PIA
                               0x01, 0xE1, 0x02, 0x00, 0x05, 'x', -1, // a cut frame instead of ACK
                               'P',  0xE1, 0x05, 0xE1, 0x06};         // poll again, then ACK
    Bytes written = RunScript(engine, script);
    Bytes frame = InfoFrameBytes(std::string("&PIA"));
    EXPECT_EQ(Hex(written), Hex(Cat(Cat(frame, frame), B({0x00, 0x04}))));
}

// A message waiting for its ACK survives a select in between.
TEST(SlaveStrayInput, PendingMessageSurvivesASelect) {
    CEngineOnPty e(300);
    e.Start();
    e.engine->QueueMessage("&PIA");
    e.Poll();
    Bytes first = e.pty.ReadPcFrame();
    ASSERT_TRUE(e.WaitStatus(lsTimeout)); // no ACK came
    e.SelectSend("&PKW7");
    EXPECT_EQ(e.WaitKind(nkReceived).text, "&PKW7");
    e.Poll();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), Hex(first));
    e.pty.Write(B({0xE1, 0x06}));
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
}

// A device that gives up a select and polls again is answered.
TEST(SlaveStrayInput, PollAfterAbandonedSelectIsAnswered) {
    CEngineOnPty e;
    e.Start();
    e.SendSelect();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "E1 06");
    e.engine->QueueMessage("&PIA");
    EXPECT_EQ(e.PollMessage(), "&PIA");
}

TEST(SlaveLifecycle, RestartWhileAReadWaits) {
    CEngineOnPty e(60000);
    e.Start();
    for (int i = 0; i < 50; ++i) {
        e.engine->Start(); // stops the running worker (waiting in a 60 s read) first
        ASSERT_TRUE(e.engine->IsRunning());
    }
    // Still answers polls.
    e.Poll();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
    EXPECT_TRUE(e.messages.Boxes().empty());
}

TEST(SlaveLifecycle, StopAndDestroyWhileAReadWaits) {
    for (int i = 0; i < 50; ++i) {
        CEngineOnPty e(60000);
        e.Start();
        if (i % 2 == 0) {
            e.engine->Stop();
            EXPECT_FALSE(e.engine->IsRunning());
            EXPECT_FALSE(e.engine->IsOpen());
        }
        e.engine.reset(); // destruction with the worker in its read
        EXPECT_TRUE(e.messages.Boxes().empty());
    }
}

TEST(SlaveLifecycle, StopWhileTheWorkerStandsInAnErrorBox) {
    for (int i = 0; i < 10; ++i) {
        CEngineOnPty e;
        CRecordingMessages modal(true);
        e.engine->SetUserMessages(&modal);
        e.engine->m_ComPort = "/dev/nonexistent-vq5";
        e.engine->Start();
        ASSERT_TRUE(modal.WaitForBox(kLong)); // the worker now waits for the box to close
        e.engine->Stop();                     // must not wait for the user
        EXPECT_FALSE(e.engine->IsRunning());
        e.engine.reset();
    }
}

TEST(SlaveLifecycle, StartWithAWorkerRunningEndsItFirst) {
    CEngineOnPty e(60000);
    e.Start();
    e.engine->Start();
    // Exactly one worker holds the port: a poll is answered once, not twice.
    e.Poll();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
    EXPECT_TRUE(e.pty.ReadQuiet(100ms).empty());
    // The old worker said Stopped, the new one Initializing.
    auto seen = e.Drain(100ms);
    std::vector<long> statuses;
    for (const auto& n : seen)
        if (n.kind == nkLinkStatus)
            statuses.push_back(n.value);
    ASSERT_GE(statuses.size(), 2u);
    EXPECT_EQ(statuses[0], lsStopped);
    EXPECT_EQ(statuses[1], lsInitializing);
}

TEST(SlaveLifecycle, NoBusyWaitingWithoutADevice) {
    CEngineOnPty e(2000);
    e.Start();
    std::this_thread::sleep_for(100ms); // settled after the start
    double before = ProcessCpuMs();
    std::this_thread::sleep_for(2000ms); // the idle span whose CPU is measured
    double used = ProcessCpuMs() - before;
    std::printf("idle engine, 2 s: %.1f ms CPU\n", used);
    EXPECT_LT(used, 50.0) << "the idle engine used " << used << " ms of CPU in 2 s";
}

TEST(SlaveLifecycle, LostLineCostsNoCpuAndStopsPromptly) {
    CEngineOnPty e(2000);
    e.Start();
    e.Poll(); // the engine has the port open once it answers
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
    e.pty.CloseMaster();
    ASSERT_TRUE(e.WaitStatus(lsError));
    double before = ProcessCpuMs();
    std::this_thread::sleep_for(1500ms); // the span whose CPU is measured
    double used = ProcessCpuMs() - before;
    std::printf("lost port, 1.5 s: %.1f ms CPU\n", used);
    EXPECT_LT(used, 50.0) << "a lost port used " << used << " ms of CPU";
    EXPECT_EQ(e.messages.Boxes().size(), 1u); // reported once
    e.engine->Stop();
    EXPECT_FALSE(e.engine->IsRunning());
}

TEST(SlaveLifecycle, LostPortIsOpenedAgain) {
    // The engine's port is a symbolic link; when the line behind it goes, the link is pointed
    // at a new line, which the engine finds on one of its attempts.
    auto pty2 = std::make_unique<CPty>();
    char link[] = "/tmp/vq5-engine-linkXXXXXX";
    int fd = mkstemp(link);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ::unlink(link);
    ASSERT_EQ(::symlink(pty2->Path().c_str(), link), 0);
    CEngineOnPty e(500);
    e.engine->m_ComPort = link;
    e.Start();
    pty2->Write(B({'P', ADR, ENQ}));
    EXPECT_EQ(Hex(pty2->ReadPcFrame()), "00 04");
    e.engine->QueueMessage("&PIA");
    pty2->CloseMaster(); // the line goes
    ASSERT_TRUE(e.WaitStatus(lsError));
    ::unlink(link);
    ASSERT_EQ(::symlink(e.pty.Path().c_str(), link), 0);
    EXPECT_EQ(e.PollMessage(), "&PIA");
    EXPECT_EQ(e.messages.Boxes().size(), 1u);
    e.engine->Stop();
    ::unlink(link);
}

} // namespace
} // namespace vq5::test
