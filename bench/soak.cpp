// bench_soak: the protocol engine against the simulated VQ-5 on a faulty line, for a long run.
//
// The device damages, drops or inserts a share of the bytes it sends, answers late now and
// then, stays silent for a turn and refuses good frames with NAK. The PC enters program mode
// and sets the identifier again and again, each time with a text of its own; the device
// echoes every set. At the end every text the PC queued must have reached the device exactly
// once and in order, every reply of the device must have reached the PC exactly once and in
// order, and the link must be back to Connected.
//
//   bench_soak [--exchanges N] [--faults LIST] [--seed N] [--timeout MS] [--quiet]
//
// Prints one summary line (exchanges, messages, retries, NAKs, lost, duplicated) and ends
// with 0 when nothing was lost, duplicated or reordered, 1 otherwise, 2 on bad arguments.
#include "EngineOnSim.h"

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace vq5;
using Clock = std::chrono::steady_clock;

namespace {

// The engine of a tool, counting the information frames it sends and the NAKs it gives from
// the state engine's own step trace (which it is handed whether or not a log is open).
class CCountingEngine : public CVLPEngine {
public:
    using CVLPEngine::CVLPEngine;
    ~CCountingEngine() override { Stop(); }

    void Trace(int level, const char* format, ...) override {
        (void)level;
        if (std::strcmp(format, "CVLPSlave::StateEngine(), State=%s") != 0)
            return;
        va_list args;
        va_start(args, format);
        const char* state = va_arg(args, const char*);
        va_end(args);
        if (std::strcmp(state, "sTxDo") == 0)
            ++m_InfoFramesSent;
        else if (std::strcmp(state, "sRxNOk") == 0)
            ++m_NaksSent;
    }

    int TxMessage(unsigned char* buffer) override {
        int n = CVLPEngine::TxMessage(buffer);
        if (n > 0)
            ++m_MessagesTaken;
        return n;
    }

    std::atomic<unsigned long long> m_InfoFramesSent{0};
    std::atomic<unsigned long long> m_NaksSent{0};
    std::atomic<unsigned long long> m_MessagesTaken{0};
};

struct Options {
    unsigned long long exchanges = 10000;
    std::string faults = "bytes=0.05,late=0.01,silent=0.01,nak=0.01";
    unsigned long long seed = 20240601;
    unsigned timeoutMs = 2000;
    bool quiet = false;
};

bool ParseNumber(const char* text, unsigned long long& out) {
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != 0 || text[0] == '-')
        return false;
    out = v;
    return true;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_soak [--exchanges N] [--faults LIST] [--seed N] [--timeout MS] [--quiet]\n"
                 "  LIST as the simulator takes it, default bytes=0.05,late=0.01,silent=0.01,nak=0.01\n");
    return 2;
}

// The device letter of a text queued before the identification is 'P'; the device takes both.
std::string WithLetter(std::string text, char letter) {
    if (text.size() >= 2 && text[0] == '&')
        text[1] = letter;
    return text;
}

// Counts how `got` differs from `want` (every text of want is unique): texts of want that never
// came, texts that came more than once, and whether what came is want in its order.
struct Comparison {
    unsigned long long lost = 0;
    unsigned long long duplicated = 0;
    unsigned long long unexpected = 0;
    bool inOrder = true;
};

Comparison Compare(const std::vector<std::string>& want, const std::vector<std::string>& got) {
    Comparison c;
    std::map<std::string, unsigned> seen;
    for (const auto& g : got)
        ++seen[g];
    std::map<std::string, unsigned> wanted;
    for (const auto& w : want)
        ++wanted[w];
    for (const auto& [text, n] : wanted) {
        auto it = seen.find(text);
        unsigned have = it == seen.end() ? 0 : it->second;
        if (have < n)
            c.lost += n - have;
        else if (have > n)
            c.duplicated += have - n;
    }
    for (const auto& [text, n] : seen)
        if (!wanted.count(text))
            c.unexpected += n;
    c.inOrder = want == got;
    return c;
}

} // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        unsigned long long n = 0;
        if (a == "--exchanges" && ParseNumber(value, n) && n > 0) {
            opt.exchanges = n;
            ++i;
        } else if (a == "--faults" && value) {
            opt.faults = value;
            ++i;
        } else if (a == "--seed" && ParseNumber(value, n)) {
            opt.seed = n;
            ++i;
        } else if (a == "--timeout" && ParseNumber(value, n) && n >= 200 && n <= 6000) {
            opt.timeoutMs = static_cast<unsigned>(n);
            ++i;
        } else if (a == "--quiet") {
            opt.quiet = true;
        } else {
            return Usage();
        }
    }

    sim::SimOptions so;
    so.onboardTraffic = false;
    so.pollGapMs = 1;
    so.answerTimeoutMs = 100;
    so.faults = opt.faults;
    so.seed = opt.seed;
    test::CEngineOnSim rig(so, 0, opt.timeoutMs,
                           [](CMemoryStore* store) { return std::make_unique<CCountingEngine>(store); });
    if (!rig.Started()) {
        std::fprintf(stderr, "bench_soak: the simulated device did not start: %s\n", rig.sim.Error().c_str());
        return 2;
    }
    sim::CSimulator& device = rig.sim;
    auto& engine = static_cast<CCountingEngine&>(*rig.engine);
    const std::vector<std::string>& received = rig.received;

    const auto started = Clock::now();
    std::vector<std::string> sent = {"$PRG"};

    engine.EnterProgramMode();
    char text[32];
    unsigned messages = 0;
    unsigned long long lastShown = 0;
    // Sets of the identifier until the line has seen enough exchanges; the queue is kept short
    // so that the run ends soon after the count is reached.
    const auto deadline = started + std::chrono::hours(4);
    while (device.Counters().exchanges < opt.exchanges && Clock::now() < deadline) {
        if (engine.QueueLength() < 4) {
            for (int k = 0; k < 8; ++k, ++messages) {
                std::snprintf(text, sizeof text, "&PIAsoak-%06u", messages);
                engine.QueueText(text);
                sent.push_back(WithLetter(text, 'Q'));
            }
        }
        Notification n;
        while (rig.queue.TryTake(n))
            rig.Take(n);
        device.WaitExchanges(device.Counters().exchanges + 1, std::chrono::seconds(5));
        const unsigned long long x = device.Counters().exchanges;
        if (!opt.quiet && x >= lastShown + 1000) {
            lastShown = x - x % 1000;
            std::fprintf(stderr, "bench_soak: %llu exchanges, %.0f s\n", x,
                         std::chrono::duration<double>(Clock::now() - started).count());
        }
    }
    engine.LeaveProgramMode(false);
    sent.push_back("&QX");

    // The exit's reply ends the sequence.
    if (!rig.exitSeen)
        rig.RunUntilExit(std::chrono::minutes(10));
    // The engine has the last reply a moment before the device sees its ACK.
    device.WaitUntil([&](const sim::DeviceState&,
                         const sim::LinkCounters& c) { return c.messagesDelivered >= received.size(); },
                     std::chrono::seconds(30));
    // The link comes back to Connected once the line is quiet of faults for a few exchanges.
    int status = engine.m_Status.load();
    for (int i = 0; i < 400 && status != lsConnected; ++i) {
        device.WaitExchanges(device.Counters().exchanges + 1, std::chrono::seconds(5));
        status = engine.m_Status.load();
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const sim::LinkCounters c = device.Counters();

    std::vector<std::string> taken;
    for (const auto& t : device.Taken())
        taken.push_back(WithLetter(t, 'Q'));
    // The replies: the identification, one echo per set, the exit.
    std::vector<std::string> expectedReplies = {"&QPVQ-5 (87) VQ-5 simulator"};
    for (unsigned i = 0; i < messages; ++i) {
        std::snprintf(text, sizeof text, "&QIAsoak-%06u", i);
        expectedReplies.push_back(text);
    }
    expectedReplies.push_back("&QX");

    const Comparison out = Compare(sent, taken);
    const Comparison in = Compare(expectedReplies, received);
    const std::vector<std::string> delivered = device.Delivered();
    const bool deviceAgrees = delivered == received;

    const unsigned long long pcFrames = engine.m_InfoFramesSent.load();
    const unsigned long long pcMessages = engine.m_MessagesTaken.load();
    const unsigned long long pcRetries = pcFrames > pcMessages ? pcFrames - pcMessages : 0;
    const unsigned long long deviceRetries =
        c.framesSent > c.messagesDelivered ? c.framesSent - c.messagesDelivered : 0;
    const unsigned long long naksByPc = engine.m_NaksSent.load();
    const unsigned long long naksByDevice = c.naksSent;
    const unsigned long long lost = out.lost + in.lost;
    const unsigned long long duplicated = out.duplicated + in.duplicated;
    int errors = 0;
    for (int s : rig.statuses)
        errors += s == lsError;

    std::printf(
        "soak: %llu exchanges, %zu messages sent, %zu replies received, retries %llu (PC %llu, device %llu), "
        "NAKs %llu (PC %llu, device %llu), lost %llu, duplicated %llu, %s, link %s, %.1f s\n",
        static_cast<unsigned long long>(c.exchanges), sent.size(), received.size(), pcRetries + deviceRetries,
        pcRetries, deviceRetries, naksByPc + naksByDevice, naksByPc, naksByDevice, lost, duplicated,
        out.inOrder && in.inOrder ? "in order" : "OUT OF ORDER", LinkStatusName(status), seconds);
    std::printf(
        "soak: faults %s (seed %llu): %llu injected, %llu silences, %llu repeats recognised by the device, "
        "%d Error statuses on the way, engine read time-out %u ms\n",
        opt.faults.c_str(), opt.seed, static_cast<unsigned long long>(c.faultsInjected),
        static_cast<unsigned long long>(c.silences), static_cast<unsigned long long>(c.repeatsIgnored),
        errors, opt.timeoutMs);
    if (out.unexpected || in.unexpected)
        std::printf("soak: %llu texts came that were never sent\n", out.unexpected + in.unexpected);
    if (!deviceAgrees)
        std::printf("soak: the replies the PC received differ from those the device saw acknowledged\n");
    std::fflush(stdout);

    const bool good = rig.exitSeen && lost == 0 && duplicated == 0 && out.unexpected == 0 &&
                      in.unexpected == 0 && out.inOrder && in.inOrder && deviceAgrees &&
                      status == lsConnected && c.exchanges >= opt.exchanges;
    return good ? 0 : 1;
}
