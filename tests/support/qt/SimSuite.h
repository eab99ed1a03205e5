// QtTest suites against the simulated device: the main that runs a suite once per device
// profile, and a wait on the line's own pace for checks that nothing happens.
#pragma once

#include "SettingsStore.h"
#include "Simulator.h"

#include <QtTest>

#include <cstdio>

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

// Points the engine's connection settings at `port` with the fast speed index and, when
// `timeoutMs` is above zero, the answer time-out.
inline void ConnectTo(ISettingsStore& store, const std::string& port, int fastBaud, int timeoutMs = 500) {
    store.WriteString("VLPIO", "ComPort", port);
    store.WriteInt("VLPIO", "FastBaudRate", fastBaud);
    if (timeoutMs > 0)
        store.WriteInt("VLPIO", "Timeout", timeoutMs);
}

// Lets the device exchange `n` more frames with the PC, the events processed meanwhile: a
// check that nothing went out (or came in) waits on the line's pace, not on a fixed time.
inline bool WaitMoreExchanges(const sim::CSimulator& device, unsigned n, int timeoutMs = 10000) {
    const std::uint64_t target = device.Counters().exchanges + n;
    return QTest::qWaitFor([&] { return device.Counters().exchanges >= target; }, timeoutMs);
}

} // namespace vq5::test

// main() for a suite run once per device profile; `App` is QApplication or QCoreApplication.
#define VQ5_QTEST_PER_PROFILE(Suite, App, profile)                                                           \
    int main(int argc, char** argv) {                                                                        \
        App app(argc, argv);                                                                                 \
        return vq5::test::RunPerProfile<Suite>(argc, argv, profile);                                         \
    }
