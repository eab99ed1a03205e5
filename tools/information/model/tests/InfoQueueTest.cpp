// One request through the message layer: the texts that reach the wire, per device version.
#include "InfoTable.h"

#include "MessageDrain.h"
#include "SettingsStore.h"
#include "VLPMsg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>

using namespace vq5;
using namespace vq5::information;

namespace {

using test::DrainTexts;

// The message layer on a store whose fast speed index is `fast` (0: no speed change).
struct Layer {
    CMemoryStore store;
    std::unique_ptr<CVLPMsg> msg;
    explicit Layer(int fast = 0) {
        store.WriteInt("VLPIO", "FastBaudRate", fast);
        msg = std::make_unique<CVLPMsg>(&store);
    }
    // The texts that go out for `request` once the device has identified itself.
    std::vector<std::string> Sent(const std::string& identification, std::uint32_t request, bool expert) {
        test::ReceiveText(*msg, identification);
        QueueRequest(*msg, request, expert);
        return DrainTexts(*msg);
    }
};

} // namespace

TEST(InfoQueue, AllInfoIsOneProgramModeSequence) {
    Layer layer;
    QueueRequest(*layer.msg, gAllInfo, false);
    EXPECT_EQ(layer.msg->QueueLength(), 45u); // "$PRG", 43 queries, "&PX"
    test::ReceiveText(*layer.msg, "&PPVQ-5 V8.7 (87)");
    auto sent = DrainTexts(*layer.msg);
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
    Layer layer;
    auto sent = layer.Sent("&PPVQ-5 (87)", gSettings, true);
    EXPECT_NE(std::find(sent.begin(), sent.end(), "&PFV"), sent.end());
    EXPECT_NE(std::find(sent.begin(), sent.end(), "&PFI"), sent.end());

    sent = layer.Sent("&PPVQ-5 (91)", gSettings, true);
    EXPECT_EQ(std::find(sent.begin(), sent.end(), "&PFV"), sent.end());
    EXPECT_NE(std::find(sent.begin(), sent.end(), "&PF1"), sent.end());
    EXPECT_EQ(std::find(sent.begin(), sent.end(), "&PFT"), sent.end());
}

TEST(InfoQueue, BelowVersion72NoFilterConstantsAreAsked) {
    Layer layer;
    const auto sent = layer.Sent("&QPVQ-5 (71)", gAllInfo, false);
    for (const auto& s : sent)
        EXPECT_NE(s.substr(0, 3), "&QK") << s;
    // The device letter is put in.
    EXPECT_NE(std::find(sent.begin(), sent.end(), "&QIA"), sent.end());
    EXPECT_EQ(sent.back(), "&QX");
}

TEST(InfoQueue, FastSpeedAddsTheSpeedChangeAndTheSlowExit) {
    Layer layer(3);
    QueueRequest(*layer.msg, gVersion, false);
    test::ReceiveText(*layer.msg, "&PPVQ-5 (87)");
    EXPECT_EQ(DrainTexts(*layer.msg),
              (std::vector<std::string>{"$PRG", "&PS3", "&PIA", "&PIG", "&PIH", "&PX0"}));
}
