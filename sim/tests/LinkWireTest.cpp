// The simulated device on the wire, against a PC played byte by byte: polls, selects, ACK and
// NAK, repeats, each fault kind, the link path, --device and the line speed.
#include "PcEnd.h"
#include "PtyHelpers.h"
#include "Simulator.h"
#include "Termios2.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace vq5;
using namespace vq5::sim;
using namespace vq5::simtest;

namespace {

const std::string kIdent = "&QPVQ-5 (87) VQ-5 simulator";
const std::string kDisplay = "$007/012   09:05 XX"; // taken, never answered

Bytes Poll() {
    return B({'P', ADR, ENQ});
}
Bytes Ack() {
    return B({ADR, ACK});
}
Bytes Nak() {
    return B({ADR, NAK});
}
Bytes Eot() {
    return B({NUL, EOT});
}

class Wire : public ::testing::Test {
protected:
    static SimOptions Quiet(const std::string& faults = "") {
        SimOptions o;
        o.onboardTraffic = false;
        o.pollGapMs = 2;
        o.answerTimeoutMs = 300;
        o.faults = faults;
        return o;
    }
    void Begin(SimOptions o) {
        sim = std::make_unique<CSimulator>(o);
        path = sim->Start();
        ASSERT_FALSE(path.empty()) << sim->Error();
        pc = std::make_unique<CPcEnd>(path);
        ASSERT_TRUE(pc->Ok());
    }
    void TearDown() override {
        if (sim)
            sim->Stop();
    }
    bool Until(const std::function<bool(const LinkCounters&)>& f) {
        return sim->WaitUntil([&](const DeviceState&, const LinkCounters& c) { return f(c); }, kLong);
    }
    // The PC answers the next poll with a frame, gets the ACK and ends the turn with EOT.
    void Hand(const std::string& text) {
        ASSERT_TRUE(pc->AnswerNextPoll(InfoFrameBytes(text)));
        ASSERT_EQ(pc->ReadFrame(), Ack());
        pc->Write(Eot());
    }
    std::unique_ptr<CSimulator> sim;
    std::unique_ptr<CPcEnd> pc;
    std::string path;
};

} // namespace

TEST_F(Wire, PollsWithPAdrEnqAndTakesEot) {
    Begin(Quiet());
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(pc->ReadFrame(), Poll());
        pc->Write(Eot());
    }
    ASSERT_TRUE(Until([](const LinkCounters& c) { return c.polls >= 3; }));
    EXPECT_EQ(sim->Counters().selects, 0u);
    EXPECT_TRUE(sim->Taken().empty());
}

TEST_F(Wire, PrgIsTakenAndTheIdentificationComesThroughASelect) {
    Begin(Quiet());
    Hand("$PRG");
    Bytes f = pc->TakeSelect();
    EXPECT_EQ(f, InfoFrameBytes(kIdent)) << Hex(f);
    pc->Write(Ack());
    ASSERT_TRUE(Until([](const LinkCounters& c) { return c.messagesDelivered == 1; }));
    EXPECT_EQ(sim->Taken(), std::vector<std::string>{"$PRG"});
    EXPECT_EQ(sim->Delivered(), std::vector<std::string>{kIdent});
    EXPECT_TRUE(sim->State().programMode);
    EXPECT_EQ(sim->PendingToPc(), 0u);
}

TEST_F(Wire, AFrameWithoutEotAfterTheAckIsTakenOnceWhenItComesAgain) {
    Begin(Quiet());
    ASSERT_TRUE(pc->AnswerNextPoll(InfoFrameBytes(kDisplay)));
    ASSERT_EQ(pc->ReadFrame(), Ack());
    // The PC missed the ACK: no EOT, and the same frame at the next poll.
    Hand(kDisplay);
    ASSERT_TRUE(Until([](const LinkCounters& c) { return c.repeatsIgnored == 1; }));
    EXPECT_EQ(sim->Taken(), std::vector<std::string>{kDisplay});
    // After an EOT the same text again is a new message.
    Hand(kDisplay);
    ASSERT_TRUE(Until([](const LinkCounters& c) { return c.messagesTaken == 2; }));
    EXPECT_EQ(sim->Counters().repeatsIgnored, 1u);
}

TEST_F(Wire, AnAckTakenForANakBringsTheFrameAtOnceAndItIsTakenOnce) {
    Begin(Quiet());
    ASSERT_TRUE(pc->AnswerNextPoll(InfoFrameBytes(kDisplay)));
    ASSERT_EQ(pc->ReadFrame(), Ack());
    pc->WriteInfo(kDisplay); // as if the ACK had read as NAK
    ASSERT_EQ(pc->ReadFrame(), Ack());
    pc->Write(Eot());
    ASSERT_TRUE(Until([](const LinkCounters& c) { return c.repeatsIgnored == 1; }));
    EXPECT_EQ(sim->Taken().size(), 1u);
}

TEST_F(Wire, ANakFromThePcBringsTheSameFrameAgain) {
    Begin(Quiet());
    Hand("$PRG");
    Bytes first = pc->TakeSelect();
    ASSERT_EQ(InfoText(first), kIdent);
    pc->Write(Nak());
    EXPECT_EQ(pc->ReadFrame(), first);
    pc->Write(Ack());
    ASSERT_TRUE(Until([](const LinkCounters& c) { return c.messagesDelivered == 1; }));
    EXPECT_EQ(sim->Counters().naksReceived, 1u);
}

TEST_F(Wire, ASilentPcGetsTheFrameAgainThenTheSelectIsEndedWithEot) {
    SimOptions o = Quiet();
    o.maxRetries = 2;
    Begin(o);
    Hand("$PRG");
    Bytes first = pc->TakeSelect();
    ASSERT_EQ(InfoText(first), kIdent);
    EXPECT_EQ(pc->ReadFrame(), first); // no answer: filler bytes, and the frame again
    EXPECT_GE(pc->Fillers(), 1 + 258);
    EXPECT_EQ(pc->ReadFrame(), first);
    EXPECT_EQ(pc->ReadFrame(), Eot()); // given up for now: the select is ended
    EXPECT_EQ(sim->Counters().messagesDelivered, 0u);
    Bytes again = pc->TakeSelect();
    EXPECT_EQ(again, first);
    pc->Write(Ack());
    ASSERT_TRUE(Until([](const LinkCounters& c) { return c.messagesDelivered == 1; }));
    EXPECT_EQ(sim->Delivered().size(), 1u);
}

TEST_F(Wire, AnAckToAPollIsTreatedAsASelectAndEndedWithEot) {
    Begin(Quiet());
    ASSERT_TRUE(pc->AnswerNextPoll(Ack()));
    EXPECT_EQ(pc->ReadFrame(), Eot());
    ASSERT_EQ(pc->ReadFrame(), Poll());
}

TEST_F(Wire, ADamagedFrameFromThePcIsNaked) {
    Begin(Quiet());
    Bytes bad = InfoFrameBytes(kDisplay);
    bad[bad.size() - 1] ^= 0x40;
    ASSERT_TRUE(pc->AnswerNextPoll(bad));
    EXPECT_EQ(pc->ReadFrame(), Nak());
    pc->WriteInfo(kDisplay);
    EXPECT_EQ(pc->ReadFrame(), Ack());
    pc->Write(Eot());
    ASSERT_TRUE(Until([](const LinkCounters& c) { return c.messagesTaken == 1; }));
    EXPECT_EQ(sim->Counters().naksSent, 1u);
}

TEST_F(Wire, FaultNakRejectsAGoodFrameOnce) {
    Begin(Quiet("nak=1"));
    ASSERT_TRUE(pc->AnswerNextPoll(InfoFrameBytes(kDisplay)));
    EXPECT_EQ(pc->ReadFrame(), Nak());
    pc->WriteInfo(kDisplay);
    EXPECT_EQ(pc->ReadFrame(), Ack());
    pc->Write(Eot());
    ASSERT_TRUE(Until([](const LinkCounters& c) { return c.messagesTaken == 1; }));
    EXPECT_EQ(sim->Counters().repeatsIgnored, 0u);
}

TEST_F(Wire, FaultNakReadAsAnAckStillTakesTheFrame) {
    Begin(Quiet("nak=1"));
    ASSERT_TRUE(pc->AnswerNextPoll(InfoFrameBytes(kDisplay)));
    EXPECT_EQ(pc->ReadFrame(), Nak());
    pc->Write(Eot()); // the PC believed it was acknowledged and let the frame go
    ASSERT_TRUE(Until([](const LinkCounters& c) { return c.messagesTaken == 1; }));
    EXPECT_EQ(sim->Taken(), std::vector<std::string>{kDisplay});
}

TEST_F(Wire, FaultSilentGivesNoAnswerAndTheResendIsTaken) {
    Begin(Quiet("silent=1"));
    ASSERT_TRUE(pc->AnswerNextPoll(InfoFrameBytes(kDisplay)));
    EXPECT_EQ(pc->ReadFrame(), Poll()); // no ACK, no NAK: the next exchange
    pc->WriteInfo(kDisplay);
    EXPECT_EQ(pc->ReadFrame(), Ack());
    pc->Write(Eot());
    ASSERT_TRUE(Until([](const LinkCounters& c) { return c.messagesTaken == 1; }));
    EXPECT_EQ(sim->Counters().repeatsIgnored, 0u);
}

TEST_F(Wire, FaultAdrRepeatsTheAddressBeforeAck) {
    Begin(Quiet("adr=1"));
    ASSERT_TRUE(pc->AnswerNextPoll(InfoFrameBytes(kDisplay)));
    EXPECT_EQ(pc->ReadFrame(), B({ADR, ADR, ADR, ACK}));
}

TEST_F(Wire, FaultBlockSendsAnotherBlockByteWithMatchingChecks) {
    Begin(Quiet("block=1"));
    Hand("$PRG");
    Bytes f = pc->TakeSelect();
    ASSERT_EQ(InfoText(f), kIdent);
    EXPECT_NE(f[3], 0);
    EXPECT_TRUE(ChecksOk(f));
}

TEST_F(Wire, FaultCheckCorruptsACheckByteAndTheNakBringsAGoodFrame) {
    Begin(Quiet("check=1"));
    Hand("$PRG");
    Bytes f = pc->TakeSelect();
    ASSERT_EQ(InfoText(f), kIdent);
    EXPECT_FALSE(ChecksOk(f));
    pc->Write(Nak());
    EXPECT_EQ(pc->ReadFrame(), InfoFrameBytes(kIdent));
}

TEST_F(Wire, ByteFaultsDropDamageOrAddBytes) {
    {
        Begin(Quiet("drop=1"));
        EXPECT_EQ(pc->ReadFrame(), B({ADR, ENQ})); // the 'P' of the first poll is gone
        sim->Stop();
    }
    {
        Begin(Quiet("noise=1"));
        Bytes f = pc->ReadFrame();
        ASSERT_EQ(f.size(), 1u); // one noise byte before the poll
        EXPECT_NE(f[0], 'P');
        EXPECT_EQ(pc->ReadFrame(), Poll());
        sim->Stop();
    }
    {
        Begin(Quiet("flip=1"));
        Bytes f = pc->ReadFrame();
        EXPECT_NE(f, Poll());
        sim->Stop();
    }
}

TEST_F(Wire, SpeedChangesOnceThePcHasSeenTheAck) {
    Begin(Quiet());
    Hand("$PRG");
    ASSERT_EQ(InfoText(pc->TakeSelect()), kIdent);
    pc->Write(Ack());
    // The ACK is missed once: no change yet; the repeat ends with EOT: change.
    ASSERT_TRUE(pc->AnswerNextPoll(InfoFrameBytes("&QS3")));
    ASSERT_EQ(pc->ReadFrame(), Ack());
    ASSERT_EQ(pc->ReadFrame(), Poll());
    EXPECT_EQ(sim->CurrentBaud(), 1200);
    pc->WriteInfo("&QS3");
    ASSERT_EQ(pc->ReadFrame(), Ack());
    pc->Write(Eot());
    ASSERT_TRUE(sim->WaitUntil(
        [&](const DeviceState&, const LinkCounters&) { return sim->CurrentBaud() == 9600; }, kLong));
    Hand("&QX0");
    ASSERT_EQ(InfoText(pc->TakeSelect()), "&QX");
    pc->Write(Ack());
    ASSERT_TRUE(sim->WaitUntil(
        [&](const DeviceState&, const LinkCounters&) { return sim->CurrentBaud() == 1200; }, kLong));
    EXPECT_FALSE(sim->State().programMode);
}

TEST_F(Wire, PeerBaudIsReadBackFromThePcsTermios) {
    Begin(Quiet());
    int error = 0;
    ASSERT_TRUE(SetLineSpeed(pc->Fd(), 19200, error)) << error;
    EXPECT_EQ(sim->PeerBaud(), 19200);
    ASSERT_TRUE(SetLineSpeed(pc->Fd(), 14400, error)) << error;
    EXPECT_EQ(sim->PeerBaud(), 14400);
}

TEST_F(Wire, DrivesAnExistingPortWithDevice) {
    test::CPty pty;
    pty.CloseSlave();
    SimOptions o = Quiet();
    o.device = pty.Path();
    sim = std::make_unique<CSimulator>(o);
    ASSERT_EQ(sim->Start(), pty.Path()) << sim->Error();
    CPcEnd line(pty.TakeMaster(), true);
    ASSERT_TRUE(line.AnswerNextPoll(InfoFrameBytes("$PRG")));
    EXPECT_EQ(line.ReadFrame(), Ack());
    line.Write(Eot());
    EXPECT_EQ(InfoText(line.TakeSelect()), kIdent);
}

TEST_F(Wire, LinkIsMadeAndRemovedButNeverReplacesAFile) {
    char tmpl[] = "/tmp/vq5linkXXXXXX";
    const std::string dir = mkdtemp(tmpl);
    SimOptions o = Quiet();
    o.link = dir + "/vq5";
    Begin(o);
    char target[512] = {};
    ASSERT_GT(readlink(o.link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), path);
    CPcEnd viaLink(o.link);
    EXPECT_TRUE(viaLink.Ok());
    sim->Stop();
    struct stat st {};
    EXPECT_NE(lstat(o.link.c_str(), &st), 0); // gone
    // A regular file at the link path is left alone and the start fails.
    FILE* f = std::fopen(o.link.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    CSimulator other(o);
    EXPECT_TRUE(other.Start().empty());
    EXPECT_NE(other.Error().find("not a symbolic link"), std::string::npos);
    EXPECT_EQ(lstat(o.link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    std::remove(o.link.c_str());
    rmdir(dir.c_str());
}

TEST_F(Wire, BadOptionsAreRefusedWithAReason) {
    SimOptions o = Quiet("thunder=1");
    CSimulator a(o);
    EXPECT_TRUE(a.Start().empty());
    EXPECT_NE(a.Error().find("thunder"), std::string::npos);
    EXPECT_FALSE(a.Running());
    SimOptions b = Quiet();
    b.device = "/nonexistent/tty";
    CSimulator c(b);
    EXPECT_TRUE(c.Start().empty());
    EXPECT_NE(c.Error().find("/nonexistent/tty"), std::string::npos);
}

TEST_F(Wire, StepRunsTheLinkWithoutAThread) {
    SimOptions o = Quiet();
    CSimulator s(o);
    const std::string p = s.Open();
    ASSERT_FALSE(p.empty());
    CPcEnd line(p);
    std::thread pcSide([&] {
        if (line.AnswerNextPoll(InfoFrameBytes(kDisplay)) && line.ReadFrame() == Ack())
            line.Write(Eot());
    });
    for (int i = 0; i < 50 && s.Counters().messagesTaken == 0; ++i)
        ASSERT_TRUE(s.Step());
    pcSide.join();
    EXPECT_EQ(s.Taken(), std::vector<std::string>{kDisplay});
    EXPECT_EQ(s.State().line, 7);
    s.Close();
    EXPECT_FALSE(s.Step());
}

TEST_F(Wire, AFillerByteEndsAFrameThePcIsStuckIn) {
    Begin(Quiet());
    Hand("$PRG");
    Bytes first = pc->TakeSelect();
    ASSERT_EQ(InfoText(first), kIdent);
    // As if a byte of the frame had been lost: the PC waits for one more and says nothing.
    EXPECT_EQ(pc->ReadByte(kLong), 0xFF); // one filler byte completes the frame ...
    pc->Write(Nak());                     // ... which fails its check
    EXPECT_EQ(pc->ReadFrame(), first);    // and the frame comes again, without a long filler run
    EXPECT_EQ(pc->Fillers(), 0);
    pc->Write(Ack());
    ASSERT_TRUE(Until([](const LinkCounters& c) { return c.messagesDelivered == 1; }));
    EXPECT_EQ(sim->Counters().fillerBytes, 1u);
}

TEST_F(Wire, ALateAckOfASelectIsNotTakenForTheAckOfTheFrame) {
    Begin(Quiet());
    Hand("$PRG");
    ASSERT_EQ(pc->ReadFrame(), B({'S', ADR, ENQ}));
    // The PC answers only after the device has given up and selected again; it then
    // acknowledges the second select as well.
    ASSERT_EQ(pc->ReadFrame(), B({'S', ADR, ENQ}));
    pc->Write(Ack());
    pc->Write(Ack());
    Bytes f = pc->ReadFrame();
    ASSERT_EQ(InfoText(f), kIdent);
    // Nothing has acknowledged the frame yet.
    EXPECT_FALSE(
        sim->WaitUntil([](const DeviceState&, const LinkCounters& c) { return c.messagesDelivered > 0; },
                       std::chrono::milliseconds(150))); // within the answer time-out
    pc->Write(Ack());
    ASSERT_TRUE(Until([](const LinkCounters& c) { return c.messagesDelivered == 1; }));
    EXPECT_EQ(sim->Delivered(), std::vector<std::string>{kIdent});
}
