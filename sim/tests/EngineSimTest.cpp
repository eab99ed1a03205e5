// The protocol engine against the simulated device over a pseudo-terminal: every set and
// query of the command set, the version gates, both offset encodings, the speed change,
// reboot and factory reset, the I/O lines and the on-board side.
#include "CommandSet.h"
#include "EngineOnSim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

using namespace vq5;
using namespace vq5::sim;
using vq5::test::CEngineOnSim;
using namespace std::chrono_literals;

namespace {

constexpr auto kRun = std::chrono::seconds(60);

SimOptions Options(unsigned major, unsigned minor) {
    SimOptions o;
    o.versionMajor = major;
    o.versionMinor = minor;
    o.onboardTraffic = false;
    o.pollGapMs = 1;
    return o;
}

struct Version {
    unsigned major, minor;
};
std::string Name(const ::testing::TestParamInfo<Version>& i) {
    return "V" + std::to_string(i.param.major) + "_" + std::to_string(i.param.minor);
}

// A value for each flag, on for some and off for others, so a mix-up shows.
bool Pattern(char item) {
    return (item * 7) % 3 != 0;
}

int Count(const std::vector<std::string>& v, const std::string& prefix) {
    return static_cast<int>(
        std::count_if(v.begin(), v.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; }));
}
std::string Last(const std::vector<std::string>& v, const std::string& prefix) {
    for (auto it = v.rbegin(); it != v.rend(); ++it)
        if (it->rfind(prefix, 0) == 0)
            return *it;
    return "<none>";
}
bool Knows(const std::string& code, const Version& v) {
    const char* gate = device::DeviceGate(code);
    return gate && device::GatePasses(gate, v.major, v.minor);
}

} // namespace

class EveryCommand : public ::testing::TestWithParam<Version> {};

TEST_P(EveryCommand, SetsAreStoredExactlyAsSentAndQueriesReturnThem) {
    const Version v = GetParam();
    CEngineOnSim e(Options(v.major, v.minor));
    ASSERT_TRUE(e.Started()) << e.sim.Error();
    const int offsetMs = 19;
    const std::string id = "12 mei 2024: bus 7 (depot Noord)";
    const std::string dc[3] = {"&P.1 lijn", "&P.2 start", "&P.3 gp"};

    e.engine->EnterProgramMode();
    e.engine->QueueText(device::SetText('A', id));
    const char dcFlag[3] = {'C', 'B', 'K'};
    const char dcText[3] = {'B', 'C', 'D'};
    for (int i = 0; i < 3; ++i) {
        e.engine->QueueText(device::SetFlag(dcFlag[i], true, "91<"));
        e.engine->QueueText(device::SetText(dcText[i], dc[i], "91<"));
    }
    auto datacallFlag = [](char item) { return item == 'C' || item == 'B' || item == 'K'; };
    for (const auto& f : device::Flags())
        if (f.setGate && f.item != 'E' && !datacallFlag(f.item))
            e.engine->QueueText(device::SetFlag(f.item, Pattern(f.item), f.setGate));
    e.engine->QueueText(device::SetConstant('W', 13, "71>"));
    e.engine->QueueText(device::SetConstant('M', 4, "71>"));
    e.engine->QueueText(device::OffsetSetOld(offsetMs));
    e.engine->QueueText(device::OffsetSetNew(offsetMs));
    e.engine->QueueText(device::SetConstant('S', 2, "71>"));
    // Every query, ungated: the device answers what its version knows.
    std::vector<std::string> queries;
    for (const auto& f : device::Flags())
        queries.push_back(device::QueryCode('F', f.item));
    for (const auto& i : device::InfoItems())
        if (i.item != 'I' && i.item != 'J') // the lines change by themselves
            queries.push_back(device::QueryCode('I', i.item));
    for (const auto& k : device::Constants())
        queries.push_back(device::QueryCode('K', k.item));
    for (const auto& q : queries)
        e.engine->QueueText(q);
    e.engine->LeaveProgramMode(false);
    ASSERT_TRUE(e.RunUntilExit(kRun));

    // The stored configuration is exactly what was sent, where the version lets it in.
    const bool before91 = device::GatePasses("91<", v.major, v.minor);
    DeviceState want = FactoryState(v.major, v.minor);
    want.identifier = id;
    for (const auto& f : device::Flags())
        if (f.setGate && f.item != 'E' && !datacallFlag(f.item) &&
            device::GatePasses(f.setGate, v.major, v.minor))
            want.flags[f.item] = Pattern(f.item);
    for (int i = 0; i < 3; ++i)
        if (before91) {
            want.flags[dcFlag[i]] = true;
            want.datacall[i] = dc[i];
        }
    want.window = 13;
    want.minimal = 4;
    want.offsetDigit = device::OffsetDigit(offsetMs, v.major, v.minor);
    want.stable = 2;
    want.programModeEntries = 1;
    DeviceState got = e.sim.State();
    EXPECT_EQ(got.identifier, want.identifier);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(got.datacall[i], want.datacall[i]) << i;
    EXPECT_EQ(got.flags, want.flags);
    EXPECT_EQ(got.window, 13u);
    EXPECT_EQ(got.minimal, 4u);
    EXPECT_EQ(got.offsetDigit, want.offsetDigit);
    EXPECT_EQ(got.stable, 2u);
    EXPECT_EQ(got, want);

    // Every query the version knows came back with the stored value, once; sets echo it.
    ASSERT_FALSE(e.received.empty());
    EXPECT_EQ(e.received.front().substr(0, 13), "&QPVQ-5 (" + std::string(1, "0123456789ABCDEF"[v.major]) +
                                                    std::string(1, "0123456789ABCDEF"[v.minor]) + ") ");
    EXPECT_EQ(e.received.back(), "&QX");
    for (const auto& q : queries) {
        const std::string prefix = "&Q" + q.substr(2);
        if (!Knows(q, v)) {
            EXPECT_EQ(Count(e.received, prefix), 0) << q;
            continue;
        }
        const std::string reply = Last(e.received, prefix);
        const char cls = q[2], item = q[3];
        if (cls == 'F')
            EXPECT_EQ(reply, prefix + (got.flags[item] ? "1" : "0"));
        else if (cls == 'K')
            EXPECT_EQ(device::ReadConstant(reply).value_or(99), item == 'W'   ? 13u
                                                                : item == 'M' ? 4u
                                                                : item == 'S' ? 2u
                                                                              : want.offsetDigit);
        else if (item == 'A')
            EXPECT_EQ(reply, prefix + id);
        else if (item >= 'B' && item <= 'D')
            EXPECT_EQ(reply, prefix + dc[item - 'B']);
        else if (item == 'F')
            EXPECT_EQ(reply, prefix + "000000000000000000000001");
        else
            EXPECT_FALSE(device::ReadText(reply).value_or("").empty()) << q;
    }
    // The offset survives the round trip in the encoding of the version. (The version as the
    // engine knew it when the reply came: the exit reply has set it back to 0.0 since.)
    const std::string ko = Last(e.received, "&QKO");
    ASSERT_NE(ko, "<none>");
    EXPECT_EQ(e.engine->VersionMajor(), 0u);
    EXPECT_EQ(device::OffsetFromDigit(*device::ReadConstant(ko), v.major, v.minor), offsetMs);
    EXPECT_EQ(e.sim.Counters().repeatsIgnored, 0u);
}

INSTANTIATE_TEST_SUITE_P(Versions, EveryCommand, ::testing::Values(Version{8, 7}, Version{9, 1}), Name);

class Gates : public ::testing::TestWithParam<Version> {};

TEST_P(Gates, GatedCommandsPassOrNotAsTheirGatesSay) {
    const Version v = GetParam();
    CEngineOnSim e(Options(v.major, v.minor));
    ASSERT_TRUE(e.Started()) << e.sim.Error();
    e.engine->EnterProgramMode();
    e.engine->QueueMessage("91<&PIB%s", "dc-gated");
    e.engine->QueueMessage("83>&PFG%d", 1);
    e.engine->QueueMessage("85>&PFL%d", 1);
    e.engine->QueueMessage("87>&PFV%d", 1);
    e.engine->QueueMessage("91>&PFF%d", 1);
    e.engine->QueueMessage("71>&PKW%X", 3);
    e.engine->QueueMessage("%s", "87>91<&PFI");
    e.engine->QueueMessage("%s", "70>&PI<");
    e.engine->QueueMessage("%s", "72>&PKW");
    e.engine->QueueMessage("%s", "80>&PFA");
    e.engine->QueueText(device::OffsetSetOld(22));
    e.engine->QueueText(device::OffsetSetNew(22));
    e.engine->QueueText("&PKO");
    e.engine->LeaveProgramMode(false);
    ASSERT_TRUE(e.RunUntilExit(kRun));

    const auto at = [&](unsigned M, unsigned m) { return v.major > M || (v.major == M && v.minor >= m); };
    const DeviceState s = e.sim.State();
    EXPECT_EQ(s.datacall[0] == "dc-gated", !at(9, 1));
    EXPECT_EQ(s.flags.at('G'), at(8, 3));
    EXPECT_EQ(s.flags.at('L'), at(8, 5));
    EXPECT_EQ(s.flags.at('V'), at(8, 7));
    EXPECT_EQ(s.flags.at('F'), at(9, 1));
    EXPECT_EQ(s.window == 3u, at(7, 1));
    EXPECT_EQ(Count(e.received, "&QFI"), at(8, 7) && !at(9, 1) ? 1 : 0);
    EXPECT_EQ(Count(e.received, "&QI<"), 1);                               // 7.0 and later
    EXPECT_EQ(Count(e.received, "&QKW"), at(7, 2) ? 2 : at(7, 1) ? 1 : 0); // set echo + query
    EXPECT_EQ(Count(e.received, "&QFA"), at(8, 0) ? 1 : 0);
    // Exactly one offset form reached the device; it reads back as 22 ms in either encoding.
    EXPECT_EQ(Count(e.received, "&QKO"), at(7, 1) ? 2 : 0);
    if (at(7, 1)) {
        EXPECT_EQ(s.offsetDigit, at(8, 2) ? 0xCu : 0xEu);
        const std::string ko = Last(e.received, "&QKO");
        EXPECT_EQ(device::OffsetFromDigit(*device::ReadConstant(ko), v.major, v.minor), 22);
    }
    const auto taken = e.sim.Taken();
    EXPECT_EQ(std::count(taken.begin(), taken.end(), at(8, 2) ? "&QKOC" : "&QKOE"), 1);
    EXPECT_EQ(std::count(taken.begin(), taken.end(), at(8, 2) ? "&QKOE" : "&QKOC"), 0);
}

INSTANTIATE_TEST_SUITE_P(Versions, Gates,
                         ::testing::Values(Version{7, 0}, Version{8, 1}, Version{8, 6}, Version{8, 7},
                                           Version{9, 1}),
                         Name);

TEST(EngineSim, TenMsOnAnOldDeviceReadsBackAs26) {
    CEngineOnSim e(Options(8, 1));
    ASSERT_TRUE(e.Started()) << e.sim.Error();
    e.engine->EnterProgramMode();
    e.engine->QueueText(device::OffsetSetOld(10));
    e.engine->QueueText(device::OffsetSetNew(10));
    e.engine->QueueText("&PKO");
    e.engine->LeaveProgramMode(false);
    ASSERT_TRUE(e.RunUntilExit(kRun));
    EXPECT_EQ(Last(e.received, "&QKO"), "&QKO2");
    EXPECT_EQ(device::OffsetFromDigit(2, 8, 1), 26);
}

TEST(EngineSim, FastSpeedIsTakenAfterTheSpeedChangeAndLeftWithX0) {
    CEngineOnSim e(Options(8, 7), 3);
    ASSERT_TRUE(e.Started()) << e.sim.Error();
    e.engine->EnterProgramMode();
    ASSERT_TRUE(
        e.sim.WaitUntil([&](const DeviceState&, const LinkCounters&) { return e.sim.CurrentBaud() == 9600; },
                        std::chrono::seconds(10)));
    e.engine->QueueText("&PIH");
    ASSERT_TRUE(e.WaitReceived("&QIH" + e.sim.State().software, std::chrono::seconds(10)));
    EXPECT_EQ(e.sim.PeerBaud(), 9600); // the PC's port runs at the same speed
    EXPECT_EQ(e.sim.CurrentBaud(), 9600);
    e.engine->LeaveProgramMode(false);
    ASSERT_TRUE(e.RunUntilExit(kRun));
    ASSERT_TRUE(
        e.sim.WaitUntil([&](const DeviceState&, const LinkCounters&) { return e.sim.CurrentBaud() == 1200; },
                        std::chrono::seconds(10)));
    ASSERT_TRUE(e.sim.WaitExchanges(e.sim.Counters().exchanges + 3, std::chrono::seconds(10)));
    EXPECT_EQ(e.sim.PeerBaud(), 1200);
    const auto taken = e.sim.Taken();
    EXPECT_EQ(taken.front(), "$PRG");
    EXPECT_EQ(taken[1], "&QS3");
    EXPECT_EQ(taken.back(), "&QX0");
}

TEST(EngineSim, NoSpeedChangeBefore84) {
    CEngineOnSim e(Options(8, 3), 3);
    ASSERT_TRUE(e.Started()) << e.sim.Error();
    e.engine->EnterProgramMode();
    e.engine->QueueText("&PIH");
    e.engine->LeaveProgramMode(false);
    ASSERT_TRUE(e.RunUntilExit(kRun));
    const auto taken = e.sim.Taken();
    EXPECT_EQ(taken, (std::vector<std::string>{"$PRG", "&QIH", "&QX0"}));
    EXPECT_EQ(e.sim.CurrentBaud(), 1200);
    EXPECT_EQ(e.sim.PeerBaud(), 1200);
}

TEST(EngineSim, FactoryResetRestoresDefaultsAndTheLinkFollowsTheReboot) {
    CEngineOnSim e(Options(8, 7), 3);
    ASSERT_TRUE(e.Started()) << e.sim.Error();
    e.engine->EnterProgramMode();
    e.engine->QueueText("&PIAmine");
    e.engine->QueueText("&PFS1");
    e.engine->LeaveProgramMode(false);
    ASSERT_TRUE(e.RunUntilExit(kRun));
    EXPECT_EQ(e.sim.State().identifier, "mine");
    e.engine->EnterProgramMode();
    for (const auto& c : device::FactoryResetCommands())
        e.engine->QueueText(c);
    e.engine->LeaveProgramMode(true);
    ASSERT_TRUE(e.RunUntilExit(kRun));
    DeviceState s = e.sim.State();
    EXPECT_EQ(s.identifier, "Factory default");
    EXPECT_FALSE(s.flags['S']);
    EXPECT_EQ(s.reboots, 1u);
    EXPECT_EQ(s.configInits, 1u);
    EXPECT_EQ(s.programModeEntries, 2u);
    EXPECT_FALSE(s.programMode);
    // The rebooted device starts again at 1200 baud and the PC follows it after "&PXR",
    // so the link lives on.
    EXPECT_EQ(e.sim.CurrentBaud(), 1200);
    EXPECT_EQ(e.sim.PeerBaud(), 1200);
    e.engine->EnterProgramMode();
    e.engine->QueueText("&PIF");
    e.engine->LeaveProgramMode(false);
    ASSERT_TRUE(e.RunUntilExit(kRun));
    EXPECT_EQ(Last(e.received, "&QIF"), "&QIF000000010000000100000003");
}

TEST(EngineSim, OutsideProgramModeOnlyTheLinesAnswerAndTheOnBoardSideLives) {
    SimOptions o = Options(8, 7);
    o.onboardTraffic = true;
    o.onboardPeriodMs = 50;
    CEngineOnSim e(o);
    ASSERT_TRUE(e.Started()) << e.sim.Error();
    e.engine->QueueText("&PIA");
    e.engine->QueueText("$123/045   10:00 XX");
    e.engine->QueueText("&PIJ");
    e.engine->QueueText("&PII");
    ASSERT_TRUE(e.WaitReceived("?", std::chrono::seconds(10)));
    ASSERT_TRUE(
        e.sim.WaitUntil([](const DeviceState&, const LinkCounters& c) { return c.messagesTaken >= 4; },
                        std::chrono::seconds(10)));
    // Wait for both line replies.
    for (int i = 0; i < 2000 && (Count(e.received, "&QII") == 0 || Count(e.received, "&QIJ") == 0); ++i) {
        Notification n;
        if (e.queue.Wait(n, 10ms) && n.kind == nkReceived)
            e.received.push_back(n.text);
    }
    EXPECT_EQ(Count(e.received, "&QIA"), 0);
    ASSERT_EQ(Count(e.received, "&QII"), 1);
    ASSERT_EQ(Count(e.received, "&QIJ"), 1);
    EXPECT_EQ(Last(e.received, "&QII").size(), 10u);
    const std::string out = Last(e.received, "&QIJ").substr(4);
    ASSERT_EQ(out.size(), 21u);
    auto b = [&](int n) { return out[static_cast<std::size_t>(n + 1)] - '0'; };
    EXPECT_EQ(b(18) + 2 * b(19), 1);
    EXPECT_EQ(b(6) + 2 * b(5) + 4 * b(4) + 8 * b(17), 2);
    EXPECT_EQ(b(10) + 2 * b(9) + 4 * b(8) + 8 * b(7), 3);
    EXPECT_EQ(b(12) + 2 * b(11) + 4 * b(3), 4);
    EXPECT_EQ(b(16) + 2 * b(15) + 4 * b(14) + 8 * b(13), 5);
    EXPECT_EQ(e.sim.State().line, 123);
    EXPECT_EQ(e.sim.State().run, 45);
}

TEST(EngineSim, StateFileShowsWhatAToolWrote) {
    char tmpl[] = "/tmp/vq5stateXXXXXX";
    const std::string dir = mkdtemp(tmpl);
    SimOptions o = Options(8, 7);
    o.stateFile = dir + "/vq5.state";
    {
        std::ofstream seed(o.stateFile);
        seed << "identifier=from the file\nwindow=5\n";
    }
    {
        CEngineOnSim e(o);
        ASSERT_TRUE(e.Started()) << e.sim.Error();
        EXPECT_EQ(e.sim.State().identifier, "from the file");
        EXPECT_EQ(e.sim.State().window, 5u);
        e.engine->EnterProgramMode();
        e.engine->QueueText("&PIAwritten by a tool");
        e.engine->QueueText("71>&PKWC");
        e.engine->LeaveProgramMode(false);
        ASSERT_TRUE(e.RunUntilExit(kRun));
    }
    std::ifstream in(o.stateFile);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("identifier=written by a tool\n"), std::string::npos) << text;
    EXPECT_NE(text.find("window=C\n"), std::string::npos);
    EXPECT_NE(text.find("programModeEntries=1\n"), std::string::npos);
    std::remove(o.stateFile.c_str());
    rmdir(dir.c_str());
}
