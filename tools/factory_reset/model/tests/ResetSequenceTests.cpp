// The reset sequence as the message layer hands it to the frame layer: exact texts, the
// gated speed change, the device letter, and the "&Reset" gate on the queue running empty.
#include "ResetModel.h"

#include "MessageDrain.h"
#include "SettingsStore.h"
#include "VLPEngine.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace vq5::factory_reset {
namespace {

class CCollectSink : public INotifySink {
public:
    void Post(Notification n) override {
        std::lock_guard<std::mutex> g(m_Lock);
        m_Items.push_back(std::move(n));
    }
    std::vector<Notification> Take() {
        std::lock_guard<std::mutex> g(m_Lock);
        return std::exchange(m_Items, {});
    }

private:
    std::mutex m_Lock;
    std::vector<Notification> m_Items;
};

struct ResetModelTest : ::testing::Test {
    CMemoryStore store;
    std::unique_ptr<CVLPEngine> engine;
    CCollectSink sink;

    void Make(int fastBaudRate) {
        store.WriteInt("VLPIO", "FastBaudRate", fastBaudRate);
        engine = std::make_unique<CVLPEngine>(&store);
        engine->SetNotifySink(&sink);
    }
    // The device's identification reply, as the worker would pass it up.
    void Identify(const std::string& reply) {
        engine->RxMessage(reinterpret_cast<const unsigned char*>(reply.data()),
                          static_cast<unsigned>(reply.size()));
    }
    // Takes every queued text out the way the worker does at each poll; returns what would go
    // on the wire (held-back texts leave nothing).
    std::vector<std::string> Drain() {
        std::vector<std::string> sent = test::DrainTexts(*engine, false, 50);
        unsigned char buffer[300];
        engine->TxMessage(buffer); // the poll that finds the queue empty
        return sent;
    }
    // Feeds the engine's notifications to the model as the dialog would.
    int Deliver(CResetModel& model) {
        int changes = 0;
        for (const Notification& n : sink.Take())
            changes += model.OnNotify(n) ? 1 : 0;
        return changes;
    }
};

TEST_F(ResetModelTest, WithoutFastSpeedOneClickSendsExactlyTheThreeCommands) {
    Make(0);
    CResetModel model(*engine);
    ASSERT_TRUE(model.ResetEnabled());
    EXPECT_EQ(model.Reset(), std::vector<std::string>{"&PFE1"});
    EXPECT_FALSE(model.ResetEnabled());
    EXPECT_EQ(Drain(), (std::vector<std::string>{"$PRG", "&PFE1", "&PXR"}));
}

TEST_F(ResetModelTest, SpeedChangeGoesBetweenEntryAndFlagForDevice84) {
    Make(3);
    Identify("&PPVQ-5 (84) test unit");
    ASSERT_EQ(engine->VersionMajor(), 8u);
    ASSERT_EQ(engine->VersionMinor(), 4u);
    CResetModel model(*engine);
    ASSERT_FALSE(model.Reset().empty());
    EXPECT_EQ(Drain(), (std::vector<std::string>{"$PRG", "&PS3", "&PFE1", "&PXR"}));
}

TEST_F(ResetModelTest, OlderDeviceDoesNotGetTheSpeedChange) {
    Make(5);
    Identify("&PPVQ-5 (83)");
    CResetModel model(*engine);
    ASSERT_FALSE(model.Reset().empty());
    EXPECT_EQ(Drain(), (std::vector<std::string>{"$PRG", "&PFE1", "&PXR"}));
}

TEST_F(ResetModelTest, CommandsCarryTheDeviceLetter) {
    Make(0);
    Identify("&QPVQ-5 (91)");
    ASSERT_EQ(engine->DeviceLetter(), 'Q');
    CResetModel model(*engine);
    ASSERT_FALSE(model.Reset().empty());
    EXPECT_EQ(Drain(), (std::vector<std::string>{"$PRG", "&QFE1", "&QXR"}));
}

TEST_F(ResetModelTest, SecondClickIsRefusedUntilTheQueueHasDrained) {
    Make(0);
    CResetModel model(*engine);
    ASSERT_FALSE(model.Reset().empty());
    const std::size_t queued = engine->QueueLength();
    EXPECT_EQ(queued, 3u);
    EXPECT_TRUE(model.Reset().empty());
    EXPECT_EQ(engine->QueueLength(), queued) << "a refused click must queue nothing";
    // Progress notifications alone do not bring the button back.
    EXPECT_EQ(Deliver(model), 0);
    EXPECT_FALSE(model.ResetEnabled());

    // Two of three texts sent: still busy.
    unsigned char buffer[300];
    engine->TxMessage(buffer);
    engine->TxMessage(buffer);
    EXPECT_EQ(Deliver(model), 0);
    EXPECT_FALSE(model.ResetEnabled());

    Drain();
    EXPECT_EQ(Deliver(model), 1);
    EXPECT_TRUE(model.ResetEnabled());
    EXPECT_FALSE(model.Reset().empty());
    EXPECT_EQ(Drain(), (std::vector<std::string>{"$PRG", "&PFE1", "&PXR"}));
}

TEST_F(ResetModelTest, OtherNotificationsAreIgnored) {
    Make(0);
    CResetModel model(*engine);
    ASSERT_FALSE(model.Reset().empty());
    EXPECT_FALSE(model.OnNotify(Notification{nkReceived, 0, "&PFE1"}));
    EXPECT_FALSE(model.OnNotify(Notification{nkLinkStatus, 2, {}}));
    EXPECT_FALSE(model.OnNotify(Notification{nkIdent, 0, {}}));
    EXPECT_FALSE(model.OnNotify(Notification{nkQueueProgress, 5, {}}));
    EXPECT_FALSE(model.ResetEnabled());
    EXPECT_TRUE(model.OnNotify(Notification{nkQueueEmpty, 0, {}}));
    EXPECT_TRUE(model.ResetEnabled());
    // An empty-queue report while idle changes nothing.
    EXPECT_FALSE(model.OnNotify(Notification{nkQueueEmpty, 0, {}}));
    EXPECT_TRUE(model.ResetEnabled());
}

TEST(ResetSequence, TextsAsQueued) {
    EXPECT_EQ(CResetModel::Sequence(0), (std::vector<std::string>{"$PRG", "&PFE1", "&PXR"}));
    EXPECT_EQ(CResetModel::Sequence(2), (std::vector<std::string>{"$PRG", "84>&PS2", "&PFE1", "&PXR"}));
    // Out of the table: no speed change.
    EXPECT_EQ(CResetModel::Sequence(6), (std::vector<std::string>{"$PRG", "&PFE1", "&PXR"}));
    EXPECT_EQ(CResetModel::Sequence(-1), (std::vector<std::string>{"$PRG", "&PFE1", "&PXR"}));
}

TEST_F(ResetModelTest, QueuedTextsMatchTheSequence) {
    for (int fast : {0, 1, 3, 5}) {
        Make(fast);
        Identify("&PPVQ-5 (91)");
        CResetModel model(*engine);
        ASSERT_FALSE(model.Reset().empty());
        std::vector<std::string> expected;
        for (std::string t : CResetModel::Sequence(fast))
            expected.push_back(t.rfind("84>", 0) == 0 ? t.substr(3) : t);
        EXPECT_EQ(Drain(), expected) << "fast speed index " << fast;
    }
}

} // namespace
} // namespace vq5::factory_reset
