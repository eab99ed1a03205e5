// `vq5 send` as a program, against a device played byte by byte on a pseudo-terminal.
#include "FrameCodec.h"
#include "PtyHelpers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vq5::test {
namespace {

RunResult RunVq5(const std::vector<std::string>& args,
                 std::chrono::seconds limit = std::chrono::seconds(60)) {
    return RunProgram(VQ5_BIN, args, limit);
}

// A device on the pty: polls, takes the PC's messages, answers some through a select.
class CDevice {
public:
    // `ackLimit`: after that many messages the device takes no more (it answers no frame);
    // `iaReply`: its answer to "&PIA".
    explicit CDevice(CPty& pty, bool sendExitReply = true, std::size_t ackLimit = SIZE_MAX,
                     std::string iaReply = "&PIAconfig-1")
        : m_Pty(pty), m_ExitReply(sendExitReply), m_AckLimit(ackLimit), m_IaReply(std::move(iaReply)) {
        m_Thread = std::thread([this] { Loop(); });
    }
    ~CDevice() { Stop(); }
    void Stop() {
        m_Stop = true;
        if (m_Thread.joinable())
            m_Thread.join();
    }
    std::vector<std::string> Received() {
        Stop();
        return m_Received;
    }

private:
    void Loop() {
        std::vector<std::string> replies;
        while (!m_Stop.load()) {
            m_Pty.Write(B({'P', ADR, ENQ}));
            Bytes f = m_Pty.ReadPcFrame(2s);
            if (f.size() >= 8 && f[0] == SOH && m_Received.size() >= m_AckLimit) {
                std::this_thread::sleep_for(10ms); // not taken: the PC sends it again at the next poll
                continue;
            }
            if (f.size() >= 8 && f[0] == SOH) {
                std::string text(f.begin() + 5, f.end() - 3);
                m_Received.push_back(text);
                m_Pty.Write(B({ADR, ACK}));
                m_Pty.ReadPcFrame(2s); // EOT
                if (text == "&PIA")
                    replies.push_back(m_IaReply);
                if (text.rfind("&PX", 0) == 0 && m_ExitReply)
                    replies.push_back("&PX");
            }
            for (const std::string& reply : replies) {
                m_Pty.Write(B({'S', ADR, ENQ}));
                m_Pty.ReadPcFrame(2s); // ACK
                m_Pty.Write(InfoFrameBytes(reply));
                m_Pty.ReadPcFrame(2s); // ACK
            }
            replies.clear();
            std::this_thread::sleep_for(10ms); // the device's pace between polls
        }
    }
    CPty& m_Pty;
    bool m_ExitReply;
    std::size_t m_AckLimit;
    std::string m_IaReply;
    std::atomic<bool> m_Stop{false};
    std::vector<std::string> m_Received;
    std::thread m_Thread;
};

using Texts = std::vector<std::string>;

// `vq5 send --port <a device of its own> ARGS...`, which must end done: what the device took.
Texts ReceivedInADoneSend(const Texts& args) {
    CPty pty;
    CDevice device(pty);
    Texts line = {"send", "--port", pty.Path()};
    line.insert(line.end(), args.begin(), args.end());
    const RunResult r = RunVq5(line);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return device.Received();
}

TEST(SendVerb, SendsTextsInProgramModeAndPrintsReplies) {
    CPty pty;
    CDevice device(pty);
    RunResult r = RunVq5({"send", "--port", pty.Path(), "--timeout", "500", "&PIA", "91<&PIB", "84>&PS3"});
    auto got = device.Received();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> want = {"$PRG", "&PIA", "&PIB", "&PX"};
    EXPECT_EQ(got, want);
    EXPECT_EQ(r.out, "&PIAconfig-1\n&PX\n");
    EXPECT_EQ(r.err, "");
}

TEST(SendVerb, FastSpeedAndReboot) {
    // Before an identification the speed change is held back by its gate; the exit returns to
    // 1200 baud.
    EXPECT_EQ(ReceivedInADoneSend({"--fast-speed", "3", "&PFS1"}), (Texts{"$PRG", "&PFS1", "&PX0"}));
    EXPECT_EQ(ReceivedInADoneSend({"--reboot", "--", "--odd"}), (Texts{"$PRG", "--odd", "&PXR"}));
}

// Everything after the verb's name is the verb's own: a "--" and a word that is another
// verb's name are taken by `send` itself.
TEST(SendVerb, EverythingAfterTheVerbIsItsOwn) {
    struct Row {
        Texts args;
        Texts received;
    };
    for (const Row& row : {Row{{"--no-record", "--", "&PIB"}, {"$PRG", "&PIB", "&PX"}},
                           Row{{"history", "&PIB"}, {"$PRG", "history", "&PIB", "&PX"}},
                           Row{{"--no-record", "info", "report"}, {"$PRG", "info", "report", "&PX"}}}) {
        CPty pty;
        CDevice device(pty);
        Texts line = {"send", "--port=" + pty.Path()};
        line.insert(line.end(), row.args.begin(), row.args.end());
        const RunResult r = RunVq5(line);
        EXPECT_EQ(r.exitCode, 0) << row.args[0] << ": " << r.err;
        EXPECT_EQ(device.Received(), row.received) << row.args[0];
    }
}

TEST(SendVerb, WithoutExitReplyEndsAfterGrace) {
    CPty pty;
    CDevice device(pty, false);
    RunResult r = RunVq5({"send", "--port", pty.Path(), "&PIA"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "&PIAconfig-1\n");
}

// Done means taken by the device: an exit in the middle of the texts, answered at once, does
// not end the run before the last exit has been acknowledged.
TEST(SendVerb, ExitInTheMiddleDoesNotEndTheRun) {
    for (int run = 0; run < 3; ++run)
        EXPECT_EQ(ReceivedInADoneSend({"&PIA", "&PX", "&PIB", "&PIC"}),
                  (Texts{"$PRG", "&PIA", "&PX", "&PIB", "&PIC", "&PX"}))
            << "run " << run;
}

// A device that answers an early exit and then takes nothing more: not done.
TEST(SendVerb, LastTextNotAcknowledgedIsNotDone) {
    CPty pty;
    CDevice device(pty, true, 3); // takes "$PRG", "&PX", "&PIA"; never the last exit
    RunResult r =
        RunVq5({"send", "--port", pty.Path(), "--timeout", "300", "--deadline", "3", "&PX", "&PIA"});
    device.Stop();
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("did not drain within 3 s"), std::string::npos) << r.err;
}

// Device texts reach the terminal escaped, one message per line.
TEST(SendVerb, DeviceTextsAreEscaped) {
    CPty pty;
    CDevice device(pty, true, SIZE_MAX, std::string("&PIA\x1b]0;owned\x07\x1b[2J\0line\nnext\\\x80\xff", 31));
    RunResult r = RunVq5({"send", "--port", pty.Path(), "&PIA"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "&PIA\\x1B]0;owned\\x07\\x1B[2J\\x00line\\x0Anext\\\\\\x80\\xFF\n&PX\n");
}

TEST(SendVerb, MissingPort) {
    RunResult r = RunVq5({"send", "--port", "/dev/vq5-no-such-port", "&PIA"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "Error: Open of /dev/vq5-no-such-port: No such file or directory\n");
    EXPECT_EQ(r.out, "");
}

TEST(SendVerb, PortInUse) {
    CPty pty;
    CMemoryStore store;
    store.WriteString("VLPIO", "ComPort", pty.Path());
    CVLPIO holder(&store);
    ASSERT_TRUE(holder.Open());
    RunResult r = RunVq5({"send", "--port", pty.Path(), "&PIA"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, "Error: Open of " + pty.Path() + ": port in use: " + pty.Path() + "\n");
}

TEST(SendVerb, DeadlineWithASilentDevice) {
    CPty pty;
    RunResult r = RunVq5({"send", "--port", pty.Path(), "--timeout", "200", "--deadline", "1", "&PIA"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("did not drain within 1 s"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
}

TEST(SendVerb, BadOptions) {
    EXPECT_EQ(RunVq5({"send", "--timeout", "100", "x"}).exitCode, 2);
    EXPECT_EQ(RunVq5({"send", "--timeout", "7000", "x"}).exitCode, 2);
    EXPECT_EQ(RunVq5({"send", "--fast-speed", "6", "x"}).exitCode, 2);
    EXPECT_EQ(RunVq5({"send", "--deadline", "0", "x"}).exitCode, 2);
    EXPECT_EQ(RunVq5({"send", "--trace", "x", "x"}).exitCode, 2);
    EXPECT_EQ(RunVq5({"send", "--port"}).exitCode, 2);
    EXPECT_EQ(RunVq5({"send", "--bogus", "x"}).exitCode, 2);
    RunResult help = RunVq5({"send", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: vq5 send"), std::string::npos);
}

TEST(SendVerb, TraceLinesGoToStderrByLevel) {
    CPty pty;
    CDevice device(pty);
    RunResult r = RunVq5({"send", "--port", pty.Path(), "--trace", "8", "&PIA"});
    device.Stop();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("CVLPMsg::TxMessage() = \"$PRG\""), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("CVLPFrame::"), std::string::npos); // level 1 not asked for
    EXPECT_EQ(r.err.find("CVLPIO::"), std::string::npos);
    // Every line starts with the time stamp "mm:ss.hh" (minute padded to two places).
    std::size_t lines = 0;
    for (std::size_t at = 0; at < r.err.size();) {
        std::size_t end = r.err.find('\n', at);
        std::string line = r.err.substr(at, end - at);
        ASSERT_GE(line.size(), 9u);
        EXPECT_EQ(line[2], ':');
        EXPECT_EQ(line[5], '.');
        EXPECT_EQ(line[8], ' ');
        ++lines;
        at = end == std::string::npos ? r.err.size() : end + 1;
    }
    EXPECT_GT(lines, 2u);
}

TEST(SendVerb, LongTextIsCutAndSaidSo) {
    CPty pty;
    CDevice device(pty);
    std::string text(120, 'k');
    RunResult r = RunVq5({"send", "--port", pty.Path(), text});
    EXPECT_EQ(r.exitCode, 0);
    auto got = device.Received();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[1], std::string(99, 'k'));
    EXPECT_NE(r.err.find("is cut to 99 characters"), std::string::npos);
}

} // namespace
} // namespace vq5::test
