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

using test::DrainTexts;

// What the save sequence sends of a model with this offset and reboot flag, after the device
// has identified itself with `identification`. The store keeps its default fast speed index
// (3): the tool must still ask for no speed change.
std::vector<std::string> SaveSent(const std::string& identification, int offset, int reboot) {
    CMemoryStore store;
    CVLPMsg msg(&store);
    test::ReceiveText(msg, identification);
    CTransponderModel m;
    m.m_Reboot = reboot;
    m.m_Offset = offset;
    m.QueueSave(msg);
    return DrainTexts(msg);
}

} // namespace

TEST(TransponderQueue, SaveOnANewDeviceSendsTheNewOffsetDigit) {
    EXPECT_EQ(SaveSent("&QPVQ-5 (87)", 25, 0),
              (std::vector<std::string>{"$PRG", "&QKW8", "&QKM7", "&QKOF", "&QKSA", "&QX"}));
}

TEST(TransponderQueue, SaveOnAnOldDeviceSendsTheOldOffsetDigit) {
    EXPECT_EQ(SaveSent("&PPVQ-5 (81)", 25, 1),
              (std::vector<std::string>{"$PRG", "&PKW8", "&PKM7", "&PKO1", "&PKSA", "&PXR"}));
}

TEST(TransponderQueue, BeforeIdentificationTheOldFormGoesOut) {
    CMemoryStore store;
    CVLPMsg msg(&store);
    CTransponderModel m;
    const std::vector<std::string> sets = m.QueueSave(msg);
    auto sent = DrainTexts(msg);
    EXPECT_EQ(sent[3], "&PKOE");
    EXPECT_EQ(sent.size(), 6u);
    EXPECT_EQ(sets, m.SetTexts()); // the sets as queued, gates in front, without entry and exit
}

TEST(TransponderQueue, LoadIsSixTextsWithoutSpeedChange) {
    CMemoryStore store;
    store.WriteInt("VLPIO", "FastBaudRate", 5);
    CVLPMsg msg(&store);
    CTransponderModel m;
    m.QueueLoad(msg);
    EXPECT_EQ(DrainTexts(msg), (std::vector<std::string>{"$PRG", "&PKW", "&PKM", "&PKO", "&PKS", "&PX"}));
}
