// `vq5 sim` as a process: the path on the first line, the link, a clean stop on SIGTERM and
// SIGINT, refused options.
#include "PcEnd.h"
#include "Process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace vq5;
using namespace vq5::simtest;

namespace {

using test::CChild;
using namespace std::chrono_literals;

constexpr auto kWait = 10s;

CChild Spawn(const std::vector<std::string>& args) {
    return CChild(VQ5_BIN, args);
}

// The first line the program printed; empty when none came in time.
std::string FirstLine(CChild& c) {
    if (!c.ReadUntil([](const std::string& out) { return out.find('\n') != std::string::npos; }, kWait))
        return "";
    return c.Out().substr(0, c.Out().find('\n'));
}

} // namespace

TEST(SimVerb, PrintsThePathLinksItAndStopsCleanly) {
    for (int sig : {SIGTERM, SIGINT}) {
        char tmpl[] = "/tmp/vq5verbXXXXXX";
        const std::string dir = mkdtemp(tmpl);
        const std::string link = dir + "/port";
        CChild c = Spawn({"sim", "--link", link, "--version", "9.1", "--letter", "R", "--quiet-board"});
        ASSERT_TRUE(c.Started());
        const std::string path = FirstLine(c);
        ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
        char target[256] = {};
        ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(path, target);
        {
            CPcEnd pc(link);
            ASSERT_TRUE(pc.Ok());
            ASSERT_TRUE(pc.AnswerNextPoll(InfoFrameBytes("$PRG")));
            EXPECT_EQ(pc.ReadFrame(), B({ADR, ACK}));
            pc.Write(B({NUL, EOT}));
            EXPECT_EQ(InfoText(pc.TakeSelect()), "&RPVQ-5 (91) VQ-5 simulator");
        }
        c.Signal(sig);
        EXPECT_EQ(c.Wait(kWait), 0);
        struct stat st {};
        EXPECT_NE(lstat(link.c_str(), &st), 0) << "the link is left behind";
        rmdir(dir.c_str());
    }
}

TEST(SimVerb, RefusesBadOptions) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"sim", "--version", "87"},
                                                                  {"sim", "--version", "8.G"},
                                                                  {"sim", "--letter", "QQ"},
                                                                  {"sim", "--faults", "drop=2.5"},
                                                                  {"sim", "--poll-gap", "-1"},
                                                                  {"sim", "--seed"},
                                                                  {"sim", "--profile", "lax"},
                                                                  {"sim", "--profile"},
                                                                  {"sim", "--bogus"}}) {
        CChild c = Spawn(args);
        ASSERT_TRUE(c.Started());
        EXPECT_EQ(c.Wait(kWait), 2) << args.back();
    }
    CChild c = Spawn({"sim", "--device", "/nonexistent/tty"});
    EXPECT_EQ(c.Wait(kWait), 3); // the port could not be used
}

TEST(SimVerb, StrictProfileAnswersQueriesButNoSet) {
    // Each way of asking for the profile: after a set and a query, the first message the
    // device hands the PC is the query's reply (the default profile would echo the set first).
    const std::vector<std::vector<std::string>> runs = {{"--strict"}, {"--profile", "strict"}};
    for (const auto& options : runs) {
        std::vector<std::string> args = {"sim", "--quiet-board"};
        args.insert(args.end(), options.begin(), options.end());
        CChild c = Spawn(args);
        ASSERT_TRUE(c.Started());
        const std::string path = FirstLine(c);
        ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
        {
            CPcEnd pc(path);
            ASSERT_TRUE(pc.Ok());
            auto send = [&pc](const char* text) {
                ASSERT_TRUE(pc.AnswerNextPoll(InfoFrameBytes(text))) << text;
                EXPECT_EQ(pc.ReadFrame(), B({ADR, ACK})) << text;
                pc.Write(B({NUL, EOT}));
            };
            send("$PRG");
            EXPECT_EQ(InfoText(pc.TakeSelect()), "&QPVQ-5 (87) VQ-5 simulator");
            pc.Write(B({ADR, ACK}));
            send("&QKW3");
            send("&QFS");
            EXPECT_EQ(InfoText(pc.TakeSelect()), "&QFS0") << options.back();
        }
        c.Signal(SIGTERM);
        EXPECT_EQ(c.Wait(kWait), 0);
    }
}

TEST(SimVerb, HelpNamesTheProfiles) {
    CChild c = Spawn({"sim", "--help"});
    ASSERT_TRUE(c.Started());
    EXPECT_EQ(c.Wait(kWait), 0);
    const std::string& out = c.Out();
    EXPECT_NE(out.find("--strict"), std::string::npos) << out;
    EXPECT_NE(out.find("--profile NAME"), std::string::npos) << out;
    // The strict profile's lines stay together, however deep the help indents them.
    const std::size_t at = out.find("no reply\n");
    ASSERT_NE(at, std::string::npos) << out;
    EXPECT_EQ(out.compare(out.find_first_not_of(' ', at + 9), 10, "to any set"), 0) << out;
}
