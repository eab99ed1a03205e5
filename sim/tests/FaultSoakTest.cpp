// The engine against the simulated device on a faulty line: every message crosses exactly
// once in each direction, and the link comes back to Connected.
#include "EngineOnSim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>

using namespace vq5;
using namespace vq5::sim;
using vq5::test::CEngineOnSim;

namespace {

// The device letter of a text the PC sent before it knew the letter is 'P'; the device takes both.
std::string WithLetter(std::string text, char letter) {
    if (text.size() >= 2 && text[0] == '&')
        text[1] = letter;
    return text;
}

struct SoakResult {
    std::uint64_t exchanges = 0;
    double byteFaultShare = 0;
};

SoakResult Soak(const std::string& faults, std::uint64_t minExchanges, int fastIndex, std::uint64_t seed) {
    SimOptions o;
    o.onboardTraffic = false;
    o.pollGapMs = 1;
    // The device waits for an answer only once the PC has read what it sent, so a short
    // time-out is enough here; it keeps the run short.
    o.answerTimeoutMs = 80;
    o.faults = faults;
    o.seed = seed;
    if (std::getenv("VQ5_SOAK_LOG")) {
        o.log = true;
        static FILE* logFile = std::fopen(std::getenv("VQ5_SOAK_LOG"), "w");
        o.logSink = [](const std::string& line) {
            std::fprintf(logFile, "%s\n", line.c_str());
            std::fflush(logFile);
        };
    }
    CEngineOnSim e(o, fastIndex);
    if (!e.Started()) {
        ADD_FAILURE() << "the simulated device did not start: " << e.sim.Error();
        return {};
    }

    std::vector<std::string> sent = {"$PRG"};
    e.engine->EnterProgramMode();
    if (fastIndex > 0)
        sent.push_back("&QS" + std::to_string(fastIndex));
    // Sets of the identifier, each with its own text, until the line has seen enough exchanges.
    char text[32];
    int messages = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(900);
    while (e.sim.Counters().exchanges < minExchanges && std::chrono::steady_clock::now() < deadline) {
        if (e.engine->QueueLength() < 4) {
            for (int k = 0; k < 8; ++k, ++messages) {
                std::snprintf(text, sizeof text, "&PIAmsg-%04d", messages);
                e.engine->QueueText(text);
                sent.push_back(WithLetter(text, 'Q'));
            }
        }
        e.sim.WaitExchanges(e.sim.Counters().exchanges + 1, std::chrono::seconds(5));
    }
    e.engine->LeaveProgramMode(false);
    sent.push_back(fastIndex > 0 ? "&QX0" : "&QX");
    EXPECT_TRUE(e.RunUntilExit(std::chrono::seconds(900))) << "the sequence did not end";

    // Every queued message reached the device exactly once, in order.
    std::vector<std::string> taken;
    for (const auto& t : e.sim.Taken())
        taken.push_back(WithLetter(t, 'Q'));
    EXPECT_EQ(taken, sent);

    // Every reply reached the engine exactly once, in order: the identification, one echo
    // per set, the exit.
    // The engine has the last reply a moment before the device sees its ACK.
    EXPECT_TRUE(e.sim.WaitUntil(
        [&](const DeviceState&, const LinkCounters& c) { return c.messagesDelivered >= e.received.size(); },
        std::chrono::seconds(30)));
    const auto delivered = e.sim.Delivered();
    EXPECT_EQ(e.received, delivered);
    for (std::size_t i = 0; i < std::max(e.received.size(), delivered.size()); ++i) {
        const std::string a = i < e.received.size() ? e.received[i] : "<end>";
        const std::string b = i < delivered.size() ? delivered[i] : "<end>";
        if (a != b) {
            std::string around;
            for (std::size_t k = i >= 3 ? i - 3 : 0; k < i + 4; ++k)
                around += "\n  " + std::to_string(k) + ": " +
                          (k < e.received.size() ? e.received[k] : "<end>") + " | " +
                          (k < delivered.size() ? delivered[k] : "<end>");
            ADD_FAILURE() << "first difference at " << i << " (engine | device), sizes " << e.received.size()
                          << " | " << delivered.size() << around;
            break;
        }
    }
    EXPECT_EQ(e.received.size(), static_cast<std::size_t>(messages) + 2);
    if (e.received.size() != static_cast<std::size_t>(messages) + 2)
        return {};
    EXPECT_EQ(e.received.front(), "&QPVQ-5 (87) VQ-5 simulator");
    for (int i = 0; i < messages; ++i) {
        std::snprintf(text, sizeof text, "&QIAmsg-%04d", i);
        EXPECT_EQ(e.received[static_cast<std::size_t>(i) + 1], text);
    }
    EXPECT_EQ(e.received.back(), "&QX");
    EXPECT_EQ(e.sim.State().identifier, WithLetter(sent[sent.size() - 2], 'Q').substr(4));

    // The link comes back to Connected once the line is good again.
    const LinkCounters c = e.sim.Counters();
    EXPECT_TRUE(e.sim.WaitExchanges(c.exchanges + 20, std::chrono::seconds(60)));
    for (int i = 0; i < 200 && e.engine->m_Status.load() != lsConnected; ++i)
        e.sim.WaitExchanges(e.sim.Counters().exchanges + 1, std::chrono::seconds(5));
    EXPECT_EQ(e.engine->m_Status.load(), lsConnected);

    SoakResult r;
    r.exchanges = c.exchanges;
    const double frameBytes = static_cast<double>(c.bytesOut - c.fillerBytes);
    r.byteFaultShare = frameBytes > 0 ? static_cast<double>(c.faultsInjected) / frameBytes : 0;
    std::printf("[ soak     ] faults %s: %llu exchanges, %llu frame bytes out, %llu faults (%.1f%% of them), "
                "%llu repeats ignored, %llu silences, %llu NAKs received, %zu status changes\n",
                faults.c_str(), static_cast<unsigned long long>(c.exchanges),
                static_cast<unsigned long long>(c.bytesOut - c.fillerBytes),
                static_cast<unsigned long long>(c.faultsInjected), 100.0 * r.byteFaultShare,
                static_cast<unsigned long long>(c.repeatsIgnored),
                static_cast<unsigned long long>(c.silences), static_cast<unsigned long long>(c.naksReceived),
                e.statuses.size());
    int errors = 0;
    for (int s : e.statuses)
        errors += s == lsError;
    EXPECT_GT(errors, 0) << "the faults never reached the engine";
    return r;
}

} // namespace

TEST(FaultSoak, FivePercentOfBytesDamagedDroppedOrNoisyThousandExchanges) {
    const char* n = std::getenv("VQ5_SOAK_EXCHANGES");
    SoakResult r = Soak("bytes=0.055", n ? std::strtoull(n, nullptr, 10) : 1000, 0, 20240512);
    EXPECT_GE(r.exchanges, 1000u);
    EXPECT_GE(r.byteFaultShare, 0.05);
}

TEST(FaultSoak, EveryFaultKindWithASpeedChange) {
    SoakResult r = Soak("bytes=0.05,check=0.05,nak=0.05,silent=0.02,late=0.02,block=0.1,adr=0.1", 300, 3, 7);
    EXPECT_GE(r.exchanges, 300u);
}
