// The in-memory port the frame harness reads through: escapes, time-outs that the engine's
// two-step read sees exactly once, failures, and what is written.
#include "MemoryPort.h"

#include "SettingsStore.h"
#include "VLPFrame.h"

#include <gtest/gtest.h>

using namespace vq5;
using namespace vq5::fuzz;

namespace {

class CSilent : public IUserMessages {
public:
    void Show(const std::string&, const std::string&) override { ++shown; }
    void Abandon() override {}
    void Reset() override {}
    int shown = 0;
};

// A frame layer reading from a memory port made of the given bytes.
struct Framed {
    CMemoryStore store;
    CSilent boxes;
    CVLPFrame frame{&store};
    CMemoryPort* port = nullptr;
    Framed(std::vector<unsigned char> bytes, bool escapes, ReadEvent::Kind atEnd = ReadEvent::Timeout) {
        auto p = std::make_unique<CMemoryPort>(EventsFromBytes(bytes.data(), bytes.size(), escapes), atEnd);
        port = p.get();
        auto holder = std::make_shared<std::unique_ptr<CMemoryPort>>(std::move(p));
        frame.SetUserMessages(&boxes);
        frame.SetPortFactory([holder]() -> std::unique_ptr<ISerialPort> { return std::move(*holder); });
    }
};

} // namespace

TEST(MemoryPort, EscapesMakeTimeoutsFailuresAndLiterals) {
    const unsigned char in[] = {0x41, 0x7F, 0x00, 0x7F, 0x01, 0x7F, 0x7F, 0x7F, 0x06, 0x7F};
    auto ev = EventsFromBytes(in, sizeof in, true);
    ASSERT_EQ(ev.size(), 6u);
    EXPECT_EQ(ev[0].kind, ReadEvent::Byte);
    EXPECT_EQ(ev[0].byte, 0x41);
    EXPECT_EQ(ev[1].kind, ReadEvent::Timeout);
    EXPECT_EQ(ev[2].kind, ReadEvent::Failed);
    EXPECT_EQ(ev[3].kind, ReadEvent::Byte);
    EXPECT_EQ(ev[3].byte, 0x7F);
    EXPECT_EQ(ev[4].byte, 0x06);
    EXPECT_EQ(ev[5].byte, 0x7F); // a lone escape at the end is a literal

    auto plain = EventsFromBytes(in, sizeof in, false);
    ASSERT_EQ(plain.size(), sizeof in);
    for (const auto& e : plain)
        EXPECT_EQ(e.kind, ReadEvent::Byte);
}

TEST(MemoryPort, ATimeoutEventIsOneTimeoutOfGetByte) {
    Framed f({0x50, 0x7F, 0x00, 0x51}, true);
    EXPECT_EQ(f.frame.GetByte(), 0x50);
    EXPECT_EQ(f.frame.GetByte(), -2);
    EXPECT_EQ(f.frame.GetByte(), 0x51);
    EXPECT_TRUE(f.port->Exhausted());
    EXPECT_EQ(f.frame.GetByte(), -2); // the line stays quiet
    EXPECT_EQ(f.frame.GetByte(), -2);
}

TEST(MemoryPort, AFailedEventIsOneFailedGetByte) {
    Framed f({0x7F, 0x01, 0x7F, 0x01, 0x06}, true, ReadEvent::Failed);
    EXPECT_EQ(f.frame.GetByte(), -1);
    EXPECT_EQ(f.frame.GetByte(), -1);
    EXPECT_EQ(f.boxes.shown, 1); // one box for the episode of two failed reads
    EXPECT_EQ(f.frame.GetByte(), 0x06);
    EXPECT_EQ(f.frame.GetByte(), -1); // a read succeeded in between: a new episode
    EXPECT_EQ(f.frame.GetByte(), -1); // the line keeps failing after its last event
    EXPECT_EQ(f.boxes.shown, 2);
}

TEST(MemoryPort, FramesDecodeAndWritesAreKept) {
    Framed f({0x50, 0xE1, 0x05, 0x01, 0xE1, 0x02, 0x00, 0x02, 0x41, 0x42, 0x03, 0x40, 0x41, 0x7F, 0x00},
             true);
    EXPECT_EQ(f.frame.GetFrame(), FrameType::poll);
    EXPECT_EQ(f.frame.GetFrame(), FrameType::info);
    EXPECT_EQ(f.frame.m_Len, 2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(f.frame.m_Data)), "AB");
    EXPECT_EQ(f.frame.GetFrame(), FrameType::timeout);
    f.frame.PutFrame(FrameType::ack);
    EXPECT_EQ(f.port->Written(), (std::vector<unsigned char>{0xE1, 0x06}));
}
