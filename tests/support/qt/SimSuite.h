// QtTest suites against the simulated device: the main that runs a suite once per device
// profile, and a wait on the line's own pace for checks that nothing happens.
#pragma once

#include "PtyHelpers.h"
#include "SettingsStore.h"
#include "Simulator.h"

#include <QtTest>

#include <cstdio>
#include <memory>
#include <string>

namespace vq5::test {

// Runs a fresh `Suite` per profile, with `profile` set before each run; the failures added up.
template <class Suite> int RunPerProfile(int argc, char** argv, sim::DeviceProfile& profile) {
    int failed = 0;
    for (sim::DeviceProfile p : {sim::DeviceProfile::Default, sim::DeviceProfile::Strict}) {
        profile = p;
        std::printf("device profile: %s\n", sim::ProfileName(p));
        Suite suite;
        failed += QTest::qExec(&suite, argc, argv);
    }
    return failed;
}

// A quiet device for a dialog suite: this version, the letter 'Q', no on-board traffic.
inline sim::SimOptions QuietDevice(unsigned major, unsigned minor, sim::DeviceProfile profile) {
    sim::SimOptions o;
    o.versionMajor = major;
    o.versionMinor = minor;
    o.letter = 'Q';
    o.onboardTraffic = false;
    o.profile = profile;
    return o;
}

// Lets the device exchange `n` more frames with the PC, the events processed meanwhile: a
// check that nothing went out (or came in) waits on the line's pace, not on a fixed time.
inline bool WaitMoreExchanges(const sim::CSimulator& device, unsigned n, int timeoutMs = 10000) {
    const std::uint64_t target = device.Counters().exchanges + n;
    return QTest::qWaitFor([&] { return device.Counters().exchanges >= target; }, timeoutMs);
}

// The settings of a tool that takes the engine's store apart from its own: the tool's sections
// in `tool` (the default store while this lives), the connection to `port` in `engine` with the
// fast speed index (3 is the engine's own default) and the engine's answer time-out.
struct ToolStores {
    CMemoryStore tool;
    CMemoryStore engine;
    explicit ToolStores(const std::string& port, int fastBaud = 3) {
        SetDefaultSettingsStore(&tool);
        ConnectTo(engine, port, fastBaud, 0);
    }
    ToolStores(const ToolStores&) = delete;
    ToolStores& operator=(const ToolStores&) = delete;
    ~ToolStores() { SetDefaultSettingsStore(nullptr); }
};

// A dialog `Dlg` against a simulated device: the settings in `store` (the default store while
// the rig lives), the device started on its own thread or, with `threaded` false, opened for the
// test to step. Torn down in reverse: the dialog (engine stopped, settings written), the device.
template <class Dlg> struct DialogRig {
    CMemoryStore store;
    std::unique_ptr<sim::CSimulator> sim;
    std::unique_ptr<Dlg> dlg;

    bool Open(const sim::SimOptions& options, int fastBaud, bool threaded = true,
              const sim::DeviceState* state = nullptr) {
        sim = std::make_unique<sim::CSimulator>(options);
        if (state)
            sim->SetState(*state);
        const std::string path = threaded ? sim->Start() : sim->Open();
        if (path.empty())
            return false;
        ConnectTo(store, path, fastBaud);
        SetDefaultSettingsStore(&store);
        dlg = std::make_unique<Dlg>();
        return true;
    }
    DialogRig() = default;
    DialogRig(const DialogRig&) = delete;
    DialogRig& operator=(const DialogRig&) = delete;
    ~DialogRig() {
        dlg.reset();
        if (sim)
            sim->Stop();
        SetDefaultSettingsStore(nullptr);
    }
};

} // namespace vq5::test

// main() for a suite run once per device profile; `App` is QApplication or QCoreApplication.
#define VQ5_QTEST_PER_PROFILE(Suite, App, profile)                                                           \
    int main(int argc, char** argv) {                                                                        \
        App app(argc, argv);                                                                                 \
        return vq5::test::RunPerProfile<Suite>(argc, argv, profile);                                         \
    }
