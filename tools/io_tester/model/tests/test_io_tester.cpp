// The I/O tester's model: settings, lamp states, reply handling and the queued sequences.
#include "IoTester.h"

#include "CommandSet.h"
#include "MessageDrain.h"
#include "SettingsStore.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <vector>

using namespace vq5;
using namespace vq5::io;

namespace {

struct IoSettings : ::testing::Test {
    CMemoryStore store;

    static std::vector<std::string> Drain(CVLP& e) {
        // Polls off, so only queued texts come out; held-back texts give "".
        const bool in = e.m_PollInputs, out = e.m_PollOutputs;
        e.m_PollInputs = false;
        e.m_PollOutputs = false;
        std::vector<std::string> v = vq5::test::DrainTexts(e, true);
        e.m_PollInputs = in;
        e.m_PollOutputs = out;
        return v;
    }
    static void Receive(CVLP& e, const std::string& text) {
        e.RxMessage(reinterpret_cast<const unsigned char*>(text.data()), static_cast<unsigned>(text.size()));
    }
    static std::string Outputs(std::initializer_list<int> high) {
        std::string v(kOutputCount, '0');
        for (int n : high)
            v[TIndex(n)] = '1';
        return v;
    }
    // The lamps' states in order: the inputs, or with `outputs` the outputs.
    static std::vector<LampState> Lamps(const CIoTester& m, bool outputs) {
        std::vector<LampState> v;
        for (std::size_t i = 0; i < (outputs ? kOutputCount : kInputCount); ++i)
            v.push_back(outputs ? m.OutputLamp(i) : m.InputLamp(i));
        return v;
    }
    static std::vector<LampState> InputStates(const CIoTester& m) { return Lamps(m, false); }
    static std::vector<LampState> OutputStates(const CIoTester& m) { return Lamps(m, true); }
};

// A model on the engine, both made on the store as it starts (empty).
struct IoModel : IoSettings {
    CVLP e{&store};
    CIoTester m{e, &store};
};

constexpr auto A = LampState::Active;
constexpr auto I = LampState::Inactive;
constexpr auto D = LampState::Disabled;

TEST_F(IoSettings, DefaultsAndWriteBack) {
    {
        CVLP e(&store);
        CIoTester m(e, &store);
        EXPECT_TRUE(m.ShowInputs());
        EXPECT_FALSE(m.ShowOutputs());
        m.SetShowInputs(false);
        m.SetShowOutputs(true);
        EXPECT_FALSE(store.Has("Settings_V2.3", "ShowInputs")) << "written only at destruction";
    }
    EXPECT_EQ(store.ReadInt("Settings_V2.3", "ShowInputs"), 0);
    EXPECT_EQ(store.ReadInt("Settings_V2.3", "ShowOutputs"), 1);
    CVLP e(&store);
    CIoTester m(e, &store);
    EXPECT_FALSE(m.ShowInputs());
    EXPECT_TRUE(m.ShowOutputs());
}

TEST_F(IoSettings, DamagedSettingTakesTheDefault) {
    store.WriteString("Settings_V2.3", "ShowInputs", "yes please");
    CVLP e(&store);
    CIoTester m(e, &store);
    EXPECT_TRUE(m.ShowInputs());
}

TEST_F(IoModel, LampsStartActiveAndNumbersShowTheirTemplates) {
    EXPECT_EQ(InputStates(m), std::vector<LampState>(kInputCount, A));
    EXPECT_EQ(OutputStates(m), std::vector<LampState>(kOutputCount, A));
    EXPECT_EQ(m.LineText(), "LijnNr = xxx");
    EXPECT_EQ(m.RunText(), "RunNr = xx");
}

TEST_F(IoSettings, BeginEntersProgramModeAndAppliesTheCheckBoxes) {
    store.WriteInt("VLPIO", "FastBaudRate", 3);
    CVLP e(&store);
    CIoTester m(e, &store);
    m.Begin();
    EXPECT_TRUE(e.m_PollInputs.load());
    EXPECT_FALSE(e.m_PollOutputs.load());
    EXPECT_EQ(OutputStates(m), std::vector<LampState>(kOutputCount, D));
    EXPECT_EQ(InputStates(m), std::vector<LampState>(kInputCount, A));
    // Version 0.0: the speed change is held back by its gate ("").
    EXPECT_EQ(Drain(e), (std::vector<std::string>{"$PRG", ""}));
}

TEST_F(IoModel, BothOffDisablesEverythingAndStopsThePolls) {
    m.SetShowInputs(false);
    m.SetShowOutputs(false);
    EXPECT_FALSE(e.m_PollInputs.load());
    EXPECT_FALSE(e.m_PollOutputs.load());
    EXPECT_EQ(InputStates(m), std::vector<LampState>(kInputCount, D));
    EXPECT_EQ(OutputStates(m), std::vector<LampState>(kOutputCount, D));
    unsigned char buf[257] = {};
    EXPECT_EQ(e.TxMessage(buf), 0);
}

TEST_F(IoModel, InputsAllZeroAndAllOne) {
    EXPECT_EQ(m.HandleReceived("&PII000000"), CIoTester::kInputs);
    EXPECT_EQ(InputStates(m), (std::vector<LampState>{I, I, I, I, I, A}));
    EXPECT_EQ(m.HandleReceived("&PII111111"), CIoTester::kInputs);
    EXPECT_EQ(InputStates(m), (std::vector<LampState>{A, A, A, A, A, I}));
    EXPECT_EQ(m.LastInputs(), "111111");
}

TEST_F(IoModel, OutputsAllZero) {
    m.SetShowOutputs(true);
    EXPECT_EQ(m.HandleReceived("&PIJ" + std::string(21, '0')), CIoTester::kOutputs);
    EXPECT_EQ(m.OutputLamp(0), A) << "Status led is inverted";
    for (std::size_t i = 1; i < kOutputCount; ++i)
        EXPECT_EQ(m.OutputLamp(i), I) << i;
    EXPECT_EQ(m.LineText(), "LijnNr = 000");
    EXPECT_EQ(m.RunText(), "RunNr = 00");
}

TEST_F(IoModel, OutputsNumbers) {
    m.SetShowOutputs(true);
    m.HandleReceived("&PIJ" + Outputs({7, 8, 9, 10}));
    EXPECT_EQ(m.LineText(), "LijnNr = 00?");
    m.HandleReceived("&PIJ" + Outputs({3, 11, 12, 18, 19}));
    EXPECT_EQ(m.LineText(), "LijnNr = 300");
    EXPECT_EQ(m.RunText(), "RunNr = 70");
    EXPECT_EQ(m.OutputLamp(TIndex(3)), A);
    EXPECT_EQ(m.OutputLamp(TIndex(4)), I);
    m.HandleReceived("&PIJ" + EncodeOutputs(123, 45, true, true));
    EXPECT_EQ(m.LineText(), "LijnNr = 123");
    EXPECT_EQ(m.RunText(), "RunNr = 45");
    EXPECT_EQ(m.OutputLamp(0), I);
    EXPECT_EQ(m.OutputLamp(1), A);
}

TEST_F(IoModel, OnlyOutputsShownIgnoresInputReplies) {
    m.SetShowInputs(false);
    m.SetShowOutputs(true);
    EXPECT_EQ(m.HandleReceived("&PII111111"), CIoTester::kNothing);
    EXPECT_EQ(InputStates(m), (std::vector<LampState>{D, D, D, D, D, D}));
}

TEST_F(IoModel, ReEnablingShowsActiveUntilTheNextReply) {
    m.HandleReceived("&PII000000");
    m.SetShowInputs(false);
    m.SetShowInputs(true);
    EXPECT_EQ(InputStates(m), (std::vector<LampState>{A, A, A, A, A, A}));
    m.HandleReceived("&PII000000");
    EXPECT_EQ(InputStates(m), (std::vector<LampState>{I, I, I, I, I, A}));
}

TEST_F(IoModel, RepliesAreMatchedWithTheDevicesLetter) {
    Receive(e, "&QPVQ-5 (87) bench");
    EXPECT_EQ(m.HandleReceived("&PII111111"), CIoTester::kNothing);
    EXPECT_EQ(m.HandleReceived("&QII000000"), CIoTester::kInputs);
    EXPECT_EQ(InputStates(m), (std::vector<LampState>{I, I, I, I, I, A}));
}

TEST_F(IoModel, OtherTextsAreDropped) {
    m.SetShowOutputs(true);
    for (const char* t : {"", "&", "&PI", "&PIA hello", "$PRG", "&PX", "&PPVQ-5 (87)", "&PIK111111"})
        EXPECT_EQ(m.HandleReceived(t), CIoTester::kNothing) << t;
    EXPECT_EQ(InputStates(m), (std::vector<LampState>{A, A, A, A, A, A}));
    EXPECT_EQ(m.LineText(), "LijnNr = xxx");
}

TEST_F(IoModel, ShortRepliesChangeOnlyWhatTheyCarry) {
    m.SetShowOutputs(true);
    m.HandleReceived("&PII000000");
    EXPECT_EQ(m.HandleReceived("&PII11"), CIoTester::kInputs);
    EXPECT_EQ(InputStates(m), (std::vector<LampState>{A, A, I, I, I, A}));
    EXPECT_EQ(m.HandleReceived("&PII"), CIoTester::kInputs);
    EXPECT_EQ(InputStates(m), (std::vector<LampState>{A, A, I, I, I, A}));

    m.HandleReceived("&PIJ" + std::string(21, '0'));
    EXPECT_EQ(m.HandleReceived("&PIJ01" + std::string(8, '1')), CIoTester::kOutputs); // up to T8
    EXPECT_EQ(m.OutputLamp(0), A);
    EXPECT_EQ(m.OutputLamp(1), A);
    EXPECT_EQ(m.OutputLamp(TIndex(8)), A);
    EXPECT_EQ(m.OutputLamp(TIndex(9)), I) << "beyond the reply: kept";
    EXPECT_EQ(m.LineText(), "LijnNr = ---");
    EXPECT_EQ(m.RunText(), "RunNr = --");
}

TEST_F(IoModel, LongRepliesReadOnlyTheirLayout) {
    m.SetShowOutputs(true);
    const std::string tail(200, '1');
    EXPECT_EQ(m.HandleReceived("&PII000000" + tail), CIoTester::kInputs);
    EXPECT_EQ(m.LastInputs(), "000000");
    EXPECT_EQ(m.HandleReceived("&PIJ" + std::string(21, '0') + tail), CIoTester::kOutputs);
    EXPECT_EQ(m.LineText(), "LijnNr = 000");
    EXPECT_EQ(m.LastOutputs().size(), 21u);
}

TEST_F(IoSettings, ConnectAndDisconnect) {
    store.WriteInt("VLPIO", "FastBaudRate", 3);
    CVLP e(&store);
    CIoTester m(e, &store);
    Receive(e, "&QPVQ-5 (87) bench");
    m.Connect();
    EXPECT_EQ(Drain(e), (std::vector<std::string>{"$PRG", "&QS3"}));
    m.Disconnect();
    EXPECT_EQ(Drain(e), (std::vector<std::string>{"&QX0"}));
}

TEST_F(IoSettings, DisconnectWithoutFastSpeed) {
    store.WriteInt("VLPIO", "FastBaudRate", 0);
    CVLP e(&store);
    CIoTester m(e, &store);
    m.Disconnect();
    EXPECT_EQ(Drain(e), (std::vector<std::string>{"&PX"}));
}

TEST_F(IoModel, PresetsDoNothingOutsideExpertMode) {
    EXPECT_TRUE(m.Tram().empty());
    EXPECT_TRUE(m.Bus().empty());
    EXPECT_EQ(e.QueueLength(), 0u);
}

TEST_F(IoSettings, PresetsByVersion) {
    struct Row {
        const char* ident;
        std::vector<std::string> tram, bus;
    };
    const Row rows[] = {
        {nullptr, {"", "&PKO0", ""}, {"", "&PKOE", ""}},                  // 0.0
        {"&PPVQ-5 (81)", {"", "&PKO0", ""}, {"", "&PKOE", ""}},           // 8.1
        {"&PPVQ-5 (82)", {"", "", "&PKO5"}, {"", "", "&PKOC"}},           // 8.2
        {"&QPVQ-5 (83)", {"&QFG1", "", "&QKO5"}, {"&QFG0", "", "&QKOC"}}, // 8.3
        {"&PPVQ-5 (91)", {"&PFG1", "", "&PKO5"}, {"&PFG0", "", "&PKOC"}}, // 9.1
    };
    for (const Row& r : rows) {
        CVLP e(&store);
        CIoTester m(e, &store);
        m.SetExpert(true);
        if (r.ident)
            Receive(e, r.ident);
        EXPECT_EQ(m.Tram(), device::TramPreset());
        EXPECT_EQ(Drain(e), r.tram) << (r.ident ? r.ident : "0.0");
        EXPECT_EQ(m.Bus(), device::BusPreset());
        EXPECT_EQ(Drain(e), r.bus) << (r.ident ? r.ident : "0.0");
    }
}

TEST(IoExpert, MarkerFileNamedAfterTheProgram) {
    char tmpl[] = "/tmp/vq5io-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    EXPECT_FALSE(ExpertMarkerExists("VQ5WTest", dir));
    std::ofstream(dir + "/VQ5WInfo.Lumark") << "x";
    EXPECT_FALSE(ExpertMarkerExists("VQ5WTest", dir));
    std::ofstream(dir + "/VQ5WTest.Lumark");
    EXPECT_TRUE(ExpertMarkerExists("VQ5WTest", dir));
    std::filesystem::remove_all(dir);
    EXPECT_FALSE(ExpertMarkerExists("VQ5WTest", dir));
}

} // namespace
