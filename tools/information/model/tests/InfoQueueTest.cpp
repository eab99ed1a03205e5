// One request through the message layer: the texts that reach the wire, per device version.
#include "InfoTable.h"

#include "MessageDrain.h"
#include "SettingsStore.h"
#include "VLPMsg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace vq5;
using namespace vq5::information;

namespace {

std::vector<std::string> Drain(CVLPMsg& msg) {
    return test::DrainTexts(msg);
}

void Identify(CVLPMsg& msg, const std::string& reply) {
    msg.RxMessage(reinterpret_cast<const unsigned char*>(reply.data()), static_cast<unsigned>(reply.size()));
}

} // namespace

TEST(InfoQueue, AllInfoIsOneProgramModeSequence) {
    CMemoryStore store;
    store.WriteInt("VLPIO", "FastBaudRate", 0);
    CVLPMsg msg(&store);
    QueueRequest(msg, gAllInfo, false);
    EXPECT_EQ(msg.QueueLength(), 45u); // "$PRG", 43 queries, "&PX"
    Identify(msg, "&PPVQ-5 V8.7 (87)");
    auto sent = Drain(msg);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), "$PRG");
    EXPECT_EQ(sent.back(), "&PX");
    // 8.7: the "91>" flags and nothing else of the 43 is held back.
    EXPECT_EQ(sent.size(), 2u + 43u - 3u);
    EXPECT_EQ(sent[1], "&PIA");
    EXPECT_EQ(sent[2], "&PIB");
    EXPECT_EQ(std::count(sent.begin(), sent.end(), std::string("&PKW")), 1);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), std::string("&PFV")), 0); // expert only
}

TEST(InfoQueue, ExpertRowsGoOutOnlyFrom87Before91) {
    CMemoryStore store;
    store.WriteInt("VLPIO", "FastBaudRate", 0);
    CVLPMsg msg(&store);
    Identify(msg, "&PPVQ-5 (87)");
    QueueRequest(msg, gSettings, true);
    auto sent = Drain(msg);
    EXPECT_NE(std::find(sent.begin(), sent.end(), "&PFV"), sent.end());
    EXPECT_NE(std::find(sent.begin(), sent.end(), "&PFI"), sent.end());

    Identify(msg, "&PPVQ-5 (91)");
    QueueRequest(msg, gSettings, true);
    sent = Drain(msg);
    EXPECT_EQ(std::find(sent.begin(), sent.end(), "&PFV"), sent.end());
    EXPECT_NE(std::find(sent.begin(), sent.end(), "&PF1"), sent.end());
    EXPECT_EQ(std::find(sent.begin(), sent.end(), "&PFT"), sent.end());
}

TEST(InfoQueue, BelowVersion72NoFilterConstantsAreAsked) {
    CMemoryStore store;
    store.WriteInt("VLPIO", "FastBaudRate", 0);
    CVLPMsg msg(&store);
    Identify(msg, "&QPVQ-5 (71)");
    QueueRequest(msg, gAllInfo, false);
    auto sent = Drain(msg);
    for (const auto& s : sent)
        EXPECT_NE(s.substr(0, 3), "&QK") << s;
    // The device letter is put in.
    EXPECT_NE(std::find(sent.begin(), sent.end(), "&QIA"), sent.end());
    EXPECT_EQ(sent.back(), "&QX");
}

TEST(InfoQueue, FastSpeedAddsTheSpeedChangeAndTheSlowExit) {
    CMemoryStore store;
    store.WriteInt("VLPIO", "FastBaudRate", 3);
    CVLPMsg msg(&store);
    QueueRequest(msg, gVersion, false);
    Identify(msg, "&PPVQ-5 (87)");
    auto sent = Drain(msg);
    EXPECT_EQ(sent, (std::vector<std::string>{"$PRG", "&PS3", "&PIA", "&PIG", "&PIH", "&PX0"}));
}
