// A capture made by `vq5 info all --capture` against the simulator, read back three ways:
// tshark with the packaged dissector (every frame and check byte named), `vq5 replay`, and
// `vq5 sim --replay` against the same tool run again (alike, then with an edited capture).
// `vq5 monitor` on a live link and its exit codes.
#include "CaptureDecode.h"
#include "PcapCapture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <signal.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vq5 {
namespace {

const std::string kBin = VQ5_BIN;

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream s(text);
    for (std::string line; std::getline(s, line);)
        out.push_back(line);
    return out;
}

// Runs a shell command line; its exit code (-1 when it did not end normally).
int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A `vq5 sim ...` in the background: the pid (the shell execs into it) and the path it printed.
struct Background {
    FILE* out = nullptr;
    pid_t pid = -1;
    std::string path;

    explicit Background(const std::string& args) {
        out = popen(("echo $$; exec " + kBin + " " + args + " 2>/dev/null").c_str(), "r");
        if (!out)
            return;
        char line[512];
        if (std::fgets(line, sizeof line, out))
            pid = std::atoi(line);
        if (std::fgets(line, sizeof line, out)) {
            path = line;
            while (!path.empty() && path.back() == '\n')
                path.pop_back();
        }
    }
    // The rest of its output and its exit code, after SIGINT when `stop`.
    std::pair<std::string, int> Finish(bool stop) {
        if (!out)
            return {"", -1};
        if (stop && pid > 0)
            ::kill(pid, SIGINT);
        std::string rest;
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, out))
            rest += buffer;
        const int status = pclose(out);
        out = nullptr;
        return {rest, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
    }
    ~Background() {
        if (out)
            Finish(true);
    }
};

class LinkCapture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char dir[] = "/tmp/vq5-capture-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        s_Dir = dir;
        Background sim("sim --quiet-board");
        ASSERT_FALSE(sim.path.empty());
        s_InfoExit = Shell(kBin + " info all --port " + sim.path + " --capture " + Capture() + " > " + s_Dir +
                           "/info.txt 2>&1");
        sim.Finish(true);
    }
    static void TearDownTestSuite() { Shell("rm -rf " + s_Dir); }
    static std::string Capture() { return s_Dir + "/info.pcap"; }

    static std::vector<CapturedFrame> Frames() {
        std::vector<CaptureRecord> records;
        std::string error;
        EXPECT_TRUE(ReadCaptureFile(Capture(), records, error)) << error;
        return DecodeCapture(records);
    }

    static std::string s_Dir;
    static int s_InfoExit;
};
std::string LinkCapture::s_Dir;
int LinkCapture::s_InfoExit = -1;

TEST_F(LinkCapture, TheRunWroteAFileOfEveryFrame) {
    ASSERT_EQ(s_InfoExit, 0) << Slurp(s_Dir + "/info.txt");
    const auto frames = Frames();
    std::map<std::string, int> kinds;
    for (const auto& f : frames)
        ++kinds[CapturedKind(f)];
    EXPECT_GE(kinds["speed"], 2); // closed, then 1200 baud at the open
    EXPECT_GT(kinds["poll"], 10);
    EXPECT_GT(kinds["select"], 10);
    EXPECT_GT(kinds["info"], 20);
    EXPECT_EQ(kinds["garbage"], 0);
    EXPECT_EQ(kinds["damaged"], 0);
    // The PC's first message answers a poll (earlier polls may find the tool not ready: EOT).
    std::size_t i = 0;
    while (i < frames.size() &&
           !(frames[i].direction == LinkDirection::PcToDevice && frames[i].type == FrameType::info))
        ++i;
    ASSERT_LT(i, frames.size());
    EXPECT_EQ(frames[i].text, "$PRG");
    EXPECT_STREQ(CapturedKind(frames[i - 1]), "poll");
    EXPECT_EQ(frames[i - 1].direction, LinkDirection::DeviceToPc);
}

TEST_F(LinkCapture, TsharkNamesEveryFrameAndCheckByte) {
    if (Shell("command -v tshark > /dev/null") != 0)
        GTEST_SKIP() << "tshark is not installed (scripts/install-deps.sh)";
    const std::string fields = s_Dir + "/fields.txt";
    ASSERT_EQ(
        Shell(
            "tshark -X lua_script:" VQ5_DISSECTOR " -r " + Capture() +
            " -T fields -E occurrence=a -E aggregator=/ -e vq5link.frame -e vq5link.check -e vq5link.cmd > " +
            fields + " 2>/dev/null"),
        0);
    // The frames tshark names, in order, against the engine's own reading of the file.
    std::vector<std::string> named;
    std::size_t rightChecks = 0;
    std::size_t commands = 0;
    for (const auto& line : Lines(Slurp(fields))) {
        std::stringstream cols(line);
        std::string frame, check, cmd;
        std::getline(cols, frame, '\t');
        std::getline(cols, check, '\t');
        std::getline(cols, cmd, '\t');
        std::stringstream each(frame);
        for (std::string kind; std::getline(each, kind, '/');)
            if (!kind.empty())
                named.push_back(kind);
        std::stringstream checks(check);
        for (std::string c; std::getline(checks, c, '/');)
            rightChecks += c == "right";
        commands += !cmd.empty();
    }
    std::vector<std::string> expected;
    std::size_t infos = 0;
    for (const auto& f : Frames()) {
        expected.push_back(CapturedKind(f));
        infos += f.type == FrameType::info;
    }
    EXPECT_EQ(named, expected);
    EXPECT_EQ(rightChecks, infos);
    EXPECT_EQ(commands, infos); // every message here is a command ("$PRG" or '&' code)

    // Every check byte has its role, and none is wrong.
    const std::string detail = s_Dir + "/detail.txt";
    ASSERT_EQ(
        Shell("tshark -X lua_script:" VQ5_DISSECTOR " -r " + Capture() + " -V > " + detail + " 2>/dev/null"),
        0);
    std::size_t c1 = 0, c2 = 0, wrong = 0;
    for (const auto& line : Lines(Slurp(detail))) {
        c1 += line.find("Byte: C1 0x") != std::string::npos && line.find(" right") != std::string::npos;
        c2 += line.find("Byte: C2 0x") != std::string::npos && line.find(" right") != std::string::npos;
        wrong += line.find("WRONG") != std::string::npos;
    }
    EXPECT_EQ(c1, infos);
    EXPECT_EQ(c2, infos);
    EXPECT_EQ(wrong, 0u);
}

TEST_F(LinkCapture, TsharkFlagsAWrongCheckByte) {
    if (Shell("command -v tshark > /dev/null") != 0)
        GTEST_SKIP() << "tshark is not installed (scripts/install-deps.sh)";
    // poll, then an information frame "&QIA" from the device whose C2 is wrong, in one record.
    std::vector<CaptureRecord> records(2);
    records[0].timeUs = 1000000;
    records[0].bytes = {'P', 0xE1, 0x05};
    records[1].timeUs = 1001000;
    records[1].bytes = InfoFrameBytes(std::string("&QIA"));
    records[1].bytes.back() ^= 0x01;
    const std::string file = s_Dir + "/wrong.pcap";
    std::string error;
    ASSERT_TRUE(WriteCaptureFile(file, records, error)) << error;
    const std::string out = s_Dir + "/wrong.txt";
    ASSERT_EQ(Shell("tshark -X lua_script:" VQ5_DISSECTOR " -r " + file + " -V > " + out + " 2>/dev/null"),
              0);
    const std::string text = Slurp(out);
    EXPECT_NE(text.find("C1 0x"), std::string::npos);
    EXPECT_NE(text.find("C2 0x"), std::string::npos);
    EXPECT_NE(text.find("WRONG"), std::string::npos);
    EXPECT_NE(text.find("Check bytes: wrong"), std::string::npos);
    EXPECT_NE(text.find("Command code: &QIA"), std::string::npos);
}

TEST_F(LinkCapture, ReplayPrintsTheExchange) {
    const std::string out = s_Dir + "/replay.txt";
    ASSERT_EQ(Shell(kBin + " replay " + Capture() + " > " + out), 0);
    const auto lines = Lines(Slurp(out));
    const auto frames = Frames();
    ASSERT_EQ(lines.size(), frames.size() + 1); // one per frame, and the summary
    std::size_t prg = 0;
    while (prg < lines.size() && lines[prg].find("cmd $PRG") == std::string::npos)
        ++prg;
    ASSERT_LT(prg, lines.size());
    EXPECT_NE(lines[prg].find("PC>D  info     cmd $PRG \"$PRG\" check ok"), std::string::npos) << lines[prg];
    EXPECT_NE(lines[prg - 1].find("D>PC  poll"), std::string::npos) << lines[prg - 1];
    EXPECT_NE(lines.back().find(", 0 with errors"), std::string::npos) << lines.back();
    // Not a capture: a bad file.
    EXPECT_EQ(Shell(kBin + " replay " + s_Dir + "/info.txt 2>/dev/null"), 2);
    EXPECT_EQ(Shell(kBin + " replay 2>/dev/null"), 2);
}

TEST_F(LinkCapture, SimReplayFindsTheToolAlike) {
    Background replay("sim --replay " + Capture());
    ASSERT_FALSE(replay.path.empty());
    EXPECT_EQ(Shell(kBin + " info all --port " + replay.path + " > /dev/null 2>&1"), 0);
    const auto [out, code] = replay.Finish(false);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("no difference"), std::string::npos) << out;
}

TEST_F(LinkCapture, SimReplayRefusesWhatIsNoCapture) {
    EXPECT_EQ(Shell(kBin + " sim --replay " + s_Dir + "/info.txt > /dev/null 2>&1"), 2);
    EXPECT_EQ(Shell(kBin + " sim --replay /nonexistent/x.pcap > /dev/null 2>&1"), 2);
    // A capture of nothing but a speed change holds nothing to play.
    CaptureRecord speed;
    speed.flags = kCaptureSpeedChange;
    speed.baud = 1200;
    std::string error;
    ASSERT_TRUE(WriteCaptureFile(s_Dir + "/empty.pcap", {speed}, error)) << error;
    EXPECT_EQ(Shell(kBin + " sim --replay " + s_Dir + "/empty.pcap > /dev/null 2>&1"), 2);
}

TEST_F(LinkCapture, SimReplayNamesTheEditedPlace) {
    std::vector<CaptureRecord> records;
    std::string error;
    ASSERT_TRUE(ReadCaptureFile(Capture(), records, error)) << error;
    // The PC's first message "$PRG" becomes "$PRX" in the capture.
    std::string pcBytes;
    bool edited = false;
    for (auto& r : records) {
        if (r.direction != LinkDirection::PcToDevice || r.SpeedChange())
            continue;
        for (auto& b : r.bytes) {
            pcBytes += static_cast<char>(b);
            if (!edited && pcBytes.size() >= 4 && pcBytes.compare(pcBytes.size() - 4, 4, "$PRG") == 0) {
                b = 'X';
                edited = true;
            }
        }
    }
    ASSERT_TRUE(edited);
    const std::string file = s_Dir + "/edited.pcap";
    ASSERT_TRUE(WriteCaptureFile(file, records, error)) << error;
    Background replay("sim --replay " + file);
    ASSERT_FALSE(replay.path.empty());
    EXPECT_EQ(Shell(kBin + " info all --port " + replay.path + " > /dev/null 2>&1"), 0);
    const auto [out, code] = replay.Finish(false);
    EXPECT_EQ(code, 1) << out;
    EXPECT_NE(out.find("difference at exchange "), std::string::npos) << out;
    EXPECT_NE(out.find("$PRX"), std::string::npos) << out;
    EXPECT_NE(out.find("1 difference(s)"), std::string::npos) << out;
}

TEST(Monitor, LinesOfFiguresOnALiveLink) {
    Background sim("sim --quiet-board --poll-gap 20");
    ASSERT_FALSE(sim.path.empty());
    char out[] = "/tmp/vq5-monitor-XXXXXX";
    const int fd = mkstemp(out);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(Shell(kBin + " monitor --port " + sim.path + " --interval 0.25 --duration 1.2 --json > " + out),
              0);
    sim.Finish(true);
    const auto lines = Lines(Slurp(out));
    ::unlink(out);
    ASSERT_GE(lines.size(), 4u);
    const std::string& last = lines.back();
    EXPECT_EQ(last.front(), '{');
    EXPECT_NE(last.find("\"status\":\"Connected\""), std::string::npos) << last;
    EXPECT_EQ(last.find("\"polls_per_s\":0.00"), std::string::npos) << last;
    EXPECT_NE(last.find("\"naks_sent\":0"), std::string::npos) << last;
}

TEST(Monitor, ExitCodes) {
    EXPECT_EQ(Shell(kBin + " monitor --interval 0 2>/dev/null"), 2);
    EXPECT_EQ(Shell(kBin + " monitor --bogus 2>/dev/null"), 2);
    EXPECT_EQ(Shell(kBin + " monitor --capture /nonexistent-dir/x.pcap 2>/dev/null"), 2);
    EXPECT_EQ(Shell(kBin + " monitor --port /dev/vq5-no-such-port --duration 2 2>/dev/null"), 3);
}

} // namespace
} // namespace vq5
