// The minimal master against byte strings written by hand and against the real engine on a
// pseudo-terminal.
#include "BenchSupport.h"
#include "TurnaroundRun.h"

#include "NotifyQueue.h"
#include "SettingsStore.h"
#include "VLPEngine.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vq5;
using namespace vq5::bench;

namespace {

// A pipe: the test writes the PC's bytes into one end, the master reads the other.
struct Pipe {
    int fd[2] = {-1, -1};
    Pipe() {
        EXPECT_EQ(::pipe(fd), 0);
        fcntl(fd[0], F_SETFL, O_NONBLOCK);
    }
    ~Pipe() {
        ::close(fd[0]);
        ::close(fd[1]);
    }
    void Put(std::vector<unsigned char> bytes) {
        ASSERT_EQ(::write(fd[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
};

// An engine on the slave side of a pseudo-terminal, with its notifications collected.
struct EngineOnPty {
    CPty pty;
    CMemoryStore store;
    CNotifyQueue notes;
    std::unique_ptr<CBenchEngine> engine;
    EngineOnPty() {
        std::string error;
        EXPECT_TRUE(pty.Open(error)) << error;
        store.WriteString("VLPIO", "ComPort", pty.SlavePath());
        engine = std::make_unique<CBenchEngine>(&store);
        engine->SetNotifySink(&notes);
        engine->Start();
    }
    ~EngineOnPty() { engine->Stop(); }
    // Polls until the engine answers (it opens the port on its own thread).
    bool WaitAnswering(CMiniMaster& m) {
        for (int i = 0; i < 50; ++i) {
            if (m.Poll(200).ok)
                return true;
            m.Discard();
        }
        return false;
    }
};

} // namespace

TEST(MiniMasterFrames, WorkedExampleFrameIsInfo) {
    Pipe p;
    // "$PRG" as the PC sends it.
    p.Put({0x01, 0xE1, 0x02, 0x00, 0x04, 0x24, 0x50, 0x52, 0x47, 0x03, 0x13, 0x76});
    CMiniMaster m(p.fd[0]);
    CMiniMaster::Frame f = m.ReadFrame(1000);
    EXPECT_EQ(f.type, FrameType::info);
    EXPECT_EQ(f.text, "$PRG");
    EXPECT_GT(f.firstByteNs, 0);
}

TEST(MiniMasterFrames, ControlFramesAndRepeatedAddress) {
    Pipe p;
    p.Put({0x00, 0x04, 0xE1, 0xE1, 0xE1, 0x06, 0xE1, 0x15, 0xE1, 0x41});
    CMiniMaster m(p.fd[0]);
    EXPECT_EQ(m.ReadFrame(1000).type, FrameType::eot);
    EXPECT_EQ(m.ReadFrame(1000).type, FrameType::ack);
    EXPECT_EQ(m.ReadFrame(1000).type, FrameType::nak);
    EXPECT_EQ(m.ReadFrame(1000).type, FrameType::noframe);
}

TEST(MiniMasterFrames, DamagedFrameIsCrcErrorAndSilenceTimesOut) {
    Pipe p;
    // "AB" with C2 wrong (40 41 is right).
    p.Put({0x01, 0xE1, 0x02, 0x00, 0x02, 0x41, 0x42, 0x03, 0x40, 0x42});
    CMiniMaster m(p.fd[0]);
    CMiniMaster::Frame f = m.ReadFrame(1000);
    EXPECT_EQ(f.type, FrameType::crcerror);
    EXPECT_EQ(f.text, "AB");
    EXPECT_EQ(m.ReadFrame(50).type, FrameType::timeout);
}

TEST(MiniMasterFrames, FrameCutShortIsNoframe) {
    Pipe p;
    p.Put({0x01, 0xE1, 0x02, 0x00, 0x05, 0x41});
    CMiniMaster m(p.fd[0]);
    EXPECT_EQ(m.ReadFrame(50).type, FrameType::noframe);
}

TEST(MiniMasterOnEngine, PollWithNothingQueuedGetsEot) {
    EngineOnPty e;
    CMiniMaster m(e.pty.Master());
    ASSERT_TRUE(e.WaitAnswering(m));
    CMiniMaster::Exchange x = m.Poll(5000);
    EXPECT_TRUE(x.ok) << x.failure;
    EXPECT_TRUE(x.text.empty());
    EXPECT_GT(x.answerNs, 0);
    EXPECT_EQ(x.eotNs, -1);
}

TEST(MiniMasterOnEngine, PollCarriesTheQueuedMessageAndEndsWithEot) {
    EngineOnPty e;
    CMiniMaster m(e.pty.Master());
    ASSERT_TRUE(e.WaitAnswering(m));
    e.engine->QueueText("$PRG");
    CMiniMaster::Exchange x = m.Poll(5000);
    ASSERT_TRUE(x.ok) << x.failure;
    EXPECT_EQ(x.text, "$PRG");
    EXPECT_GT(x.answerNs, 0);
    EXPECT_GT(x.eotNs, 0);
    // Acknowledged: the message is gone, the next poll gets EOT.
    CMiniMaster::Exchange y = m.Poll(5000);
    EXPECT_TRUE(y.ok) << y.failure;
    EXPECT_TRUE(y.text.empty());
}

TEST(MiniMasterOnEngine, SelectDeliversTheTextToTheEngine) {
    EngineOnPty e;
    CMiniMaster m(e.pty.Master());
    ASSERT_TRUE(e.WaitAnswering(m));
    CMiniMaster::Exchange x = m.Select("&QIAhello", 5000);
    ASSERT_TRUE(x.ok) << x.failure;
    EXPECT_GT(x.answerNs, 0);
    EXPECT_GT(x.frameAckNs, 0);
    Notification n;
    ASSERT_TRUE(e.notes.WaitFor(nkReceived, -1, std::chrono::seconds(10), &n));
    EXPECT_EQ(n.text, "&QIAhello");
}

TEST(TurnaroundLoop, MixOfExchangesAllSucceed) {
    EngineOnPty e;
    TurnaroundResult r = RunTurnaround(*e.engine, e.pty.Master(), 40);
    EXPECT_EQ(r.failures, 0u) << r.firstFailure;
    EXPECT_EQ(r.exchanges, 40u);
    EXPECT_EQ(r.answers.size(), 40u);
    EXPECT_EQ(r.pollsInfo.size(), 10u);
    EXPECT_EQ(r.selects.size(), 10u);
    EXPECT_EQ(r.frameAcks.size(), 10u);
    EXPECT_EQ(r.eots.size(), 10u);
    EXPECT_EQ(r.pollsEot.size(), 20u);
    for (double v : r.answers)
        EXPECT_GT(v, 0);
}

TEST(TurnaroundLoop, NoEngineIsAFailureNotAHang) {
    CPty pty;
    std::string error;
    ASSERT_TRUE(pty.Open(error)) << error;
    CMemoryStore store;
    store.WriteString("VLPIO", "ComPort", pty.SlavePath());
    CBenchEngine engine(&store); // never started: nobody answers
    CMiniMaster m(pty.Master());
    CMiniMaster::Exchange x = m.Poll(100);
    EXPECT_FALSE(x.ok);
    EXPECT_NE(x.failure.find("timeout"), std::string::npos) << x.failure;
}

TEST(MiniMasterPacing, EveryByteBothWaysCountsItsWireTime) {
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    fcntl(sv[0], F_SETFL, O_NONBLOCK);
    CMiniMaster m(sv[0]);
    m.SetPace(96000); // 104166 ns a byte
    const double byte = 104166e-9;
    EXPECT_NE(m.Write(ControlFrameBytes(FrameType::poll)), 0);
    EXPECT_NEAR(m.WireSeconds(), 3 * byte, 1e-12);
    unsigned char got[3] = {};
    ASSERT_EQ(::read(sv[1], got, 3), 3); // written one at a time, all there
    EXPECT_EQ(got[0], 'P');
    EXPECT_EQ(got[2], ENQ);
    const unsigned char eotBytes[] = {0x00, 0x04};
    ASSERT_EQ(::write(sv[1], eotBytes, 2), 2);
    EXPECT_EQ(m.ReadFrame(1000).type, FrameType::eot);
    EXPECT_NEAR(m.WireSeconds(), 5 * byte, 1e-12);
    // Without pacing nothing is counted.
    m.SetPace(0);
    m.Write(ControlFrameBytes(vq5::FrameType::select));
    EXPECT_NEAR(m.WireSeconds(), 5 * byte, 1e-12);
    ::close(sv[0]);
    ::close(sv[1]);
}
