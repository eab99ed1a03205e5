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

#include "EngineOnSim.h"
#include "InfoTable.h"
#include "VLPMsg.h"

#include <cstdio>
#include <deque>
#include <sstream>
#include <thread>

using namespace vq5;
using namespace vq5::bench;

namespace {

// "All info" in expert mode, as the information tool queues it, and how many of its texts pass
// their gates on the 8.7 device of the runs.
std::vector<std::string> AllInfoTexts(std::size_t& passing) {
    std::vector<std::string> texts = information::RequestTexts(information::gAllInfo, true);
    passing = 0;
    for (const std::string& t : texts)
        if (GatesPass(t, 8, 7))
            ++passing;
    return texts;
}

struct WireRun {
    bool ok = false;
    std::string failure;
    double elapsed = 0, pureWire = 0, countedWire = 0;
    std::size_t queued = 0, sent = 0, replies = 0, exchanges = 0, polls = 0, selects = 0;
    std::vector<std::string> replyTexts; // the device's replies, in order
    std::vector<double> pcAnswersUs;     // paced master only: the PC's turnarounds
};

std::size_t FrameBytes(const std::string& text) {
    return 8 + text.size();
}

WireRun RunOnce(int speedIndex) {
    WireRun w;
    const int baud = kSpeedTable[speedIndex];
    sim::SimOptions o;
    o.pace = true;
    o.pollGapMs = 0; // the device polls again as soon as an exchange ends
    o.onboardTraffic = false;
    o.versionMajor = 8;
    o.versionMinor = 7;
    test::CEngineOnSim rig(o, speedIndex);
    if (!rig.Started()) {
        w.failure = "simulator: " + rig.sim.Error();
        return w;
    }
    sim::CSimulator& sim = rig.sim;
    CVLPEngine& engine = *rig.engine;
    CNotifyQueue& notes = rig.queue;

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

    std::size_t expectSent = 0;
    const std::vector<std::string> texts = AllInfoTexts(expectSent);
    w.queued = texts.size();
    const std::size_t taken0 = sim.Taken().size();
    const std::size_t delivered0 = sim.Delivered().size();
    const sim::LinkCounters c0 = sim.Counters();
    const std::int64_t t0 = NowNs();
    for (const std::string& t : texts)
        engine.QueueText(t);
    // Done when every query that passes its gates was taken, nothing waits in the device
    // for the PC, and every reply delivered was received; the end is the last reply's arrival.
    std::size_t received = 0;
    std::int64_t lastAt = 0, t1 = 0;
    const std::int64_t deadline = t0 + 120'000'000'000LL;
    while (NowNs() < deadline && t1 == 0) {
        Notification n;
        if (notes.Wait(n, std::chrono::milliseconds(20)) && n.kind == nkReceived) {
            ++received;
            lastAt = NowNs();
        }
        if (lastAt != 0 && sim.Taken().size() - taken0 >= expectSent && sim.PendingToPc() == 0 &&
            received >= sim.Delivered().size() - delivered0 && notes.Size() == 0)
            t1 = lastAt;
    }
    const sim::LinkCounters c1 = sim.Counters();
    const std::vector<std::string> taken = sim.Taken();
    const std::vector<std::string> delivered = sim.Delivered();
    engine.LeaveProgramMode(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    engine.Stop();
    sim.Stop();
    if (t1 == 0) {
        w.failure = "the replies did not all come: queries taken " + std::to_string(taken.size() - taken0) +
                    " of " + std::to_string(expectSent) + ", replies delivered " +
                    std::to_string(delivered.size() - delivered0) + ", received " + std::to_string(received);
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
    w.replyTexts.assign(delivered.begin() + static_cast<std::ptrdiff_t>(delivered0), delivered.end());
    w.ok = w.sent == expectSent;
    if (!w.ok)
        w.failure = "sent " + std::to_string(w.sent) + " queries, expected " + std::to_string(expectSent);
    return w;
}

// The same sequence against the bench's own paced master instead of the simulator: it paces
// every byte the same way but answers at once (no waits of its own), so what remains off
// the wire is the PC's turnaround and the two threads' wake-ups. It replays the simulator's
// replies, so the bytes on the wire are the same.
WireRun RunPacedMaster(int speedIndex, const std::vector<std::string>& replies) {
    WireRun w;
    const int baud = kSpeedTable[speedIndex];
    CEngineOnPty link;
    std::string error;
    if (!link.Open(error, [](CMemoryStore& store) { store.WriteInt("VLPIO", "FastBaudRate", 0); })) {
        w.failure = error;
        return w;
    }
    CBenchEngine& engine = link.Engine();
    engine.Start();
    CMiniMaster m(link.Master());
    bool up = false;
    for (int i = 0; i < 50 && !up; ++i) {
        up = m.Poll(200).ok;
        if (!up)
            m.Discard();
    }
    // The identification: device letter Q, version 8.7, as the simulator's.
    if (!up || !m.Select("&QPVQ-5 (87) bench", 3000).ok) {
        w.failure = "the engine did not answer";
        return w;
    }
    m.SetPace(baud);
    std::size_t expectSent = 0;
    const std::vector<std::string> texts = AllInfoTexts(expectSent);
    w.queued = texts.size();
    std::size_t bytes = 0;
    std::deque<std::string> toPc;
    bool lastWasSelect = false;
    const double wire0 = m.WireSeconds();
    const std::int64_t t0 = NowNs();
    for (const std::string& t : texts)
        engine.QueueText(t);
    const std::int64_t deadline = t0 + 120'000'000'000LL;
    while ((w.sent < expectSent || !toPc.empty()) && NowNs() < deadline) {
        CMiniMaster::Exchange x;
        ++w.exchanges;
        if (!toPc.empty() && !lastWasSelect) {
            ++w.selects;
            lastWasSelect = true;
            x = m.Select(toPc.front(), 3000);
            if (x.ok) {
                bytes += 3 + 2 + FrameBytes(toPc.front()) + 2;
                ++w.replies;
                toPc.pop_front();
                w.pcAnswersUs.push_back(static_cast<double>(x.answerNs) / 1e3);
                w.pcAnswersUs.push_back(static_cast<double>(x.frameAckNs) / 1e3);
            }
        } else {
            ++w.polls;
            lastWasSelect = false;
            x = m.Poll(3000);
            if (x.ok) {
                w.pcAnswersUs.push_back(static_cast<double>(x.answerNs) / 1e3);
                if (!x.text.empty()) {
                    bytes += 3 + FrameBytes(x.text) + 2 + 2;
                    w.pcAnswersUs.push_back(static_cast<double>(x.eotNs) / 1e3);
                    toPc.push_back(w.sent < replies.size() ? replies[w.sent] : "&QIA" + x.text.substr(4));
                    ++w.sent;
                }
            }
        }
        if (!x.ok)
            m.Discard();
    }
    const std::int64_t t1 = NowNs();
    engine.Stop();
    if (w.sent < expectSent || !toPc.empty()) {
        w.failure = "the sequence did not complete";
        return w;
    }
    w.elapsed = static_cast<double>(t1 - t0) / 1e9;
    w.pureWire = static_cast<double>(bytes) * 10.0 / baud;
    w.countedWire = m.WireSeconds() - wire0;
    w.ok = true;
    return w;
}

bool Print(const WireRun& w) {
    if (!w.ok) {
        std::printf("  FAILED: %s\n", w.failure.c_str());
        return false;
    }
    const double ratio = w.elapsed / w.pureWire;
    std::printf("  queued %zu, sent %zu (%zu held back by their gates), replies %zu\n", w.queued, w.sent,
                w.queued - w.sent, w.replies);
    std::printf("  exchanges %zu (polls %zu, selects %zu); the minimum is %zu\n", w.exchanges, w.polls,
                w.selects, w.sent + w.replies);
    std::printf("  elapsed %.3f s, pure wire time %.3f s, ratio %.4f; bytes counted on the wire %.3f s "
                "(elapsed / counted %.4f)\n",
                w.elapsed, w.pureWire, ratio, w.countedWire, w.elapsed / w.countedWire);
    std::printf("  time off the wire %.1f ms = %.2f ms per exchange\n", (w.elapsed - w.countedWire) * 1e3,
                w.exchanges ? (w.elapsed - w.countedWire) * 1e3 / static_cast<double>(w.exchanges) : 0.0);
    if (!w.pcAnswersUs.empty()) {
        const Summary s = Summarize(w.pcAnswersUs);
        double sum = 0;
        for (double v : w.pcAnswersUs)
            sum += v;
        std::printf("  %s\n", FormatSummary("PC turnarounds", s, "us").c_str());
        std::printf(
            "      their sum %.1f ms = %.1f %% of the time off the wire; pure wire time plus the PC's "
            "turnarounds (a device that answers at once) = %.4f x pure wire time\n",
            sum / 1e3, sum / 1e3 / ((w.elapsed - w.countedWire) * 1e3) * 100.0,
            (w.pureWire + sum / 1e6) / w.pureWire);
    }
    std::printf("  goal <= 1.05 x pure wire time: %s\n", ratio <= 1.05 ? "met" : "MISSED");
    return ratio <= 1.05;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures show as they come, also into a pipe
    std::vector<int> speeds;
    {
        std::stringstream ss(Option(argc, argv, "--speeds", "0,3"));
        std::string item;
        while (std::getline(ss, item, ','))
            if (!item.empty())
                speeds.push_back(std::atoi(item.c_str()));
    }
    const long runs = OptionInt(argc, argv, "--runs", 1);
    std::printf(
        "== Wire efficiency, \"All info\" (expert, 45 queries) on the paced simulator, device 8.7, %s\n",
        MachineText().c_str());
    bool allMet = true;
    for (int index : speeds) {
        if (index < 0 || index > 5)
            continue;
        for (long run = 0; run < runs; ++run) {
            WireRun w = RunOnce(index);
            const std::string label = std::to_string(kSpeedTable[index]) + " baud" +
                                      (runs > 1 ? " run " + std::to_string(run + 1) : std::string());
            std::printf("-- %s, simulated VQ-5\n", label.c_str());
            allMet = Print(w) && allMet;
            if (!w.ok)
                continue;
            WireRun p = RunPacedMaster(index, w.replyTexts);
            std::printf("-- %s, the bench's paced master (answers at once)\n", label.c_str());
            Print(p);
        }
    }
    std::printf("  %s\n", LoadText().c_str());
    return allMet ? 0 : 3;
}
