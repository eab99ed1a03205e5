// `vq5 config read` and `vq5 config write` against the simulated VQ-5 on a pseudo-terminal:
// the program is started as it is used, and the simulator's state is looked at directly.
#include "CommandSet.h"
#include "Files.h"
#include "Process.h"
#include "ProfilePrint.h"
#include "Simulator.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

namespace {

using namespace vq5::sim;
using vq5::test::ReadFile;
using vq5::test::WriteFile;

struct Result {
    int rc = -1;
    std::string out, err;
};

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/vq5-config-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        path = made ? made : "";
    }
    ~TempDir() {
        if (!path.empty())
            std::system(("rm -rf '" + path + "'").c_str());
    }
    std::string File(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// Runs build/bin/vq5 with the arguments, its stdout and stderr collected.
Result RunVq5(const std::vector<std::string>& args) {
    const vq5::test::RunResult run = vq5::test::RunProgram(VQ5_BIN, args);
    return {run.exitCode, run.out, run.err};
}

struct Device {
    Device(unsigned major, unsigned minor, DeviceProfile profile) {
        SimOptions o;
        o.versionMajor = major;
        o.versionMinor = minor;
        o.letter = 'Q';
        o.profile = profile;
        o.onboardTraffic = false;
        sim = std::make_unique<CSimulator>(o);
        path = sim->Start();
    }
    ~Device() { sim->Stop(); }
    std::unique_ptr<CSimulator> sim;
    std::string path;
};

// The configuration part of a state (counters and program mode left out).
bool SameConfiguration(const DeviceState& a, const DeviceState& b) {
    return a.identifier == b.identifier && a.datacall[0] == b.datacall[0] && a.datacall[1] == b.datacall[1] &&
           a.datacall[2] == b.datacall[2] && a.flags == b.flags && a.window == b.window &&
           a.minimal == b.minimal && a.offsetDigit == b.offsetDigit && a.stable == b.stable;
}

DeviceState Sample(unsigned major, unsigned minor) {
    DeviceState s = vq5::sim::FactoryState(major, minor);
    s.identifier = "05 March 2024: lijn 12 \\ rit";
    s.datacall[0] = "&P.1 a";
    s.datacall[1] = "";
    s.flags['S'] = true;
    s.flags['C'] = true;
    s.flags['K'] = true;
    s.flags['L'] = true;
    s.window = 13;
    s.minimal = 2;
    s.stable = 15;
    s.offsetDigit = vq5::device::OffsetDigit(12, major, minor);
    return s;
}

// The messages taken since `from`, with the device letter of every command replaced by '?'.
std::vector<std::string> Letterless(const std::vector<std::string>& taken, std::size_t from) {
    std::vector<std::string> out;
    for (std::size_t i = from; i < taken.size(); ++i) {
        std::string t = taken[i];
        if (t.size() >= 2 && t[0] == '&')
            t[1] = '?';
        out.push_back(t);
    }
    return out;
}

// "config write --verify FILE" that ends well without a word on stdout; `sent` gets what it sent
// (device letters left out).
Result WriteVerified(Device& dev, const std::string& file, std::vector<std::string>& sent) {
    const std::size_t takenBefore = dev.sim->Taken().size();
    Result r = RunVq5({"config", "write", "--port", dev.path, "--verify", file});
    EXPECT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    sent = Letterless(dev.sim->Taken(), takenBefore);
    return r;
}

bool Has(const std::vector<std::string>& sent, const std::string& message) {
    return std::find(sent.begin(), sent.end(), message) != sent.end();
}

// Every case runs against both device profiles: the one that answers sets and the strict one
// that answers queries only.
class ConfigVerb : public ::testing::TestWithParam<DeviceProfile> {};

} // namespace

TEST_P(ConfigVerb, ReadThenVerifiedWriteLeavesTheDeviceAsItWas) {
    for (auto [major, minor] : {std::pair{8u, 6u}, std::pair{8u, 7u}, std::pair{9u, 1u}}) {
        SCOPED_TRACE(std::to_string(major) + "." + std::to_string(minor));
        TempDir dir;
        Device dev(major, minor, GetParam());
        ASSERT_FALSE(dev.path.empty());
        dev.sim->SetState(Sample(major, minor));
        const DeviceState before = dev.sim->State();
        const std::string file = dir.File("vq5.ini");
        Result r = RunVq5({"config", "read", "--port", dev.path, "--out", file});
        ASSERT_EQ(r.rc, 0) << r.err;
        const std::string text = ReadFile(file);
        EXPECT_NE(text.find("ConfigID=05 March 2024: lijn 12 \\\\ rit\n"), std::string::npos) << text;
        EXPECT_NE(text.find("TransConfigSliderOffset2=12\n"), std::string::npos) << text;
        EXPECT_NE(text.find("TransConfigSliderWindow=13\n"), std::string::npos) << text;
        EXPECT_NE(text.find("FlagStreekvervoer=1\n"), std::string::npos) << text;
        EXPECT_NE(text.find("FlagDoorLussen=1\n"), std::string::npos) << text;
        // Only what the device answered: datacalls before 9.1, city flags from 9.1.
        const bool v91 = major == 9;
        EXPECT_EQ(text.find("ButtonDataCall1=1\n") != std::string::npos, !v91) << text;
        EXPECT_EQ(text.find("FlagStadCAT1=") != std::string::npos, v91) << text;
        EXPECT_EQ(text.find("FlagParalelleTransponder="), std::string::npos); // expert only
        EXPECT_EQ(text.find("CheckConfigID"), std::string::npos);

        std::vector<std::string> sent;
        WriteVerified(dev, file, sent);
        EXPECT_TRUE(SameConfiguration(dev.sim->State(), before));
        // It did write: the sets went out (and were read back). Letters are left out of the
        // comparison: on a loaded machine the message after "$PRG" can leave before the
        // identification reply has taught the engine the device letter.
        EXPECT_TRUE(Has(sent, "&?FS1"));
        EXPECT_TRUE(Has(sent, "&?IA05 March 2024: lijn 12 \\ rit"));
    }
}

TEST_P(ConfigVerb, AChangedFileChangesExactlyThoseFields) {
    TempDir dir;
    Device dev(8, 7, GetParam());
    dev.sim->SetState(Sample(8, 7));
    const std::string file = dir.File("vq5.ini");
    ASSERT_EQ(RunVq5({"config", "read", "--port", dev.path, "--out", file}).rc, 0);
    std::string text = ReadFile(file);
    auto replace = [&text](const std::string& from, const std::string& to) {
        const auto pos = text.find(from);
        ASSERT_NE(pos, std::string::npos) << from;
        text.replace(pos, from.size(), to);
    };
    replace("FlagStreekvervoer=1", "FlagStreekvervoer=0");
    replace("TransConfigSliderStable=15", "TransConfigSliderStable=4");
    replace("EditDataCall1=&P.1 a", "EditDataCall1=&P.1 changed");
    WriteFile(file, text);
    DeviceState want = dev.sim->State();
    want.flags['S'] = false;
    want.stable = 4;
    want.datacall[0] = "&P.1 changed";
    const Result r = RunVq5({"config", "write", "--port", dev.path, "--verify", file});
    EXPECT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_TRUE(SameConfiguration(dev.sim->State(), want));
}

TEST_P(ConfigVerb, OnlyTheKeysOfTheFileAreWritten) {
    TempDir dir;
    Device dev(8, 7, GetParam());
    const std::string file = dir.File("part.ini");
    WriteFile(file, "; two settings only\nFlagMaxRunnummer=1\nTransConfigSliderOffset2=20\n");
    const std::size_t takenBefore = dev.sim->Taken().size();
    const Result r = RunVq5({"config", "write", "--port", dev.path, file});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(Letterless(dev.sim->Taken(), takenBefore),
              (std::vector<std::string>{"$PRG", "&?FD1", "&?KOA", "&?X"}));
    EXPECT_TRUE(dev.sim->State().flags.at('D'));
}

TEST_P(ConfigVerb, RebootOption) {
    TempDir dir;
    Device dev(8, 7, GetParam());
    const std::string file = dir.File("r.ini");
    WriteFile(file, "FlagSelftestAfterReboot=1\n");
    const auto rebootsBefore = dev.sim->State().reboots;
    const Result r = RunVq5({"config", "write", "--port", dev.path, "--reboot", "--verify", file});
    EXPECT_EQ(r.rc, 0) << r.out << r.err;
    const auto taken = dev.sim->Taken();
    EXPECT_TRUE(Has(taken, "&QXR"));
    EXPECT_EQ(dev.sim->State().reboots, rebootsBefore + 1);
}

TEST_P(ConfigVerb, VerifyNamesWhatTheVersionDoesNotHaveWithoutCountingIt) {
    TempDir dir;
    Device dev(8, 7, GetParam());
    const std::string file = dir.File("v.ini");
    // The city flags exist from 9.1 on: an 8.7 device never gets the set and cannot answer.
    WriteFile(file, "FlagStadCAT1=1\nFlagStadCAT2=0\nFlagOpenbaarvervoer=0\n");
    const Result r = RunVq5({"config", "write", "--port", dev.path, "--verify", file});
    EXPECT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("FlagStadCAT1: file 1, not on this version (8.7)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("FlagStadCAT2: file 0, not on this version (8.7)"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("did not answer"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("FlagOpenbaarvervoer"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("differ"), std::string::npos) << r.err;
    EXPECT_FALSE(dev.sim->State().flags.at('O'));
}

TEST_P(ConfigVerb, AnOffsetTheDeviceCannotHoldIsWarnedAboutAndExpected) {
    TempDir dir;
    Device dev(8, 1, GetParam());
    const std::string file = dir.File("o.ini");
    WriteFile(file, "TransConfigSliderOffset2=10\n");
    std::vector<std::string> sent;
    const Result r = WriteVerified(dev, file, sent);
    EXPECT_NE(
        r.err.find("warning: TransConfigSliderOffset2: an offset of 10 ms cannot be held by a VQ-5 before "
                   "8.2: such a device will store 26 ms"),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("file 10, device 26 as expected"), std::string::npos) << r.err;
    EXPECT_TRUE(Has(sent, "&?KO2"));
    EXPECT_EQ(vq5::device::OffsetFromDigit(dev.sim->State().offsetDigit, 8, 1), 26);
}

TEST_P(ConfigVerb, ReadThenWriteChangesNothingTheWindowCouldNotShow) {
    // Minimal above Window, and an offset above the slider's 25 ms on a device before 8.2.
    TempDir dir;
    Device dev(8, 1, GetParam());
    DeviceState s = dev.sim->State();
    s.window = 5;
    s.minimal = 7;
    s.offsetDigit = vq5::device::OffsetDigit(28, 8, 1);
    dev.sim->SetState(s);
    const DeviceState before = dev.sim->State();
    const std::string file = dir.File("held.ini");
    Result r = RunVq5({"config", "read", "--port", dev.path, "--out", file});
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::string text = ReadFile(file);
    EXPECT_NE(text.find("TransConfigSliderWindow=5\n"), std::string::npos) << text;
    EXPECT_NE(text.find("TransConfigSliderMinimal=7\n"), std::string::npos) << text;
    EXPECT_NE(text.find("TransConfigSliderOffset2=28\n"), std::string::npos) << text;
    std::vector<std::string> sent;
    WriteVerified(dev, file, sent);
    EXPECT_TRUE(SameConfiguration(dev.sim->State(), before));
    for (const char* set : {"&?KW5", "&?KM7", "&?KO4"})
        EXPECT_TRUE(Has(sent, set)) << set;
}

TEST_P(ConfigVerb, TextsThatDoNotFitAreRefusedBeforeAnythingIsSent) {
    TempDir dir;
    Device dev(8, 7, GetParam());
    const std::string file = dir.File("long.ini");
    WriteFile(file, "FlagMaxRunnummer=1\nConfigID=" + std::string(96, 'x') + "\n");
    const Result r = RunVq5({"config", "write", "--port", dev.path, file});
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("\"Configuratie identifier\""), std::string::npos) << r.err;
    EXPECT_TRUE(dev.sim->Taken().empty());
}

TEST_P(ConfigVerb, BadInputGetsAClearOutcome) {
    TempDir dir;
    Device dev(8, 7, GetParam());
    const std::string file = dir.File("bad.ini");
    WriteFile(file, "FlagStreekVervoer=1\n");
    Result r = RunVq5({"config", "write", "--port", dev.path, file});
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("unknown key 'FlagStreekVervoer'"), std::string::npos) << r.err;
    r = RunVq5({"config", "write", "--port", dev.path, dir.File("missing.ini")});
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;
    r = RunVq5({"config", "read", "--port", dir.File("no-such-port")});
    EXPECT_EQ(r.rc, 3);
    EXPECT_NE(r.err.find("no-such-port"), std::string::npos) << r.err;
    r = RunVq5({"config", "read", "--bogus"});
    EXPECT_EQ(r.rc, 2);
    r = RunVq5({"config", "erase"});
    EXPECT_EQ(r.rc, 2);
    EXPECT_TRUE(dev.sim->Taken().empty());
}

TEST_P(ConfigVerb, ExpertReadAlsoAsksTheParallelTransponder) {
    TempDir dir;
    Device dev(8, 7, GetParam());
    DeviceState s = dev.sim->State();
    s.flags['V'] = true;
    dev.sim->SetState(s);
    const Result r = RunVq5({"config", "read", "--port", dev.path, "--expert"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("FlagParalelleTransponder=1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("; device: VQ-5 (87)"), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Profiles, ConfigVerb,
                         ::testing::Values(DeviceProfile::Default, DeviceProfile::Strict),
                         [](const ::testing::TestParamInfo<DeviceProfile>& info) {
                             return std::string(vq5::sim::ProfileName(info.param));
                         });
