// A simulator with no PC on its line waits on the line instead of looking at it over and
// over: it costs next to no CPU, and a PC that comes later is served at once.
#include "PtyHelpers.h"
#include "Simulator.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <thread>

namespace vq5::test {
namespace {

TEST(SimIdle, NoPcCostsNextToNothingAndAPcIsServedLater) {
    sim::SimOptions o; // the on-board side's traffic on, as `vq5 sim` runs by default
    sim::CSimulator device(o);
    const std::string path = device.Start();
    ASSERT_TRUE(device.Running()) << device.Error();
    // The first poll goes unread: from then on the PC counts as away.
    ASSERT_TRUE(device.WaitUntil(
        [](const sim::DeviceState&, const sim::LinkCounters& c) { return c.silences >= 1; }, kLong));
    const double cpu0 = ProcessCpuMs();
    std::this_thread::sleep_for(2s); // the idle span whose CPU is measured
    const double cpuMs = ProcessCpuMs() - cpu0;
    // Looking at the line every millisecond cost about half a core (some 900 ms here).
    EXPECT_LT(cpuMs, 100.0) << "CPU over 2 s idle";

    // A PC that opens the line now is polled within a second.
    CMemoryStore store;
    store.WriteString("VLPIO", "ComPort", path);
    store.WriteInt("VLPIO", "Timeout", 2000);
    CVLPEngine engine(&store);
    CNotifyQueue queue;
    engine.SetNotifySink(&queue);
    engine.Start();
    Notification n;
    EXPECT_TRUE(queue.WaitFor(nkLinkStatus, lsConnected, kLong, &n));
    engine.Stop();
    engine.SetNotifySink(nullptr);
    device.Stop();
}

} // namespace
} // namespace vq5::test
