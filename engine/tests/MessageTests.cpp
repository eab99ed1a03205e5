// The message layer: version gates, device letter, identification, queue counters and the
// notifications, end to end against a device on a pseudo-terminal and directly.
#include "FrameCodec.h"
#include "PtyHelpers.h"
#include "VLPEngine.h"

#include <gtest/gtest.h>

#include <future>

namespace vq5::test {
namespace {

// Takes messages from the engine directly (no port, no worker).
struct Direct : ::testing::Test {
    CMemoryStore store;
    CNotifyQueue queue;
    std::unique_ptr<CVLPEngine> engine;
    void SetUp() override {
        engine = std::make_unique<CVLPEngine>(&store);
        engine->SetNotifySink(&queue);
    }
    std::string Take() {
        engine->m_Len = engine->TxMessage(engine->m_Data);
        return std::string(reinterpret_cast<const char*>(engine->m_Data), engine->m_Len);
    }
    void Receive(const std::string& text) {
        engine->RxMessage(reinterpret_cast<const unsigned char*>(text.data()),
                          static_cast<unsigned>(text.size()));
    }
    std::vector<Notification> All() {
        std::vector<Notification> out;
        Notification n;
        while (queue.TryTake(n))
            out.push_back(n);
        return out;
    }
};

TEST(Gates, AtVersion87) {
    EXPECT_TRUE(GatesPass("87>&PA", 8, 7));
    EXPECT_FALSE(GatesPass("88>&PA", 8, 7));
    EXPECT_FALSE(GatesPass("87<&PA", 8, 7));
    EXPECT_TRUE(GatesPass("88<&PA", 8, 7));
    EXPECT_TRUE(GatesPass("87>91<&PA", 8, 7));
    EXPECT_FALSE(GatesPass("87>91<&PA", 9, 1));
    EXPECT_TRUE(GatesPass("91>&PA", 10, 3));
    EXPECT_FALSE(GatesPass("84>&PS3", 0, 0));
    EXPECT_TRUE(GatesPass("91<&PIB", 0, 0));
}

TEST_F(Direct, ShortTextsAreNeverGated) {
    engine->QueueText("87>X");
    engine->QueueText("1<");
    EXPECT_EQ(Take(), "87>X");
    EXPECT_EQ(Take(), "1<");
}

TEST_F(Direct, GatesAtVersion00) {
    engine->QueueMessage("84>&PS%d", 3);
    engine->QueueMessage("91<&PIB%s", "x");
    engine->QueueMessage("$PRG");
    EXPECT_EQ(Take(), "");      // held back
    EXPECT_EQ(Take(), "&PIBx"); // gate removed
    EXPECT_EQ(Take(), "$PRG");  // unchanged
}

TEST_F(Direct, EmptyTextIsDroppedSilently) {
    engine->QueueText("");
    engine->QueueText("&PIA");
    All();
    EXPECT_EQ(Take(), "");
    EXPECT_TRUE(All().empty()); // nothing reported for the empty text
    EXPECT_EQ(Take(), "&PIA");
}

TEST_F(Direct, DoubleGateOnlyIsNothingToSend) {
    engine->QueueText("87>91<");
    EXPECT_EQ(Take(), "");
}

TEST_F(Direct, QueueCutsLongTextsTo99) {
    std::string longText(150, 'a');
    engine->QueueMessage("%s", longText.c_str());
    engine->QueueText(longText);
    engine->QueueText(std::string(99, 'b'));
    EXPECT_EQ(Take(), std::string(99, 'a'));
    EXPECT_EQ(Take(), std::string(99, 'a'));
    EXPECT_EQ(Take(), std::string(99, 'b'));
}

TEST_F(Direct, QueuePositions) {
    EXPECT_EQ(engine->QueueText("a"), 0);
    EXPECT_EQ(engine->QueueText("b"), 1);
    EXPECT_EQ(engine->QueueMessage("c%d", 1), 2);
    EXPECT_EQ(engine->QueueLength(), 3u);
}

TEST_F(Direct, CountersAndNotifications) {
    engine->QueueText("&PIA");    // 4
    engine->QueueText("&PIB");    // 8
    engine->QueueText("91>&PIC"); // 15, held back at 0.0
    auto n = All();
    ASSERT_EQ(n.size(), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(n[i].kind, nkQueueProgress);
    EXPECT_EQ(n[0].value, 4);
    EXPECT_EQ(n[1].value, 8);
    EXPECT_EQ(n[2].value, 15);
    EXPECT_EQ(Take(), "&PIA");
    EXPECT_EQ(Take(), "&PIB");
    EXPECT_EQ(Take(), "");
    n = All();
    ASSERT_EQ(n.size(), 3u);
    EXPECT_EQ(n[0].value, (4L << 16) | 15);
    EXPECT_EQ(n[1].value, (8L << 16) | 15);
    EXPECT_EQ(n[2].value, (15L << 16) | 15); // the held-back text counts as sent
    EXPECT_EQ(Take(), "");
    n = All();
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].kind, nkQueueEmpty);
    EXPECT_EQ(Take(), "");
    EXPECT_TRUE(All().empty()); // reported once
    // The next batch counts from 0.
    engine->QueueText("ab");
    n = All();
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].value, 2);
}

TEST_F(Direct, CountersAreCutTo16Bits) {
    for (int i = 0; i < 700; ++i)
        engine->QueueText(std::string(99, 'x')); // 69300 bytes
    auto n = All();
    ASSERT_EQ(n.size(), 700u);
    EXPECT_EQ(n.back().value, 69300 & 0xFFFF);
}

TEST_F(Direct, ProgramModeSequences) {
    engine->m_FastBaudRate = 0;
    engine->EnterProgramMode();
    engine->LeaveProgramMode(false);
    EXPECT_EQ(engine->QueueLength(), 2u);
    EXPECT_EQ(Take(), "$PRG");
    EXPECT_EQ(Take(), "&PX");

    engine->m_FastBaudRate = 3;
    engine->EnterProgramMode();
    engine->LeaveProgramMode(false);
    engine->LeaveProgramMode(true);
    EXPECT_EQ(Take(), "$PRG");
    EXPECT_EQ(Take(), ""); // "84>&PS3" held back before identification
    EXPECT_EQ(Take(), "&PX0");
    EXPECT_EQ(Take(), "&PXR");
}

TEST(ProgramModeExit, Texts) {
    for (const char* yes : {"&PX", "&PX0", "&PX3", "&PX5", "&PXR", "&QX", "&QXR"})
        EXPECT_TRUE(IsProgramModeExit(yes)) << yes;
    for (const char* no : {"", "&P", "&PX6", "&PXA", "&PXR1", "$PRG", "&PIA", "&PS3", "PX", "&PXS"})
        EXPECT_FALSE(IsProgramModeExit(no)) << no;
}

// Program mode is open from the "$PRG" handed to the link until an exit after it has been
// acknowledged (the link asks for the next message only then).
TEST_F(Direct, ProgramModeOpenUntilTheExitIsAcknowledged) {
    engine->m_FastBaudRate = 0;
    engine->EnterProgramMode();
    engine->QueueText("&PIA");
    engine->LeaveProgramMode(false);
    EXPECT_FALSE(engine->ProgramModeOpen()) << "queued only";
    EXPECT_EQ(Take(), "$PRG");
    EXPECT_TRUE(engine->ProgramModeOpen());
    EXPECT_EQ(Take(), "&PIA");
    EXPECT_EQ(Take(), "&PX");
    EXPECT_TRUE(engine->ProgramModeOpen()) << "the exit waits for its ACK";
    EXPECT_EQ(Take(), "");
    EXPECT_FALSE(engine->ProgramModeOpen());
}

TEST_F(Direct, DeviceLeavingProgramModeClosesIt) {
    EXPECT_EQ((engine->QueueText("$PRG"), Take()), "$PRG");
    EXPECT_TRUE(engine->ProgramModeOpen());
    Receive("&PX");
    EXPECT_FALSE(engine->ProgramModeOpen());
    EXPECT_FALSE(engine->QueueExitForClose());
}

// A close while program mode is open: what is queued goes, except a queued exit; without one
// the plain exit is queued. Outside program mode nothing changes.
TEST_F(Direct, CloseSendsOnlyTheExit) {
    struct Case {
        int fast;
        std::vector<std::string> queued; // after "$PRG" went out
        std::string exit;
    } cases[] = {
        {0, {"&PIA", "&PIB"}, "&PX"},          {3, {"&PIA"}, "&PX0"}, {0, {"&PFE1", "&PXR"}, "&PXR"},
        {3, {"&PIA", "&PX0", "&PIB"}, "&PX0"}, {0, {}, "&PX"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exit);
        SetUp();
        engine->m_FastBaudRate = c.fast;
        engine->QueueText("$PRG");
        for (const auto& t : c.queued)
            engine->QueueText(t);
        EXPECT_EQ(Take(), "$PRG");
        EXPECT_TRUE(engine->QueueExitForClose());
        EXPECT_EQ(engine->QueueLength(), 1u);
        EXPECT_EQ(Take(), c.exit);
        EXPECT_EQ(Take(), "");
        EXPECT_FALSE(engine->ProgramModeOpen());
    }
}

TEST_F(Direct, CloseOutsideProgramModeChangesNothing) {
    engine->QueueText("&PIA");
    engine->QueueText("$PRG"); // not handed out yet
    EXPECT_FALSE(engine->QueueExitForClose());
    EXPECT_EQ(engine->QueueLength(), 2u);
    EXPECT_EQ(Take(), "&PIA");
    EXPECT_EQ(Take(), "$PRG");
    engine->LeaveProgramMode(false);
    EXPECT_EQ(Take(), "&PX0");
    EXPECT_EQ(Take(), "");
    EXPECT_FALSE(engine->QueueExitForClose());
    EXPECT_EQ(engine->QueueLength(), 0u);
}

TEST_F(Direct, IdentificationSetsLetterAndVersion) {
    Receive("&QPVQ-5 (87) Lumark");
    EXPECT_EQ(engine->DeviceLetter(), 'Q');
    EXPECT_EQ(engine->VersionMajor(), 8u);
    EXPECT_EQ(engine->VersionMinor(), 7u);
    EXPECT_EQ(engine->Identification(), "VQ-5 (87) Lumark");
    auto n = All();
    ASSERT_EQ(n.size(), 2u);
    EXPECT_EQ(n[0].kind, nkReceived);
    EXPECT_EQ(n[0].text, "&QPVQ-5 (87) Lumark");
    EXPECT_EQ(n[1].kind, nkIdent);
    EXPECT_EQ(n[1].value, 1);
    EXPECT_EQ(n[1].text, "VQ-5 (87) Lumark");

    EXPECT_EQ(engine->AddressCommand("&PX"), "&QX");
    EXPECT_EQ(engine->AddressCommand("84>&PS3"), "84>&QS3");
    EXPECT_EQ(engine->AddressCommand("$PRG"), "$PRG");
    engine->QueueText("&PIA");
    engine->QueueText("91<&PIB%s");
    engine->QueueText("$PRG");
    EXPECT_EQ(Take(), "&QIA");
    EXPECT_EQ(Take(), "&QIB%s");
    EXPECT_EQ(Take(), "$PRG");
}

TEST_F(Direct, VersionA3) {
    Receive("&PPVQ-5 (A3)");
    EXPECT_EQ(engine->VersionMajor(), 10u);
    EXPECT_EQ(engine->VersionMinor(), 3u);
    engine->QueueText("91>&PIX");
    EXPECT_EQ(Take(), "&PIX");
}

TEST_F(Direct, IdentificationWithoutParenthesisKeepsVersion) {
    Receive("&QPVQ-5 (91)");
    Receive("&RPVQ-5 no version here");
    EXPECT_EQ(engine->DeviceLetter(), 'R');
    EXPECT_EQ(engine->Identification(), "VQ-5 no version here");
    EXPECT_EQ(engine->VersionMajor(), 9u);
    EXPECT_EQ(engine->VersionMinor(), 1u);
}

TEST_F(Direct, IdentificationCutTo63) {
    std::string tail(100, 'z');
    Receive("&QPVQ-5 (87)" + tail);
    EXPECT_EQ(engine->Identification().size(), 63u);
    EXPECT_EQ(engine->Identification().substr(0, 9), "VQ-5 (87)");
    EXPECT_EQ(engine->VersionMajor(), 8u);
}

TEST_F(Direct, BadVersionDigitsAreIgnored) {
    Receive("&PPVQ-5 (87)");
    Receive("&PPVQ-5 (x!)");
    EXPECT_EQ(engine->VersionMajor(), 8u);
    EXPECT_EQ(engine->VersionMinor(), 7u);
    Receive("&PPVQ-5 (");  // '(' at the end
    Receive("&PPVQ-5 (9"); // one digit only
    EXPECT_EQ(engine->VersionMajor(), 8u);
    EXPECT_EQ(engine->Identification(), "VQ-5 (9");
}

TEST_F(Direct, ShortAndOddRepliesArePassedOn) {
    Receive("");
    Receive("&");
    Receive("&P");
    Receive("&PPVQ-"); // shorter than the identification
    Receive(std::string("&P\0X", 4));
    auto n = All();
    ASSERT_EQ(n.size(), 5u);
    for (const auto& x : n)
        EXPECT_EQ(x.kind, nkReceived);
    EXPECT_EQ(n[4].text.size(), 4u);
    EXPECT_EQ(engine->DeviceLetter(), 'P');
}

TEST_F(Direct, ProgramModeExitResetsVersion) {
    Receive("&QPVQ-5 (87)");
    All();
    Receive("&QX");
    EXPECT_EQ(engine->VersionMajor(), 0u);
    EXPECT_EQ(engine->VersionMinor(), 0u);
    EXPECT_EQ(engine->DeviceLetter(), 'Q');
    EXPECT_EQ(engine->Identification(), "VQ-5 (87)");
    auto n = All();
    ASSERT_EQ(n.size(), 2u);
    EXPECT_EQ(n[1].kind, nkIdent);
    EXPECT_EQ(n[1].value, 0);
    // "&PX" with the old letter is no exit any more.
    Receive("&PX");
    EXPECT_EQ(All().size(), 1u);
}

TEST_F(Direct, StatusIsReportedOnChangeOnly) {
    engine->SetStatus(lsConnected);
    engine->SetStatus(lsConnected);
    engine->SetStatus(lsTimeout);
    auto n = All();
    ASSERT_EQ(n.size(), 2u);
    EXPECT_EQ(n[0].kind, nkLinkStatus);
    EXPECT_EQ(n[0].value, lsConnected);
    EXPECT_EQ(n[1].value, lsTimeout);
    EXPECT_STREQ(engine->StatusText(), "Timeout");
}

// End to end: the device identifies itself, the PC's messages go out as the gates say.
TEST(MessagesOnTheLine, GatesAndLetterAtVersion87) {
    CEngineOnPty e;
    e.Start();
    e.Identify('Q', "87");
    EXPECT_EQ(e.engine->Identification(), "VQ-5 (87) test unit");
    for (const char* t : {"87>&PA", "88>&PB", "87<&PC", "88<&PD", "87>91<&PE", "&PIA", "91<&PIB1"})
        e.engine->QueueText(t);
    EXPECT_EQ(e.PollMessage(), "&QA");
    EXPECT_EQ(e.PollMessage(), ""); // 88> held back: EOT
    EXPECT_EQ(e.PollMessage(), ""); // 87< held back
    EXPECT_EQ(e.PollMessage(), "&QD");
    EXPECT_EQ(e.PollMessage(), "&QE");
    EXPECT_EQ(e.PollMessage(), "&QIA");
    EXPECT_EQ(e.PollMessage(), "&QIB1");
}

TEST(MessagesOnTheLine, GatesAtVersions00And91AndA3) {
    CEngineOnPty e;
    e.Start();
    for (const char* t : {"84>&PS3", "91<&PIB", "87>91<&PE"})
        e.engine->QueueText(t);
    EXPECT_EQ(e.PollMessage(), "");
    EXPECT_EQ(e.PollMessage(), "&PIB");
    EXPECT_EQ(e.PollMessage(), "");
    e.Identify('P', "91");
    for (const char* t : {"87>91<&PE", "91<&PIB", "91>&PF"})
        e.engine->QueueText(t);
    EXPECT_EQ(e.PollMessage(), "");
    EXPECT_EQ(e.PollMessage(), "");
    EXPECT_EQ(e.PollMessage(), "&PF");
    e.Identify('P', "A3");
    EXPECT_EQ(e.engine->VersionMajor(), 10u);
    e.engine->QueueText("91>&PG");
    EXPECT_EQ(e.PollMessage(), "&PG");
}

TEST(MessagesOnTheLine, NotificationsInTheirOrder) {
    CEngineOnPty e(6000);
    e.Start();
    e.Poll();
    EXPECT_EQ(Hex(e.pty.ReadPcFrame()), "00 04");
    ASSERT_TRUE(e.WaitStatus(lsConnected));

    e.engine->QueueText("$PRG");
    e.engine->QueueText("&PIA");
    EXPECT_EQ(e.PollMessage(), "$PRG");
    EXPECT_EQ(e.PollMessage(), "&PIA");
    EXPECT_EQ(e.PollMessage(), ""); // the queue ran empty
    EXPECT_EQ(e.PollMessage(), ""); // reported once only
    e.SelectSend("&PPVQ-5 (91) x");
    e.SelectSend("&PX");
    e.engine->Stop();

    std::vector<Notification> seen = e.Drain(100ms);
    std::vector<std::pair<int, long>> got;
    for (const auto& x : seen)
        got.emplace_back(x.kind, x.value);
    const std::vector<std::pair<int, long>> want = {
        {nkQueueProgress, 4},
        {nkQueueProgress, 8},
        {nkQueueProgress, (4L << 16) | 8},
        {nkQueueProgress, (8L << 16) | 8},
        {nkQueueEmpty, 0},
        {nkReceived, 0},
        {nkIdent, 1},
        {nkReceived, 0},
        {nkIdent, 0},
        {nkLinkStatus, lsStopped},
    };
    EXPECT_EQ(got, want);
    ASSERT_EQ(seen.size(), want.size());
    EXPECT_EQ(seen[5].text, "&PPVQ-5 (91) x");
    EXPECT_EQ(seen[6].text, "VQ-5 (91) x");
    EXPECT_EQ(seen[7].text, "&PX");
    EXPECT_EQ(e.engine->VersionMajor(), 0u); // the exit reset the version
}

// A sink that calls back into the engine from its Post, on the worker: it answers a received
// "ping" by queueing "pong", and for every queue notification it has another thread look at
// the queue. The queue lock must be free while the sink is told, or that look would wait for
// the Post to return (and the answer would wait for itself).
class CCallingBackSink : public INotifySink {
public:
    CCallingBackSink(CVLPEngine& engine, CNotifyQueue& queue) : m_Engine(engine), m_Queue(queue) {}
    ~CCallingBackSink() override {
        for (auto& look : m_Looks)
            look.wait(); // a look that waited for the lock ends once the lock is free
    }
    void Post(Notification n) override {
        if (n.kind == nkReceived && n.text == "ping")
            m_Engine.QueueText("pong");
        if (n.kind == nkQueueProgress || n.kind == nkQueueEmpty) {
            m_Looks.push_back(std::async(std::launch::async, [this] { return m_Engine.QueueLength(); }));
            if (m_Looks.back().wait_for(2s) != std::future_status::ready)
                ++m_Blocked;
        }
        m_Queue.Post(std::move(n));
    }
    int Looks() const { return static_cast<int>(m_Looks.size()); }
    int Blocked() const { return m_Blocked; }

private:
    CVLPEngine& m_Engine;
    CNotifyQueue& m_Queue;
    std::vector<std::future<std::size_t>> m_Looks; // the worker's only (Post runs on it here)
    int m_Blocked = 0;
};

TEST(MessagesOnTheLine, SinkMayCallBackIntoTheEngine) {
    CEngineOnPty e;
    CCallingBackSink sink(*e.engine, e.queue);
    e.engine->SetNotifySink(&sink);
    e.Start();
    e.SelectSend("ping");
    EXPECT_EQ(e.PollMessage(), "pong");
    EXPECT_EQ(e.PollMessage(), ""); // the queue ran empty
    e.engine->Stop();
    e.engine->SetNotifySink(&e.queue);
    // "pong" queued (progress), taken (progress), the queue empty: three looks, none waited.
    EXPECT_EQ(sink.Looks(), 3);
    EXPECT_EQ(sink.Blocked(), 0);
}

} // namespace
} // namespace vq5::test
