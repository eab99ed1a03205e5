// The load and save sequences through the message layer: what reaches the wire.
#include "TransponderModel.h"

#include "MessageDrain.h"
#include "SettingsStore.h"
#include "VLPMsg.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace vq5;
using namespace vq5::tct;

namespace {

std::vector<std::string> Drain(CVLPMsg& msg) {
    return test::DrainTexts(msg);
}

void Receive(CVLPMsg& msg, const std::string& reply) {
    msg.RxMessage(reinterpret_cast<const unsigned char*>(reply.data()), static_cast<unsigned>(reply.size()));
}

} // namespace

TEST(TransponderQueue, SaveOnANewDeviceSendsTheNewOffsetDigit) {
    CMemoryStore store; // FastBaudRate defaults to 3: the tool must still ask for no speed change
    CVLPMsg msg(&store);
    Receive(msg, "&QPVQ-5 (87)");
    CTransponderModel m;
    m.m_Offset = 25;
    m.QueueSave(msg);
    EXPECT_EQ(Drain(msg), (std::vector<std::string>{"$PRG", "&QKW8", "&QKM7", "&QKOF", "&QKSA", "&QX"}));
}

TEST(TransponderQueue, SaveOnAnOldDeviceSendsTheOldOffsetDigit) {
    CMemoryStore store;
    CVLPMsg msg(&store);
    Receive(msg, "&PPVQ-5 (81)");
    CTransponderModel m;
    m.m_Reboot = 1;
    m.m_Offset = 25;
    m.QueueSave(msg);
    EXPECT_EQ(Drain(msg), (std::vector<std::string>{"$PRG", "&PKW8", "&PKM7", "&PKO1", "&PKSA", "&PXR"}));
}

TEST(TransponderQueue, BeforeIdentificationTheOldFormGoesOut) {
    CMemoryStore store;
    CVLPMsg msg(&store);
    CTransponderModel m;
    m.QueueSave(msg);
    auto sent = Drain(msg);
    EXPECT_EQ(sent[3], "&PKOE");
    EXPECT_EQ(sent.size(), 6u);
}

TEST(TransponderQueue, LoadIsSixTextsWithoutSpeedChange) {
    CMemoryStore store;
    store.WriteInt("VLPIO", "FastBaudRate", 5);
    CVLPMsg msg(&store);
    CTransponderModel m;
    m.QueueLoad(msg);
    EXPECT_EQ(Drain(msg), (std::vector<std::string>{"$PRG", "&PKW", "&PKM", "&PKO", "&PKS", "&PX"}));
}
