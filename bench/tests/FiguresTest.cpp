#include "BenchSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace vq5::bench;

TEST(Figures, NearestRankOfOneToHundred) {
    std::vector<double> v;
    for (int i = 100; i >= 1; --i) // unsorted on purpose
        v.push_back(i);
    Summary s = Summarize(v);
    EXPECT_EQ(s.count, 100u);
    EXPECT_EQ(s.min, 1);
    EXPECT_EQ(s.max, 100);
    EXPECT_EQ(s.median, 50);
    EXPECT_EQ(s.p99, 99);
    EXPECT_DOUBLE_EQ(s.mean, 50.5);
}

TEST(Figures, P99SeesTheWorstOnePercent) {
    // 10,000 samples, the 101 largest are outliers: p99 (rank 9900) is still a normal one,
    // and with 100 outliers more it would not be.
    std::vector<double> v(10000, 1.0);
    for (int i = 0; i < 101; ++i)
        v[static_cast<std::size_t>(i) * 7] = 1000.0;
    EXPECT_EQ(Summarize(v).p99, 1000.0);
    std::vector<double> w(10000, 1.0);
    for (int i = 0; i < 100; ++i)
        w[static_cast<std::size_t>(i) * 3] = 1000.0;
    EXPECT_EQ(Summarize(w).p99, 1.0);
    EXPECT_EQ(Summarize(w).max, 1000.0);
}

TEST(Figures, OneAndNoSamples) {
    Summary one = Summarize({7.5});
    EXPECT_EQ(one.min, 7.5);
    EXPECT_EQ(one.median, 7.5);
    EXPECT_EQ(one.p99, 7.5);
    EXPECT_EQ(one.max, 7.5);
    Summary none = Summarize({});
    EXPECT_EQ(none.count, 0u);
    EXPECT_EQ(none.max, 0);
    EXPECT_EQ(Percentile({}, 50), 0);
    EXPECT_EQ(Percentile({1, 2, 3}, 0), 1);
    EXPECT_EQ(Percentile({1, 2, 3}, 100), 3);
}

TEST(Figures, FormattedLineNamesEveryFigure) {
    Summary s = Summarize({1, 2, 3, 4});
    const std::string line = FormatSummary("answer", s, "us", 1);
    EXPECT_NE(line.find("n=4"), std::string::npos);
    EXPECT_NE(line.find("min=1.0"), std::string::npos);
    EXPECT_NE(line.find("median=2.0"), std::string::npos);
    EXPECT_NE(line.find("p99=4.0"), std::string::npos);
    EXPECT_NE(line.find("max=4.0 us"), std::string::npos);
}

TEST(ProcReaders, StatLineWithAwkwardCommandName) {
    // utime 17, stime 4; the command holds spaces and ')'.
    const std::string line = "4242 (VQ5 (x) y) S 1 4242 4242 0 -1 4194304 100 0 0 0 17 4 0 0 20 0 3 0 12345";
    EXPECT_EQ(ParseStatTicks(line), 21);
    EXPECT_EQ(ParseStatTicks("no parenthesis here"), -1);
    EXPECT_EQ(ParseStatTicks("1 (x) S 1 2"), -1);                         // cut short
    EXPECT_EQ(ParseStatTicks("1 (x) S 1 1 1 0 -1 4 1 0 0 0 zz 4 0"), -1); // not a number
}

TEST(ProcReaders, OwnProcessIsReadable) {
    const std::int64_t before = ProcStatCpuNs(getpid());
    ASSERT_GE(before, 0);
    // Burn some CPU; the counters may only grow.
    volatile double x = 0;
    for (int i = 0; i < 20'000'000; ++i)
        x = x + i * 0.5;
    EXPECT_GE(ProcStatCpuNs(getpid()), before);
    EXPECT_GT(ProcSchedCpuNs(getpid()), 0);
    EXPECT_GT(ProcessCpuNs(), 0);
    EXPECT_GT(ThreadCpuNs(), 0);
    EXPECT_GT(ProcStatusKb(0, "VmRSS"), 0);
    EXPECT_GT(ProcStatusKb(getpid(), "VmHWM"), 0);
    EXPECT_EQ(ProcStatusKb(0, "NoSuchKey"), -1);
    EXPECT_EQ(ProcStatCpuNs(-5), -1);
    EXPECT_EQ(ProcSchedCpuNs(-5), -1);
}

TEST(ProcReaders, MachineTextNamesTheMachine) {
    const std::string m = MachineText();
    EXPECT_NE(m.find("cores"), std::string::npos);
    EXPECT_NE(m.find("load "), std::string::npos);
}

TEST(Options, ValueFormsAndDefaults) {
    const char* args[] = {"prog", "--exchanges", "42", "--log=open", "--flag", "--bad", "x1"};
    char** argv = const_cast<char**>(args);
    EXPECT_EQ(OptionInt(7, argv, "--exchanges", 1), 42);
    EXPECT_EQ(Option(7, argv, "--log", "both"), "open");
    EXPECT_EQ(Option(7, argv, "--none", "dflt"), "dflt");
    EXPECT_EQ(OptionInt(7, argv, "--bad", 9), 9); // not a number: the default
    EXPECT_TRUE(Flag(7, argv, "--flag"));
    EXPECT_FALSE(Flag(7, argv, "--other"));
}
