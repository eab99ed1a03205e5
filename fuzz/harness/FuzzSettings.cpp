// Harness of the settings readers: every owner binds its fields to a section over a store
// holding fuzzed values. The values read must be usable, and what is written back must read
// back to the same values.
#include "FuzzHarness.h"
#include "FuzzInput.h"
#include "FuzzSupport.h"

#include "ProfileSection.h"
#include "SettingsStore.h"
#include "VLPEngine.h"

#include <cstring>

#if defined(VQ5_FUZZ_HAVE_PROGRAMMER)
#include "ProgrammerModel.h"
#endif
#if defined(VQ5_FUZZ_HAVE_TRANSPONDER)
#include "TransponderModel.h"
#endif
#if defined(VQ5_FUZZ_HAVE_IO_TESTER)
#include "IoTester.h"
#endif
#if defined(VQ5_FUZZ_HAVE_EMULATOR)
#include "Emulator.h"
#endif

namespace vq5::fuzz {

namespace {

const char* const kSections[] = {"VLPIO", "Settings_V2.3", "VLPLogWnd"};

// Every key an owner binds, so that most fuzzed values land where they are read.
const std::vector<std::string>& Keys() {
    static const std::vector<std::string> keys = [] {
        std::vector<std::string> k = {"ComPort",       "Timeout",     "FastBaudRate", "Reboot",
                                      "Window",        "Minimal",     "Offset",       "Stable",
                                      "ShowInputs",    "ShowOutputs", "LijnNr",       "RunNr",
                                      "AutoIncrement", "LevelMask",   "logWnd_flags", "logWnd_x1"};
#if defined(VQ5_FUZZ_HAVE_PROGRAMMER)
        for (const std::string& key : programmer::AllKeys())
            k.push_back(key);
#endif
        return k;
    }();
    return keys;
}

// Numbers that sit on the edges of the ranges the owners check.
std::string EdgeNumber(std::uint8_t pick) {
    static const char* const edges[] = {"-1",
                                        "0",
                                        "1",
                                        "2",
                                        "3",
                                        "5",
                                        "6",
                                        "7",
                                        "9",
                                        "10",
                                        "15",
                                        "16",
                                        "25",
                                        "26",
                                        "799",
                                        "800",
                                        "999",
                                        "1000",
                                        "60000",
                                        "60001",
                                        "2147483647",
                                        "-2147483648",
                                        "2147483648",
                                        "4294967295",
                                        "4294967296",
                                        "9223372036854775807",
                                        "-9223372036854775808",
                                        "99999999999999999999",
                                        "",
                                        " 7",
                                        "7 ",
                                        "+7",
                                        "0x10",
                                        "1e3"};
    return edges[pick % (sizeof edges / sizeof edges[0])];
}

void FillStore(CFuzzInput& in, CMemoryStore& store) {
    const auto& keys = Keys();
    int records = 0;
    while (!in.Empty() && ++records < 512) {
        const std::uint8_t how = in.Byte();
        const std::string section = how & 0x80 ? in.Text() : kSections[(how & 3) % 3];
        const std::uint8_t keyPick = in.Byte();
        const std::string key = keyPick == 0xFF ? in.Text() : keys[keyPick % keys.size()];
        switch ((how >> 2) & 3) {
        case 0:
            store.WriteString(section, key, EdgeNumber(in.Byte()));
            break;
        case 1: {
            std::int64_t v = 0;
            const std::string raw = in.Bytes(8);
            std::memcpy(&v, raw.data(), raw.size());
            store.WriteInt(section, key, v);
            break;
        }
        default:
            store.WriteString(section, key, in.Text());
            break;
        }
    }
}

void CheckConnection(const char* h, CMemoryStore& store) {
    unsigned timeout = 0;
    int fast = 0;
    std::string port;
    {
        CVLPIO io(&store);
        timeout = io.m_Timeout.load();
        fast = io.m_FastBaudRate.load();
        port = io.m_ComPort;
        VQ5_FUZZ_CHECK(h, timeout >= 1 && timeout <= 60000, "read time-out " + std::to_string(timeout));
        VQ5_FUZZ_CHECK(h, fast >= 0 && fast <= 5, "fast speed index " + std::to_string(fast));
        VQ5_FUZZ_CHECK(h, !io.SetSpeed(6) && !io.SetSpeed(-1), "a speed index outside 0..5 was taken");
    }
    CVLPIO again(&store);
    VQ5_FUZZ_CHECK(h,
                   again.m_Timeout.load() == timeout && again.m_FastBaudRate.load() == fast &&
                       again.m_ComPort == port,
                   "connection settings changed on a write-back");
}

#if defined(VQ5_FUZZ_HAVE_PROGRAMMER)
void CheckProgrammer(const char* h, CMemoryStore& store) {
    namespace prg = vq5::programmer;
    prg::CProgrammerValues first;
    {
        // The section writes the fields back when it goes: it must go before them.
        prg::CProgrammerModel model;
        CProfileSection section("Settings_V2.3", &store);
        model.Bind(section, "01 January 2024: ");
        VQ5_FUZZ_CHECK(h, model.RangeCheck().empty(),
                       "bound values fail the range check: " + model.RangeCheck());
        VQ5_FUZZ_CHECK(h, model.Sanitize().empty(), "values still damaged after binding");
        for (int x : model.m_Values.m_DataCall)
            VQ5_FUZZ_CHECK(h, x >= 0 && x <= 2, "datacall tri-state " + std::to_string(x));
        for (int x : model.m_Values.m_Flag)
            VQ5_FUZZ_CHECK(h, x >= 0 && x <= 2, "flag tri-state " + std::to_string(x));
        std::string error;
        if (auto seq = model.WriteSequence(error))
            for (const std::string& t : seq->texts)
                VQ5_FUZZ_CHECK(h, t.size() <= prg::kMessageLimit,
                               "bound values make a text of " + std::to_string(t.size()));
        first = model.m_Values;
    }
    prg::CProgrammerModel model;
    CProfileSection section("Settings_V2.3", &store);
    model.Bind(section, "02 February 2025: ");
    VQ5_FUZZ_CHECK(h, model.m_Values == first, "programmer settings changed on a write-back");
}
#endif

#if defined(VQ5_FUZZ_HAVE_TRANSPONDER)
void CheckTransponder(const char* h, CMemoryStore& store) {
    int first[5] = {};
    {
        tct::CTransponderModel m;
        CProfileSection section("Settings_V2.3", &store);
        m.Bind(section);
        for (int i = 0; i < tct::kSettingCount; ++i) {
            const auto s = static_cast<tct::Setting>(i);
            const tct::SettingRange r = tct::HeldRangeOf(s);
            VQ5_FUZZ_CHECK(h, m.Value(s) >= r.lo && m.Value(s) <= r.hi,
                           "filter setting out of range after binding");
            (void)m.FrameTitle(s);
        }
        VQ5_FUZZ_CHECK(h, m.m_Minimal <= m.m_Window, "Minimal above Window after binding");
        VQ5_FUZZ_CHECK(h, m.m_Reboot == 0 || m.m_Reboot == 1, "reboot value " + std::to_string(m.m_Reboot));
        const int v[5] = {m.m_Window, m.m_Minimal, m.m_Offset, m.m_Stable, m.m_Reboot};
        std::memcpy(first, v, sizeof v);
    }
    tct::CTransponderModel m;
    CProfileSection section("Settings_V2.3", &store);
    m.Bind(section);
    const int v[5] = {m.m_Window, m.m_Minimal, m.m_Offset, m.m_Stable, m.m_Reboot};
    VQ5_FUZZ_CHECK(h, std::memcmp(first, v, sizeof v) == 0, "filter settings changed on a write-back");
}
#endif

#if defined(VQ5_FUZZ_HAVE_IO_TESTER)
void CheckIoTester(const char*, CMemoryStore& store) {
    io::CVLP engine(&store);
    io::CIoTester tester(engine, &store);
    tester.Begin();
    unsigned char buffer[257] = {};
    for (int i = 0; i < 4; ++i)
        engine.TxMessage(buffer);
}
#endif

#if defined(VQ5_FUZZ_HAVE_EMULATOR)
void CheckEmulator(const char* h, CMemoryStore& store) {
    emu::CVL engine(&store);
    engine.SetClock([] { return emu::ClockTime{23, 59}; });
    emu::CEmulator model(engine, &store);
    model.PushNumbers();
    model.PushAutoIncrement();
    const unsigned char inquiry = '?';
    for (int i = 0; i < 3; ++i) {
        std::memset(engine.m_Data, 0xA5, sizeof engine.m_Data);
        const int n = engine.TxMessage(engine.m_Data);
        VQ5_FUZZ_CHECK(h, n > 0 && n <= 255 && engine.m_Data[n] == 0,
                       "generated message of " + std::to_string(n));
        engine.RxMessage(&inquiry, 1);
    }
    model.PullNumbers();
}
#endif

} // namespace

// Input: records of section, key and value (an edge number, a raw 64-bit number or a text).
int FuzzProfileSettings(const std::uint8_t* data, std::size_t size) {
    static const char* h = "profile_settings";
    CFuzzInput in(data, size);
    CMemoryStore store;
    FillStore(in, store);
    const std::size_t liveBefore = CProfileSection::LiveSections().size();

    CheckConnection(h, store);
#if defined(VQ5_FUZZ_HAVE_PROGRAMMER)
    CheckProgrammer(h, store);
#endif
#if defined(VQ5_FUZZ_HAVE_TRANSPONDER)
    CheckTransponder(h, store);
#endif
#if defined(VQ5_FUZZ_HAVE_IO_TESTER)
    CheckIoTester(h, store);
#endif
#if defined(VQ5_FUZZ_HAVE_EMULATOR)
    CheckEmulator(h, store);
#endif
    VQ5_FUZZ_CHECK(h, CProfileSection::LiveSections().size() == liveBefore, "a section outlived its owner");
    return 0;
}

} // namespace vq5::fuzz
