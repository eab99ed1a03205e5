// CVLP fills idle transmit opportunities with the line queries by the alternation rule.
#include "VLP.h"

#include "SettingsStore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <vector>

using namespace vq5;
using namespace vq5::io;

namespace {

// A store whose connection settings ask for no fast speed, so the program-mode entry is
// "$PRG" alone.
struct Fixture : ::testing::Test {
    CMemoryStore store;
    Fixture() { store.WriteInt("VLPIO", "FastBaudRate", 0); }

    // One transmit opportunity: what would go out ("" for nothing).
    static std::string Next(CVLP& e) {
        unsigned char buf[257];
        std::memset(buf, 0xAA, sizeof buf);
        const int n = e.TxMessage(buf);
        EXPECT_GE(n, 0);
        if (n == 0) {
            EXPECT_EQ(buf[0], 0) << "an empty opportunity leaves the buffer empty";
            return {};
        }
        EXPECT_EQ(buf[n], 0) << "the text is terminated";
        return std::string(reinterpret_cast<char*>(buf), static_cast<std::size_t>(n));
    }
    static std::vector<std::string> Take(CVLP& e, int count) {
        std::vector<std::string> v;
        for (int i = 0; i < count; ++i)
            v.push_back(Next(e));
        return v;
    }
    static void Identify(CVLP& e, const std::string& reply) {
        e.RxMessage(reinterpret_cast<const unsigned char*>(reply.data()),
                    static_cast<unsigned>(reply.size()));
    }
};

struct Lines : ITraceSink {
    std::mutex lock; // guards lines
    std::vector<std::string> lines;
    void AddLine(int level, std::string line) override {
        std::lock_guard<std::mutex> g(lock);
        if (level == 3)
            lines.push_back(std::move(line));
    }
};

using IoPolls = Fixture;

TEST_F(IoPolls, StartWithBothOffAndInputsNext) {
    CVLP e(&store);
    EXPECT_FALSE(e.m_PollInputs.load());
    EXPECT_FALSE(e.m_PollOutputs.load());
    EXPECT_TRUE(e.m_InputsNext.load());
}

TEST_F(IoPolls, BothOnAlternateBeginningWithInputs) {
    CVLP e(&store);
    e.m_PollInputs = true;
    e.m_PollOutputs = true;
    EXPECT_EQ(Take(e, 5), (std::vector<std::string>{"&PII", "&PIJ", "&PII", "&PIJ", "&PII"}));
}

TEST_F(IoPolls, OnlyInputs) {
    CVLP e(&store);
    e.m_PollInputs = true;
    EXPECT_EQ(Take(e, 3), (std::vector<std::string>{"&PII", "&PII", "&PII"}));
}

TEST_F(IoPolls, OnlyOutputs) {
    CVLP e(&store);
    e.m_PollOutputs = true;
    EXPECT_EQ(Take(e, 3), (std::vector<std::string>{"&PIJ", "&PIJ", "&PIJ"}));
}

TEST_F(IoPolls, NoneSendsNothing) {
    CVLP e(&store);
    EXPECT_EQ(Take(e, 3), (std::vector<std::string>{"", "", ""}));
}

TEST_F(IoPolls, QueuedMessagesGoFirst) {
    CVLP e(&store);
    e.m_PollInputs = true;
    e.m_PollOutputs = true;
    EXPECT_EQ(Next(e), "&PII");
    e.EnterProgramMode();
    e.QueueText("&PIA");
    // The queue empties first; the alternation then carries on where it stood.
    EXPECT_EQ(Take(e, 4), (std::vector<std::string>{"$PRG", "&PIA", "&PIJ", "&PII"}));
}

TEST_F(IoPolls, SwitchingOneOffMidwayKeepsTheOther) {
    CVLP e(&store);
    e.m_PollInputs = true;
    e.m_PollOutputs = true;
    EXPECT_EQ(Next(e), "&PII");
    e.m_PollInputs = false;
    EXPECT_EQ(Take(e, 2), (std::vector<std::string>{"&PIJ", "&PIJ"}));
    e.m_PollInputs = true; // inputs next is set after "&PIJ"
    EXPECT_EQ(Take(e, 2), (std::vector<std::string>{"&PII", "&PIJ"}));
}

TEST_F(IoPolls, PollsKeepTheLetterPQueuedTextsGetTheDevicesLetter) {
    CVLP e(&store);
    Identify(e, "&QPVQ-5 (87) bench");
    ASSERT_EQ(e.DeviceLetter(), 'Q');
    e.m_PollInputs = true;
    e.m_PollOutputs = true;
    e.QueueText("&PIA");
    EXPECT_EQ(Take(e, 3), (std::vector<std::string>{"&QIA", "&PII", "&PIJ"}));
}

TEST_F(IoPolls, AGateThatHoldsBackLeavesTheOpportunityToAPoll) {
    CVLP e(&store); // version 0.0: "83>" holds back
    e.m_PollOutputs = true;
    e.QueueText("83>&PFG1");
    e.QueueText("82<&PKO0");
    EXPECT_EQ(Take(e, 3), (std::vector<std::string>{"&PIJ", "&PKO0", "&PIJ"}));
}

TEST_F(IoPolls, LengthIsStoredAndTraced) {
    CVLP e(&store);
    Lines sink;
    e.SetTraceSink(&sink);
    e.m_PollInputs = true;
    EXPECT_EQ(e.TxMessage(e.m_Data), 4);
    EXPECT_EQ(e.m_Len, 4);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(e.m_Data)), "&PII");
    e.m_PollInputs = false;
    EXPECT_EQ(e.TxMessage(e.m_Data), 0);
    EXPECT_EQ(e.m_Len, 0);
    e.SetTraceSink(nullptr);
    std::vector<std::string> mine;
    for (const auto& l : sink.lines)
        if (l.rfind("CVLP::TxMessage(", 0) == 0)
            mine.push_back(l);
    ASSERT_EQ(mine.size(), 2u);
    EXPECT_NE(mine[0].find("&PII"), std::string::npos) << mine[0];
    EXPECT_EQ(mine[0].back(), ')');
    EXPECT_EQ(mine[1].find("&PII"), std::string::npos) << mine[1];
}

} // namespace
