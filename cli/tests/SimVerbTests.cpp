// `vq5 sim` as a process: the path on the first line, the link, a clean stop on SIGTERM and
// SIGINT, refused options.
#include "PcEnd.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vq5;
using namespace vq5::simtest;

namespace {

struct Child {
    pid_t pid = -1;
    int out = -1; // its stdout
};

Child Spawn(const std::vector<std::string>& args) {
    int pipeFd[2];
    if (pipe(pipeFd) != 0)
        return {};
    Child c;
    c.pid = fork();
    if (c.pid == 0) {
        dup2(pipeFd[1], 1);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 2);
        close(pipeFd[0]);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(VQ5_BINARY, argv.data());
        _exit(127);
    }
    close(pipeFd[1]);
    c.out = pipeFd[0];
    return c;
}

std::string FirstLine(int fd) {
    std::string line;
    char ch;
    while (read(fd, &ch, 1) == 1 && ch != '\n')
        line += ch;
    return line;
}

int WaitExit(pid_t pid) {
    int status = 0;
    for (int i = 0; i < 1000; ++i) { // 10 s
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

} // namespace

TEST(SimVerb, PrintsThePathLinksItAndStopsCleanly) {
    for (int sig : {SIGTERM, SIGINT}) {
        char tmpl[] = "/tmp/vq5verbXXXXXX";
        const std::string dir = mkdtemp(tmpl);
        const std::string link = dir + "/port";
        Child c = Spawn({"vq5", "sim", "--link", link, "--version", "9.1", "--letter", "R", "--quiet-board"});
        ASSERT_GT(c.pid, 0);
        const std::string path = FirstLine(c.out);
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
        kill(c.pid, sig);
        EXPECT_EQ(WaitExit(c.pid), 0);
        struct stat st {};
        EXPECT_NE(lstat(link.c_str(), &st), 0) << "the link is left behind";
        close(c.out);
        rmdir(dir.c_str());
    }
}

TEST(SimVerb, RefusesBadOptions) {
    for (const auto& args : std::vector<std::vector<std::string>>{{"vq5", "sim", "--version", "87"},
                                                                  {"vq5", "sim", "--version", "8.G"},
                                                                  {"vq5", "sim", "--letter", "QQ"},
                                                                  {"vq5", "sim", "--faults", "drop=2.5"},
                                                                  {"vq5", "sim", "--poll-gap", "-1"},
                                                                  {"vq5", "sim", "--seed"},
                                                                  {"vq5", "sim", "--profile", "lax"},
                                                                  {"vq5", "sim", "--profile"},
                                                                  {"vq5", "sim", "--bogus"}}) {
        Child c = Spawn(args);
        ASSERT_GT(c.pid, 0);
        EXPECT_EQ(WaitExit(c.pid), 2) << args.back();
        close(c.out);
    }
    Child c = Spawn({"vq5", "sim", "--device", "/nonexistent/tty"});
    EXPECT_EQ(WaitExit(c.pid), 3); // the port could not be used
    close(c.out);
}

TEST(SimVerb, StrictProfileAnswersQueriesButNoSet) {
    // Each way of asking for the profile: after a set and a query, the first message the
    // device hands the PC is the query's reply (the default profile would echo the set first).
    const std::vector<std::vector<std::string>> runs = {{"--strict"}, {"--profile", "strict"}};
    for (const auto& options : runs) {
        std::vector<std::string> args = {"vq5", "sim", "--quiet-board"};
        args.insert(args.end(), options.begin(), options.end());
        Child c = Spawn(args);
        ASSERT_GT(c.pid, 0);
        const std::string path = FirstLine(c.out);
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
        kill(c.pid, SIGTERM);
        EXPECT_EQ(WaitExit(c.pid), 0);
        close(c.out);
    }
}

TEST(SimVerb, HelpNamesTheProfiles) {
    Child c = Spawn({"vq5", "sim", "--help"});
    ASSERT_GT(c.pid, 0);
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = read(c.out, buf, sizeof buf)) > 0;)
        out.append(buf, static_cast<std::size_t>(n));
    EXPECT_EQ(WaitExit(c.pid), 0);
    close(c.out);
    EXPECT_NE(out.find("--strict"), std::string::npos) << out;
    EXPECT_NE(out.find("--profile NAME"), std::string::npos) << out;
    // The strict profile's lines stay together, however deep the help indents them.
    const std::size_t at = out.find("no reply\n");
    ASSERT_NE(at, std::string::npos) << out;
    EXPECT_EQ(out.compare(out.find_first_not_of(' ', at + 9), 10, "to any set"), 0) << out;
}
