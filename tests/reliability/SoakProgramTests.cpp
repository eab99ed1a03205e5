// bench_soak as a program: a shorter run with the same fault mix as the long one (damaged,
// dropped and inserted bytes, late answers, silent turns, NAKs) ends with nothing lost,
// duplicated or reordered and says so in its summary; bad arguments are refused.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace {

struct SoakRun {
    int status = -1;
    std::string out;
};

// Runs the program under `timeout`, so a hang ends the test instead of the suite.
SoakRun RunSoak(const std::string& args) {
    SoakRun r;
    const std::string command =
        "timeout -s KILL 900 " + std::string(VQ5_BENCH_SOAK) + " " + args + " 2>/dev/null";
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return r;
    char buf[512];
    while (std::fgets(buf, sizeof buf, p))
        r.out += buf;
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

TEST(SoakProgram, FiveHundredExchangesOnAFaultyLineLoseNothing) {
    const SoakRun r = RunSoak("--exchanges 500 --timeout 500 --seed 11 --quiet");
    std::printf("%s", r.out.c_str());
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("lost 0, duplicated 0, in order, link Connected"), std::string::npos) << r.out;
    // The faults were there and reached both sides.
    EXPECT_EQ(r.out.find("retries 0 "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("): 0 injected"), std::string::npos) << r.out; // faults did happen
}

TEST(SoakProgram, BadArgumentsAreRefused) {
    EXPECT_EQ(RunSoak("--exchanges").status, 2);
    EXPECT_EQ(RunSoak("--exchanges -5").status, 2);
    EXPECT_EQ(RunSoak("--timeout 10").status, 2);
    EXPECT_EQ(RunSoak("--frobnicate").status, 2);
    // A fault list the simulator cannot read: the device does not start.
    EXPECT_EQ(RunSoak("--faults nonsense=1 --exchanges 10").status, 2);
}

} // namespace
