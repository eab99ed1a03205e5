// Faults the fuzzers found in code this folder does not own. Each keeps its input in
// fuzz/regressions/<harness>/ and a test that shows the fault directly. They are registered
// disabled while the fault stands (run them with --gtest_also_run_disabled_tests); once the
// code is fixed, drop the DISABLED_ prefix and move the input into fuzz/corpus/<harness>/.
#include "FuzzHarness.h"
#include "MemoryPort.h"

#include "SettingsStore.h"
#include "VLPEngine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using namespace vq5;
using namespace vq5::fuzz;

namespace {

std::vector<std::string> g_Broken;
void Record(const char* harness, const std::string& what) {
    g_Broken.push_back(std::string(harness) + ": " + what);
}

class CSilent : public IUserMessages {
public:
    void Show(const std::string&, const std::string&) override {}
    void Abandon() override {}
    void Reset() override {}
};

} // namespace

// Every saved reproducer, through its harness.
TEST(FuzzRegressions, EveryReproducerKeepsTheRules) {
    std::error_code ec;
    std::size_t ran = 0;
    for (const auto& dir : fs::directory_iterator(VQ5_FUZZ_REGRESSION_DIR, ec)) {
        if (!dir.is_directory())
            continue;
        const HarnessInfo* h = FindHarness(dir.path().filename().string());
        ASSERT_NE(h, nullptr) << dir.path();
        if (!h->entry)
            continue;
        for (const auto& file : fs::directory_iterator(dir.path())) {
            std::ifstream f(file.path(), std::ios::binary);
            std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(f)),
                                            std::istreambuf_iterator<char>());
            g_Broken.clear();
            SetFailureHandler(&Record);
            h->entry(bytes.empty() ? nullptr : bytes.data(), bytes.size());
            SetFailureHandler(nullptr);
            for (const std::string& b : g_Broken)
                ADD_FAILURE() << file.path().filename().string() << ": " << b;
            ++ran;
        }
    }
    EXPECT_GT(ran, 0u);
}

// A read that fails inside an information frame while the link is idle leaves the bytes read
// so far in the frame buffer. The next poll must not send them back to the device as if they
// were a queued message: with nothing queued, the poll is answered with EOT.
TEST(SlaveRegression, AFailedReadInsideAFrameIsNeverSentBack) {
    const unsigned char line[] = {0x01, 0xE1, 0x02, 0x00, 0x03,
                                  'A',  'B',  0x7F, 0x01, // frame broken by a failed read
                                  'P',  0xE1, 0x05,       // poll
                                  0xE1, 0x06};            // ACK (if a frame went out)
    CMemoryStore store;
    CSilent boxes;
    CVLPEngine engine(&store);
    engine.SetUserMessages(&boxes);
    auto port = std::make_unique<CMemoryPort>(EventsFromBytes(line, sizeof line, true), ReadEvent::Timeout);
    CMemoryPort* raw = port.get();
    auto holder = std::make_shared<std::unique_ptr<CMemoryPort>>(std::move(port));
    engine.SetPortFactory([holder]() -> std::unique_ptr<ISerialPort> { return std::move(*holder); });
    engine.m_Run = false; // no worker: pauses return at once

    for (int step = 0; step < 32 && !(raw->Exhausted() && engine.m_State.load() == sIdle); ++step)
        engine.StateEngine();

    // Nothing was queued: the only answer to the poll is EOT (NUL, EOT).
    EXPECT_EQ(raw->Written(), (std::vector<unsigned char>{0x00, 0x04}));
}
