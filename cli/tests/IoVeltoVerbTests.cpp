// `vq5 io` and `vq5 velto` as programs against the simulated VQ-5: what they print, how they
// stop (--duration, SIGINT, SIGTERM) and how they refuse bad arguments.
#include "IoLines.h"
#include "Process.h"
#include "ProfilePrint.h"
#include "Simulator.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// `vq5` with the arguments, its stdout and stderr collected.
class Child : public vq5::test::CChild {
public:
    explicit Child(const std::vector<std::string>& args) : CChild(VQ5_BIN, args) {}
};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text, const std::string& prefix) {
    std::vector<std::string> v;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (line.rfind(prefix, 0) == 0)
            v.push_back(line);
        pos = end + 1;
    }
    return v;
}

vq5::sim::SimOptions Quiet(vq5::sim::DeviceProfile profile = vq5::sim::DeviceProfile::Default) {
    vq5::sim::SimOptions o;
    o.onboardTraffic = false;
    o.profile = profile;
    return o;
}

// The cases that talk to the device run against both device profiles.
class IoVerbOnDevice : public ::testing::TestWithParam<vq5::sim::DeviceProfile> {};

TEST_P(IoVerbOnDevice, PrintsLinesAndNumbersAndLeavesProgramMode) {
    vq5::sim::CSimulator s(Quiet(GetParam()));
    const std::string path = s.Start();
    ASSERT_FALSE(path.empty());
    auto st = s.State();
    st.line = 123;
    st.run = 45;
    s.SetState(st);
    Child c({"io", "--port", path, "--duration", "3"});
    ASSERT_TRUE(c.Started());
    ASSERT_EQ(c.Wait(30s), 0) << c.Err();
    const auto numbers = Lines(c.Out(), "numbers ");
    ASSERT_FALSE(numbers.empty()) << c.Out();
    EXPECT_EQ(numbers.back(), "numbers LijnNr = 123  RunNr = 45");
    const auto inputs = Lines(c.Out(), "inputs  ");
    const auto outputs = Lines(c.Out(), "outputs ");
    ASSERT_FALSE(inputs.empty());
    ASSERT_FALSE(outputs.empty());
    // Each printed value is one the device sent; the T lines carry the numbers.
    const std::string value = outputs.back().substr(8, vq5::io::kOutputCount);
    EXPECT_EQ(value.substr(4), vq5::io::EncodeOutputs(123, 45, false, false).substr(4));
    EXPECT_TRUE(Contains(outputs.back(), "  active: "));
    // Lines are printed on change only: no two following lines of a group are the same.
    for (std::size_t i = 1; i < inputs.size(); ++i)
        EXPECT_NE(inputs[i], inputs[i - 1]);
    const auto taken = s.Taken();
    ASSERT_FALSE(taken.empty());
    EXPECT_EQ(taken.front(), "$PRG");
    EXPECT_EQ(taken.back(), "&QX") << "program mode is left at the end";
    EXPECT_FALSE(s.State().programMode);
}

TEST_P(IoVerbOnDevice, StopsOnSigint) {
    vq5::sim::CSimulator s(Quiet(GetParam()));
    const std::string path = s.Start();
    Child c({"io", "--port", path});
    ASSERT_TRUE(c.ReadUntil([](const std::string& out) { return Contains(out, "numbers LijnNr = "); }, 20s))
        << c.Err();
    c.Signal(SIGINT);
    EXPECT_EQ(c.Wait(20s), 0) << c.Err();
    EXPECT_EQ(s.Taken().back(), "&QX");
}

INSTANTIATE_TEST_SUITE_P(Profiles, IoVerbOnDevice,
                         ::testing::Values(vq5::sim::DeviceProfile::Default, vq5::sim::DeviceProfile::Strict),
                         [](const ::testing::TestParamInfo<vq5::sim::DeviceProfile>& info) {
                             return std::string(vq5::sim::ProfileName(info.param));
                         });

TEST(IoVerb, PortThatCannotBeOpened) {
    Child c({"io", "--port", "/nonexistent/tty", "--duration", "20"});
    EXPECT_EQ(c.Wait(30s), 3);
    EXPECT_TRUE(Contains(c.Err(), "/nonexistent/tty")) << c.Err();
}

TEST(IoVerb, BadArguments) {
    Child a({"io", "--duration", "-1"});
    EXPECT_EQ(a.Wait(10s), 2);
    EXPECT_TRUE(Contains(a.Err(), "--duration")) << a.Err();
    Child b({"io", "--frobnicate"});
    EXPECT_EQ(b.Wait(10s), 2);
    Child h({"io", "--help"});
    EXPECT_EQ(h.Wait(10s), 0);
    EXPECT_TRUE(Contains(h.Out(), "usage: vq5 io"));
}

TEST(VeltoVerb, DisplaysInquiryAndAutoIncrement) {
    vq5::sim::CSimulator s(Quiet());
    const std::string path = s.Start();
    Child c({"velto", "--port", path, "--line", "799", "--run", "12", "--auto-incr"});
    ASSERT_TRUE(c.ReadUntil(
        [](const std::string& out) { return Contains(out, "> Message send: \"$799/012   "); }, 20s))
        << c.Err();
    s.QueueToPc("?");
    ASSERT_TRUE(c.ReadUntil(
        [](const std::string& out) { return Contains(out, "> Message send: \"$000/012   "); }, 20s))
        << c.Out();
    // The device takes the new number from the display messages.
    EXPECT_TRUE(
        s.WaitUntil([](const vq5::sim::DeviceState& d, const vq5::sim::LinkCounters&) { return d.line == 0; },
                    std::chrono::milliseconds(10000)));
    c.Signal(SIGTERM);
    EXPECT_EQ(c.Wait(20s), 0) << c.Err();
    const std::string& out = c.Out();
    EXPECT_TRUE(Contains(out, "< Inquiry: \"?\"")) << out;
    EXPECT_TRUE(Contains(out, "> Message send: \"=7990120011777777799999\"")) << out;
    EXPECT_TRUE(Contains(out, "* Status changed ")) << out;
    // Every line: time "mm:ss.hh", a mark, the text.
    for (const auto& line : Lines(out, "")) {
        if (line.empty())
            continue;
        ASSERT_GE(line.size(), 11u) << line;
        EXPECT_EQ(line[2], ':') << line;
        EXPECT_EQ(line[5], '.') << line;
        EXPECT_TRUE(line[9] == '>' || line[9] == '<' || line[9] == '*' || line[9] == ' ') << line;
    }
    std::size_t announcements = 0;
    for (const auto& t : s.Taken())
        announcements += !t.empty() && t[0] == '=';
    EXPECT_EQ(announcements, 1u);
}

TEST(VeltoVerb, ErrorLineWithoutMarkAndDuration) {
    vq5::sim::CSimulator s(Quiet());
    const std::string path = s.Start();
    s.QueueToPc("PQ");
    Child c({"velto", "--port", path, "--duration", "2"});
    EXPECT_EQ(c.Wait(30s), 0) << c.Err();
    bool found = false;
    for (const auto& line : Lines(c.Out(), ""))
        if (line.size() > 9 && line.substr(9) == "  ERROR: \"PQ\"")
            found = true;
    EXPECT_TRUE(found) << c.Out();
}

TEST(VeltoVerb, NumbersOutOfRangeAreRefused) {
    Child a({"velto", "--line", "1000"});
    EXPECT_EQ(a.Wait(10s), 2);
    EXPECT_TRUE(Contains(a.Err(), "Please enter an integer between 0 and 999.")) << a.Err();
    Child b({"velto", "--run", "abc"});
    EXPECT_EQ(b.Wait(10s), 2);
    EXPECT_TRUE(Contains(b.Err(), "Please enter an integer.")) << b.Err();
}

} // namespace
