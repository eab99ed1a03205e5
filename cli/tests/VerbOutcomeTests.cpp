// Every verb of `vq5` as a user runs it, through each outcome: done (against the simulator),
// no answer (a line nobody drives), a bad file or bad arguments, a missing port. The exit
// code says which: 0, 1, 2, 3. Then the files the verbs read and write, as an attacker or a
// careless user would hand them over.
#include "Files.h"
#include "PtyHelpers.h"
#include "Simulator.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace vq5::test {
namespace {

RunResult Vq5(const std::vector<std::string>& args, std::chrono::milliseconds terminateAfter = 0ms) {
    return RunProgram(VQ5_BIN, args, 40s, terminateAfter);
}

using vq5::test::ReadFile;
using vq5::test::WriteFile;

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// A folder of its own for the files of one test.
class CTempDir {
public:
    CTempDir() {
        char dir[] = "/tmp/vq5-verbs-XXXXXX";
        if (::mkdtemp(dir))
            m_Dir = dir;
    }
    ~CTempDir() { (void)!std::system(("rm -rf '" + m_Dir + "'").c_str()); }
    std::string operator/(const std::string& name) const { return m_Dir + "/" + name; }

private:
    std::string m_Dir;
};

// DoneStrict: done against a device that answers queries and nothing else (no reply to a set or
// to the program-mode exit).
enum class Outcome { Done, DoneStrict, NoAnswer, BadInput, MissingPort };

struct Row {
    const char* name;
    std::vector<std::string> args; // "{port}", "{conf}" and "{dir}" are filled in
    Outcome outcome;
    int code;
};

const char* OutcomeName(Outcome o) {
    switch (o) {
    case Outcome::Done:
        return "done";
    case Outcome::DoneStrict:
        return "done strict";
    case Outcome::NoAnswer:
        return "no answer";
    case Outcome::BadInput:
        return "bad file or arguments";
    case Outcome::MissingPort:
        return "missing port";
    }
    return "?";
}

class VerbOutcome : public ::testing::TestWithParam<Row> {
protected:
    static void SetUpTestSuite() {
        s_Dir = std::make_unique<CTempDir>();
        sim::SimOptions o;
        o.onboardTraffic = false;
        s_Sim = std::make_unique<sim::CSimulator>(o);
        s_SimPath = s_Sim->Start();
        ASSERT_TRUE(s_Sim->Running()) << s_Sim->Error();
        // A configuration as the device holds it, for "config write".
        RunResult r = Vq5({"config", "read", "--port", s_SimPath, "--out", *s_Dir / "device.conf"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }
    static void TearDownTestSuite() {
        s_Sim->Stop();
        s_Sim.reset();
        s_Dir.reset();
    }
    static std::unique_ptr<CTempDir> s_Dir;
    static std::unique_ptr<sim::CSimulator> s_Sim;
    static std::string s_SimPath;
};
std::unique_ptr<CTempDir> VerbOutcome::s_Dir;
std::unique_ptr<sim::CSimulator> VerbOutcome::s_Sim;
std::string VerbOutcome::s_SimPath;

TEST_P(VerbOutcome, ExitCodeSaysWhatHappened) {
    const Row& row = GetParam();
    CPty silent; // a line nobody drives
    // A device of its own for each run: one verb's ending does not meet the next one.
    sim::SimOptions o;
    o.onboardTraffic = false;
    const bool done = row.outcome == Outcome::Done || row.outcome == Outcome::DoneStrict;
    if (row.outcome == Outcome::DoneStrict)
        o.profile = sim::DeviceProfile::Strict;
    sim::CSimulator device(o);
    std::string devicePath;
    if (done) {
        devicePath = device.Start();
        ASSERT_TRUE(device.Running()) << device.Error();
    }
    std::vector<std::string> args;
    for (std::string a : row.args) {
        if (a == "{port}")
            a = done                               ? devicePath
                : row.outcome == Outcome::NoAnswer ? silent.Path()
                                                   : "/dev/vq5-no-such-port";
        else if (a == "{conf}")
            a = *s_Dir / "device.conf";
        else if (a == "{dir}")
            a = *s_Dir / "";
        args.push_back(a);
    }
    if (row.outcome == Outcome::NoAnswer) {
        args.insert(args.end(), {"--timeout", "200"});
        if (args[0] != "io" && args[0] != "velto")
            args.insert(args.end(), {"--deadline", "1"});
    }
    const bool runsUntilStopped = args[0] == "sim" && row.code == 0;
    RunResult r = Vq5(args, runsUntilStopped ? 1500ms : 0ms);
    EXPECT_EQ(r.exitCode, row.code) << row.name << " (" << OutcomeName(row.outcome) << ")\n" << r.err;
    if (row.code != 0) {
        EXPECT_FALSE(r.err.empty()) << row.name << ": a failure says why";
    }
    device.Stop();
}

const Row kRows[] = {
    {"config_read", {"config", "read", "--port", "{port}"}, Outcome::Done, 0},
    {"config_read", {"config", "read", "--port", "{port}"}, Outcome::NoAnswer, 1},
    {"config_read", {"config", "read", "--port", "{port}", "--out", "{dir}"}, Outcome::BadInput, 2},
    {"config_read", {"config", "read", "--port", "{port}"}, Outcome::MissingPort, 3},
    {"config_write", {"config", "write", "--port", "{port}", "{conf}"}, Outcome::Done, 0},
    {"config_write", {"config", "write", "--port", "{port}", "{conf}"}, Outcome::NoAnswer, 1},
    {"config_write", {"config", "write", "--port", "{port}", "{dir}"}, Outcome::BadInput, 2},
    {"config_write", {"config", "write", "--port", "{port}", "{conf}"}, Outcome::MissingPort, 3},
    {"filter_load", {"filter", "load", "--port", "{port}"}, Outcome::Done, 0},
    {"filter_load", {"filter", "load", "--port", "{port}"}, Outcome::NoAnswer, 1},
    {"filter_load", {"filter", "load", "--port", "{port}", "--window", "x"}, Outcome::BadInput, 2},
    {"filter_load", {"filter", "load", "--port", "{port}"}, Outcome::MissingPort, 3},
    {"filter_save", {"filter", "save", "--port", "{port}"}, Outcome::Done, 0},
    {"filter_save", {"filter", "save", "--port", "{port}"}, Outcome::NoAnswer, 1},
    {"filter_save", {"filter", "save", "--port", "{port}", "--window", "99"}, Outcome::BadInput, 2},
    {"filter_save", {"filter", "save", "--port", "{port}"}, Outcome::MissingPort, 3},
    {"info", {"info", "--port", "{port}", "version"}, Outcome::Done, 0},
    {"info", {"info", "--port", "{port}", "version"}, Outcome::NoAnswer, 1},
    {"info", {"info", "--port", "{port}", "nonsense"}, Outcome::BadInput, 2},
    {"info", {"info", "--port", "{port}", "version"}, Outcome::MissingPort, 3},
    {"io", {"io", "--port", "{port}", "--duration", "1.5"}, Outcome::Done, 0},
    {"io", {"io", "--port", "{port}", "--duration", "1"}, Outcome::NoAnswer, 1},
    {"io", {"io", "--port", "{port}", "--duration", "0"}, Outcome::BadInput, 2},
    {"io", {"io", "--port", "{port}", "--duration", "1"}, Outcome::MissingPort, 3},
    {"reset", {"reset", "--port", "{port}"}, Outcome::Done, 0},
    {"reset", {"reset", "--port", "{port}"}, Outcome::NoAnswer, 1},
    {"reset", {"reset", "--port", "{port}", "--timeout", "1"}, Outcome::BadInput, 2},
    {"reset", {"reset", "--port", "{port}"}, Outcome::MissingPort, 3},
    {"send", {"send", "--port", "{port}", "&PIA"}, Outcome::Done, 0},
    {"send", {"send", "--port", "{port}", "&PIA"}, Outcome::NoAnswer, 1},
    {"send", {"send", "--port", "{port}", "--bogus"}, Outcome::BadInput, 2},
    {"send", {"send", "--port", "{port}", "&PIA"}, Outcome::MissingPort, 3},
    {"velto", {"velto", "--port", "{port}", "--duration", "1.5"}, Outcome::Done, 0},
    {"velto", {"velto", "--port", "{port}", "--duration", "1"}, Outcome::NoAnswer, 1},
    {"velto", {"velto", "--port", "{port}", "--line", "1000"}, Outcome::BadInput, 2},
    {"velto", {"velto", "--port", "{port}", "--duration", "1"}, Outcome::MissingPort, 3},
    // The simulator is the device itself: it has no "no answer".
    // A device that answers queries only is done with as well.
    {"config_read", {"config", "read", "--port", "{port}"}, Outcome::DoneStrict, 0},
    {"config_write", {"config", "write", "--port", "{port}", "--verify", "{conf}"}, Outcome::DoneStrict, 0},
    {"filter_load", {"filter", "load", "--port", "{port}"}, Outcome::DoneStrict, 0},
    {"filter_save", {"filter", "save", "--port", "{port}"}, Outcome::DoneStrict, 0},
    {"info", {"info", "--port", "{port}", "version"}, Outcome::DoneStrict, 0},
    {"reset", {"reset", "--port", "{port}"}, Outcome::DoneStrict, 0},
    {"send", {"send", "--port", "{port}", "&PIA"}, Outcome::DoneStrict, 0},
    {"sim", {"sim", "--quiet-board"}, Outcome::Done, 0},
    {"sim", {"sim", "--state", "/dev/zero"}, Outcome::BadInput, 2},
    {"sim", {"sim", "--device", "/dev/vq5-no-such-port"}, Outcome::MissingPort, 3},
    // Each verb takes its own options only: one of another verb's is a bad argument.
    {"config_read_option", {"config", "read", "--port", "{port}", "--verify"}, Outcome::BadInput, 2},
    {"config_write_option",
     {"config", "write", "--port", "{port}", "--out", "x", "{conf}"},
     Outcome::BadInput,
     2},
    {"config_write_two_files",
     {"config", "write", "--port", "{port}", "{conf}", "{conf}"},
     Outcome::BadInput,
     2},
    {"filter_load_option", {"filter", "load", "--port", "{port}", "--reboot"}, Outcome::BadInput, 2},
    {"filter_save_option", {"filter", "save", "--port", "{port}", "--fast-speed", "3"}, Outcome::BadInput, 2},
    {"info_option", {"info", "--port", "{port}", "--reboot", "version"}, Outcome::BadInput, 2},
    {"io_option", {"io", "--port", "{port}", "--line", "5"}, Outcome::BadInput, 2},
    {"reset_option", {"reset", "--port", "{port}", "--expert"}, Outcome::BadInput, 2},
    {"send_option", {"send", "--port", "{port}", "--expert", "&PIA"}, Outcome::BadInput, 2},
    {"send_value", {"send", "--port", "{port}", "--trace", "16", "&PIA"}, Outcome::BadInput, 2},
    {"velto_option", {"velto", "--port", "{port}", "--expert"}, Outcome::BadInput, 2},
    {"sim_option", {"sim", "--port", "{port}"}, Outcome::BadInput, 2},
    {"monitor_option", {"monitor", "--port", "{port}", "--reboot"}, Outcome::BadInput, 2},
    {"monitor_value", {"monitor", "--port", "{port}", "--interval", "0.01"}, Outcome::BadInput, 2},
    // monitor makes no visit and history adds none: no record options after them.
    {"monitor_record_option", {"monitor", "--port", "{port}", "--no-record"}, Outcome::BadInput, 2},
    {"history_record_option", {"history", "--no-record"}, Outcome::BadInput, 2},
    {"report_option", {"report", "--port", "{port}", "--out", "{dir}", "--reboot"}, Outcome::BadInput, 2},
    {"replay_value", {"replay", "--gap", "0", "{conf}"}, Outcome::BadInput, 2},
    {"history_option", {"history", "--port", "{port}"}, Outcome::BadInput, 2},
    {"verb", {"erase", "--port", "{port}"}, Outcome::BadInput, 2},
    // Another verb's name after a verb is that verb's argument, not a verb of its own.
    {"info_verb_name", {"info", "report", "--port", "{port}"}, Outcome::BadInput, 2},
    {"send_verb_name", {"send", "--port", "{port}", "history"}, Outcome::Done, 0},
};

INSTANTIATE_TEST_SUITE_P(EveryVerb, VerbOutcome, ::testing::ValuesIn(kRows), [](const auto& info) {
    std::string outcome = OutcomeName(info.param.outcome);
    for (char& c : outcome)
        if (c == ' ')
            c = '_';
    return std::string(info.param.name) + "_" + outcome;
});

TEST(VerbHelp, StatesTheExitCodes) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                                 {"send", "--help"},
                                                 {"config", "--help"},
                                                 {"config", "read", "--help"},
                                                 {"config", "write", "--help"},
                                                 {"filter", "save", "--help"},
                                                 {"info", "--help"},
                                                 {"filter", "--help"},
                                                 {"reset", "--help"},
                                                 {"io", "--help"},
                                                 {"velto", "--help"},
                                                 {"sim", "--help"}}) {
        RunResult r = Vq5(args);
        EXPECT_EQ(r.exitCode, 0) << args[0];
        EXPECT_EQ(r.out.rfind("usage: vq5", 0), 0u) << r.out;
        EXPECT_NE(r.out.find("Exit codes: 0 done; 1 the device or the link did not do it"), std::string::npos)
            << args[0] << ":\n"
            << r.out;
    }
}

TEST(VerbHelp, ListsEveryVerbAndItsOwnOptions) {
    RunResult r = Vq5({"--help"});
    for (const char* verb : {"config", "filter", "history", "info", "io", "monitor", "replay", "report",
                             "reset", "send", "sim", "velto"})
        EXPECT_NE(r.out.find(std::string("\n  ") + verb + " "), std::string::npos) << verb << ":\n" << r.out;
    // The engine options are declared once and shown where they are taken.
    struct Shown {
        std::vector<std::string> args;
        const char* option;
        bool listed;
    };
    for (const Shown& s :
         {Shown{{"send", "--help"}, "--fast-speed N", true},
          Shown{{"filter", "load", "--help"}, "--fast-speed", false},
          Shown{{"filter", "save", "--help"}, "--window N", true},
          Shown{{"filter", "load", "--help"}, "--window", false},
          Shown{{"info", "--help"}, "--reboot", false}, Shown{{"io", "--help"}, "--duration S", true},
          Shown{{"velto", "--help"}, "--line N", true},
          Shown{{"config", "write", "--help"}, "--verify", true},
          Shown{{"config", "read", "--help"}, "--verify", false},
          Shown{{"reset", "--help"}, "--no-record", true}, Shown{{"io", "--help"}, "--no-record", true},
          Shown{{"velto", "--help"}, "--db URL", true},
          Shown{{"config", "write", "--help"}, "--reboot", true},
          Shown{{"config", "read", "--help"}, "--reboot", false}, Shown{{"monitor", "--help"}, "--db", false},
          Shown{{"history", "--help"}, "--db URL", true},
          Shown{{"history", "--help"}, "--no-record", false}}) {
        RunResult h = Vq5(s.args);
        EXPECT_EQ(h.out.find(std::string("  ") + s.option) != std::string::npos, s.listed)
            << s.args[0] << " " << s.option << ":\n"
            << h.out;
    }
    // Only writing verifies: reading's help does not speak of it.
    const RunResult read = Vq5({"config", "read", "--help"});
    EXPECT_EQ(read.out.find("--verify"), std::string::npos) << read.out;
}

// Files that are no configuration: refused at once with a message, never read whole or
// waited on.
TEST(VerbFiles, ConfigWriteRefusesWhatIsNoRegularFileOrTooLarge) {
    CTempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    WriteFile(dir / "big.conf", std::string(2u << 20, '#'));
    struct Case {
        std::string file;
        std::string message;
    };
    for (const Case& c : {Case{"/dev/zero", "not a regular file"}, Case{dir / "fifo", "not a regular file"},
                          Case{dir / "big.conf", "larger than 1 MB"}}) {
        RunResult r =
            RunProgram(VQ5_BIN, {"config", "write", "--port", "/dev/vq5-no-such-port", c.file}, 10s);
        EXPECT_EQ(r.exitCode, 2) << c.file << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_LT(r.seconds, 5) << c.file;
    }
}

TEST(VerbFiles, SimRefusesAStateFifoAndStaysStoppable) {
    CTempDir dir;
    ASSERT_EQ(::mkfifo((dir / "state").c_str(), 0600), 0);
    RunResult r = RunProgram(VQ5_BIN, {"sim", "--state", dir / "state"}, 10s, 3s);
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
}

// The keys of a file echoed in a message are escaped and shortened.
TEST(VerbFiles, ConfigWriteEchoesTheFileEscapedAndShort) {
    CTempDir dir;
    WriteFile(dir / "hostile.conf", std::string("\x1b]0;owned\x07\x1b[2J\0key\x9b=1\n", 20));
    WriteFile(dir / "long.conf", std::string(500000, 'K') + "=1\n");
    for (const std::string& file : {dir / "hostile.conf", dir / "long.conf"}) {
        RunResult r = RunProgram(VQ5_BIN, {"config", "write", "--port", "/dev/vq5-no-such-port", file}, 10s);
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_LT(r.err.size(), 1500u);
        for (unsigned char c : r.err)
            EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << "raw byte " << int(c) << " in: " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

// Saving over a file keeps its mode, never follows a link at a temporary name and never
// destroys a file of that name.
TEST(VerbFiles, SavesKeepModeAndTouchNothingElse) {
    sim::SimOptions o;
    o.onboardTraffic = false;
    sim::CSimulator device(o);
    const std::string port = device.Start();
    ASSERT_TRUE(device.Running()) << device.Error();
    CTempDir dir;
    for (const std::string name : {"out.conf", "state"}) {
        WriteFile(dir / name, "old\n");
        ASSERT_EQ(::chmod((dir / name).c_str(), 0600), 0);
        WriteFile(dir / (std::string(name) + "-victim"), "precious");
        ASSERT_EQ(::symlink((dir / (std::string(name) + "-victim")).c_str(),
                            (dir / (std::string(name) + ".tmp")).c_str()),
                  0);
    }
    RunResult read = Vq5({"config", "read", "--port", port, "--out", dir / "out.conf"});
    EXPECT_EQ(read.exitCode, 0) << read.err;
    RunResult sim = Vq5({"sim", "--quiet-board", "--state", dir / "state"}, 1500ms);
    EXPECT_EQ(sim.exitCode, 0) << sim.err;
    device.Stop();
    for (const std::string name : {"out.conf", "state"}) {
        EXPECT_NE(ReadFile(dir / name), "old\n") << name;
        EXPECT_EQ(ModeOf(dir / name) & 07777, 0600u) << name;
        EXPECT_EQ(ReadFile(dir / (std::string(name) + "-victim")), "precious") << name;
        EXPECT_TRUE(S_ISLNK(ModeOf(dir / (std::string(name) + ".tmp")))) << name;
    }
}

} // namespace
} // namespace vq5::test
