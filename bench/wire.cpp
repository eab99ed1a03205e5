// Wire efficiency: the information tool's "All info" request (45 queries in expert mode)
// against the simulated VQ-5 with pacing on (every byte takes 10 bit times at the line
// speed), at 1200 and at 9600 baud. The time from queueing the 45 queries to the last reply
// received is compared with the pure wire time of the exchanges they need: for every query
// sent a poll, the query's frame, the device's ACK and the PC's EOT; for every reply a
// select, the PC's ACK, the reply's frame and the PC's ACK. Goal: at most 1.05 times that.
//
//   bench_wire [--speeds 0,3] [--runs 1]
//
// Speed indexes: 0 = 1200 baud, 3 = 9600 baud (the program-mode speed change "84>&PS3" is
// made first and is not part of the measured sequence).
#include "BenchSupport.h"

#include "InfoTable.h"
#include "NotifyQueue.h"
#include "SettingsStore.h"
#include "Simulator.h"
#include "VLPEngine.h"
#include "VLPMsg.h"

#include <cstdio>
#include <sstream>
#include <thread>

using namespace vq5;
using namespace vq5::bench;

namespace {

struct WireRun {
    bool ok = false;
    std::string failure;
    double elapsed = 0, pureWire = 0, countedWire = 0;
    std::size_t queued = 0, sent = 0, replies = 0, exchanges = 0, polls = 0, selects = 0;
};

std::size_t FrameBytes(const std::string& text) { return 8 + text.size(); }

WireRun RunOnce(int speedIndex) {
    WireRun w;
    const int baud = kSpeedTable[speedIndex];
    sim::SimOptions o;
    o.pace = true;
    o.pollGapMs = 0; // the device polls again as soon as an exchange ends
    o.onboardTraffic = false;
    o.versionMajor = 8;
    o.versionMinor = 7;
    sim::CSimulator sim(o);
    const std::string path = sim.Start();
    if (path.empty()) {
        w.failure = "simulator: " + sim.Error();
        return w;
    }
    CMemoryStore store;
    store.WriteString("VLPIO", "ComPort", path);
    store.WriteInt("VLPIO", "FastBaudRate", speedIndex);
    CVLPEngine engine(&store);
    CNotifyQueue notes;
    engine.SetNotifySink(&notes);
    engine.Start();

    // Program mode first (and the speed change), outside the measure.
    engine.EnterProgramMode();
    const std::int64_t ready = NowNs() + 60'000'000'000LL;
    for (;;) {
        Notification n;
        notes.Wait(n, std::chrono::milliseconds(50));
        if (engine.QueueLength() == 0 && sim.CurrentBaud() == baud && engine.CurrentBaud() == baud &&
            sim.PendingToPc() == 0 && sim.Counters().messagesTaken >= 1)
            break;
        if (NowNs() > ready) {
            w.failure = "program mode not reached";
            return w;
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(400)); // replies to "$PRG" delivered
    notes.Clear();

    const std::vector<std::string> texts = information::RequestTexts(information::gAllInfo, true);
    w.queued = texts.size();
    std::size_t expectSent = 0;
    for (const std::string& t : texts)
        if (GatesPass(t, 8, 7))
            ++expectSent;
    const std::size_t taken0 = sim.Taken().size();
    const std::size_t delivered0 = sim.Delivered().size();
    const sim::LinkCounters c0 = sim.Counters();
    const std::int64_t t0 = NowNs();
    for (const std::string& t : texts)
        engine.QueueText(t);
    std::size_t received = 0;
    std::int64_t t1 = 0;
    const std::int64_t deadline = t0 + 300'000'000'000LL;
    while (NowNs() < deadline) {
        Notification n;
        if (!notes.Wait(n, std::chrono::milliseconds(200)) || n.kind != nkReceived)
            continue;
        ++received;
        const std::int64_t at = NowNs();
        if (sim.Taken().size() - taken0 >= expectSent && sim.PendingToPc() == 0 &&
            received >= sim.Delivered().size() - delivered0) {
            t1 = at;
            break;
        }
    }
    const sim::LinkCounters c1 = sim.Counters();
    const std::vector<std::string> taken = sim.Taken();
    const std::vector<std::string> delivered = sim.Delivered();
    engine.LeaveProgramMode(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    engine.Stop();
    sim.Stop();
    if (t1 == 0) {
        w.failure = "the replies did not all come";
        return w;
    }
    std::size_t bytes = 0;
    for (std::size_t i = taken0; i < taken.size(); ++i, ++w.sent)
        bytes += 3 + FrameBytes(taken[i]) + 2 + 2; // poll, frame, ACK, EOT
    for (std::size_t i = delivered0; i < delivered.size(); ++i, ++w.replies)
        bytes += 3 + 2 + FrameBytes(delivered[i]) + 2; // select, ACK, frame, ACK
    w.elapsed = static_cast<double>(t1 - t0) / 1e9;
    w.pureWire = static_cast<double>(bytes) * 10.0 / baud;
    w.countedWire = c1.wireSeconds - c0.wireSeconds;
    w.exchanges = c1.exchanges - c0.exchanges;
    w.polls = c1.polls - c0.polls;
    w.selects = c1.selects - c0.selects;
    w.ok = w.sent == expectSent;
    if (!w.ok)
        w.failure = "sent " + std::to_string(w.sent) + " queries, expected " + std::to_string(expectSent);
    return w;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> speeds;
    {
        std::stringstream ss(Option(argc, argv, "--speeds", "0,3"));
        std::string item;
        while (std::getline(ss, item, ','))
            if (!item.empty())
                speeds.push_back(std::atoi(item.c_str()));
    }
    const long runs = OptionInt(argc, argv, "--runs", 1);
    std::printf("== Wire efficiency, \"All info\" (expert, 45 queries) on the paced simulator, device 8.7, %s\n",
                MachineText().c_str());
    bool allMet = true;
    for (int index : speeds) {
        if (index < 0 || index > 5)
            continue;
        for (long run = 0; run < runs; ++run) {
            WireRun w = RunOnce(index);
            std::printf("-- %d baud%s\n", kSpeedTable[index], runs > 1 ? (" run " + std::to_string(run + 1)).c_str() : "");
            if (!w.ok) {
                std::printf("  FAILED: %s\n", w.failure.c_str());
                allMet = false;
                continue;
            }
            const double ratio = w.elapsed / w.pureWire;
            std::printf("  queued %zu, sent %zu (%zu held back by their gates), replies %zu\n", w.queued, w.sent,
                        w.queued - w.sent, w.replies);
            std::printf("  exchanges %zu (polls %zu, selects %zu); the minimum is %zu\n", w.exchanges, w.polls,
                        w.selects, w.sent + w.replies);
            std::printf("  elapsed %.3f s, pure wire time %.3f s, ratio %.4f; bytes counted by the device %.3f s "
                        "(elapsed / counted %.4f)\n",
                        w.elapsed, w.pureWire, ratio, w.countedWire, w.elapsed / w.countedWire);
            std::printf("  time off the wire %.1f ms = %.2f ms per exchange\n", (w.elapsed - w.countedWire) * 1e3,
                        w.exchanges ? (w.elapsed - w.countedWire) * 1e3 / static_cast<double>(w.exchanges) : 0.0);
            std::printf("  goal <= 1.05 x pure wire time: %s\n", ratio <= 1.05 ? "met" : "MISSED");
            allMet = allMet && ratio <= 1.05;
        }
    }
    std::printf("  %s\n", LoadText().c_str());
    return allMet ? 0 : 3;
}
