// CVLPIO on a real pseudo-terminal: opening, line settings, exclusive use, reads with a
// time-out, writes, speed changes, error boxes, interruption.
#include "PosixSerialPort.h"
#include "PtyHelpers.h"
#include "Termios2.h"
#include "VLPIO.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <termios.h>
#include <thread>

namespace vq5::test {
namespace {

struct PortFixture : ::testing::Test, CPtyLine {
    PortFixture() : CPtyLine(300) {}
    std::unique_ptr<CVLPIO> io;
    void SetUp() override {
        io = std::make_unique<CVLPIO>(&store);
        io->SetUserMessages(&messages);
    }
};

TEST(PortNames, ComNamesMapToTtyS) {
    // COM1 to COM8 (any case) are the first eight serial ports; other names pass as they are.
    const std::pair<const char*, const char*> names[] = {
        {"COM1", "/dev/ttyS0"}, {"COM8", "/dev/ttyS7"}, {"com3", "/dev/ttyS2"},
        {"COM9", "COM9"},       {"COM10", "COM10"},     {"/dev/ttyUSB0", "/dev/ttyUSB0"},
    };
    for (const auto& [name, path] : names)
        EXPECT_EQ(PortDevicePath(name), path) << name;
}

TEST_F(PortFixture, OpensRaw1200WithNoFlowControl) {
    ASSERT_TRUE(io->Open());
    EXPECT_TRUE(io->IsOpen());
    EXPECT_EQ(io->CurrentBaud(), 1200);
    EXPECT_EQ(pty.SlaveSpeed(), 1200);
    ExpectRawLine(pty.Slave());
    EXPECT_TRUE(messages.Boxes().empty());
    io->Close();
    EXPECT_FALSE(io->IsOpen());
}

TEST_F(PortFixture, SecondOpenReportsPortInUse) {
    ASSERT_TRUE(io->Open());
    CRecordingMessages other;
    CVLPIO second(&store);
    second.SetUserMessages(&other);
    EXPECT_FALSE(second.Open());
    auto boxes = other.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Error: Open of " + pty.Path());
    EXPECT_EQ(boxes[0].second, "port in use: " + pty.Path());
    io->Close();
    // Released: now it opens.
    EXPECT_TRUE(second.Open());
}

TEST_F(PortFixture, MissingPortGivesSystemText) {
    io->m_ComPort = "/dev/nonexistent-vq5-port";
    EXPECT_FALSE(io->Open());
    EXPECT_FALSE(io->IsOpen());
    auto boxes = messages.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Error: Open of /dev/nonexistent-vq5-port");
    EXPECT_EQ(boxes[0].second, std::strerror(ENOENT));
}

TEST_F(PortFixture, NotATerminalIsRefused) {
    io->m_ComPort = "/dev/null";
    EXPECT_FALSE(io->Open());
    auto boxes = messages.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].second, std::strerror(ENOTTY));
}

TEST_F(PortFixture, EmptyNameAsksForAPort) {
    io->m_ComPort.clear();
    EXPECT_FALSE(io->Open());
    auto boxes = messages.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].second, "No COM port specified!");
}

TEST_F(PortFixture, GetByteTimesOutThenKeepsTheLateByte) {
    ASSERT_TRUE(io->Open());
    EXPECT_EQ(io->GetByte(), -2);
    pty.Write(B({0x42}));
    EXPECT_EQ(io->GetByte(), 0x42);
    EXPECT_EQ(io->m_CountIn.load(), 1);
    // A byte sent right after a time-out, before the next call, is not lost either.
    EXPECT_EQ(io->GetByte(), -2);
    pty.Write(B({0xE1, 0x00}));
    EXPECT_EQ(io->GetByte(), 0xE1);
    EXPECT_EQ(io->GetByte(), 0x00);
    EXPECT_EQ(io->m_CountIn.load(), 3);
}

TEST_F(PortFixture, PutStringWritesAndCounts) {
    ASSERT_TRUE(io->Open());
    const unsigned char bytes[] = {0x50, 0xE1, 0x05};
    io->PutString(bytes, 3);
    io->PutByte(0x04);
    EXPECT_EQ(Hex(pty.Read(4)), "50 E1 05 04");
    EXPECT_EQ(io->m_CountOut.load(), 4);
}

TEST_F(PortFixture, OpenAndCloseLeaveCountersAlone) {
    io->m_CountIn = 5;
    io->m_CountOut = 7;
    ASSERT_TRUE(io->Open());
    io->Close();
    EXPECT_EQ(io->m_CountIn.load(), 5);
    EXPECT_EQ(io->m_CountOut.load(), 7);
}

TEST_F(PortFixture, SetSpeedCoversTheTable) {
    ASSERT_TRUE(io->Open());
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(io->SetSpeed(i));
        EXPECT_EQ(pty.SlaveSpeed(), kSpeedTable[i]) << "index " << i;
        EXPECT_EQ(io->CurrentBaud(), kSpeedTable[i]);
    }
    EXPECT_TRUE(io->SetSpeed(4));
    EXPECT_EQ(pty.SlaveSpeed(), 14400);
    EXPECT_FALSE(io->SetSpeed(6));
    EXPECT_FALSE(io->SetSpeed(-1));
    EXPECT_EQ(pty.SlaveSpeed(), 14400);
}

TEST_F(PortFixture, SpeedChangeKeepsBytesAlreadyWritten) {
    ASSERT_TRUE(io->Open());
    const unsigned char eot[] = {0x00, 0x04};
    io->PutString(eot, 2);
    EXPECT_TRUE(io->SetSpeed(3));
    EXPECT_EQ(Hex(pty.Read(2)), "00 04");
    EXPECT_EQ(pty.SlaveSpeed(), 9600);
}

TEST_F(PortFixture, ReopenAfterCloseWorks) {
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(io->Open()) << "round " << i;
        pty.Write(B({i}));
        EXPECT_EQ(io->GetByte(), i);
        io->Close();
    }
    EXPECT_TRUE(messages.Boxes().empty());
}

TEST_F(PortFixture, InterruptWakesAWaitingRead) {
    io->m_Timeout = 60000;
    ASSERT_TRUE(io->Open());
    int result = 0;
    std::thread reader([&] { result = io->GetByte(); });
    std::this_thread::sleep_for(50ms); // nothing shows the read waiting: give it the time to start
    io->Interrupt();
    reader.join(); // would take 60 s without the wake-up
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(messages.Boxes().empty()); // a stop is no error
    io->ClearInterrupt();
    pty.Write(B({0x33}));
    EXPECT_EQ(io->GetByte(), 0x33);
}

TEST_F(PortFixture, LostLineIsReportedOnceAndFlagged) {
    ASSERT_TRUE(io->Open());
    pty.CloseMaster();
    EXPECT_EQ(io->GetByte(), -1);
    EXPECT_TRUE(io->PortLost());
    EXPECT_EQ(io->GetByte(), -1);
    const unsigned char b = 0x01;
    io->PutString(&b, 1);
    auto boxes = messages.Boxes();
    ASSERT_EQ(boxes.size(), 1u); // one box for the episode
    EXPECT_EQ(boxes[0].first, "Error: ReadFile");
    EXPECT_EQ(boxes[0].second, std::strerror(EIO));
}

// The tools' box for a lost line names the port, the reason and the reconnection.
TEST_F(PortFixture, LostLineBoxOfTheToolsSaysWhatHappensNext) {
    io->SetErrorAdvice("Choose another port.");
    ASSERT_TRUE(io->Open());
    pty.CloseMaster();
    EXPECT_EQ(io->GetByte(), -1);
    const auto boxes = messages.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Error: ReadFile");
    EXPECT_EQ(boxes[0].second,
              "Reading from " + pty.Path() + " failed: " + std::strerror(EIO) +
                  ".\n\nThe port is gone (unplugged or hung up). The tool opens it again as soon "
                  "as it is back and carries on by itself.");
}

TEST_F(PortFixture, ReadOnClosedPortFailsWithOneBox) {
    EXPECT_EQ(io->GetByte(), -1);
    EXPECT_EQ(io->GetByte(), -1);
    EXPECT_EQ(messages.Boxes().size(), 1u);
}

TEST_F(PortFixture, CloseOnClosedPortTracesNothing) {
    // CVLPIO's own Trace does nothing; what matters is that Close is harmless twice.
    io->Close();
    ASSERT_TRUE(io->Open());
    io->Close();
    io->Close();
    EXPECT_FALSE(io->IsOpen());
}

TEST(PortSettings, BoundValuesAreReadAndWrittenBack) {
    CMemoryStore store;
    store.WriteString("VLPIO", "ComPort", "COM4");
    store.WriteInt("VLPIO", "Timeout", 1500);
    store.WriteInt("VLPIO", "FastBaudRate", 5);
    {
        CVLPIO io(&store);
        EXPECT_EQ(io.m_ComPort, "COM4");
        EXPECT_EQ(io.m_Timeout.load(), 1500u);
        EXPECT_EQ(io.m_FastBaudRate.load(), 5);
        io.m_Timeout = 800;
        io.m_FastBaudRate = 1;
        io.m_ComPort = "/dev/ttyUSB1";
        EXPECT_EQ(store.ReadInt("VLPIO", "Timeout"), 1500); // only written at destruction
    }
    EXPECT_EQ(store.ReadString("VLPIO", "ComPort"), "/dev/ttyUSB1");
    EXPECT_EQ(store.ReadInt("VLPIO", "Timeout"), 800);
    EXPECT_EQ(store.ReadInt("VLPIO", "FastBaudRate"), 1);
}

TEST(PortSettings, DefaultsOnFirstRun) {
    CMemoryStore store;
    {
        CVLPIO io(&store);
        EXPECT_EQ(io.m_ComPort, "COM1");
        EXPECT_EQ(io.m_Timeout.load(), 2000u);
        EXPECT_EQ(io.m_FastBaudRate.load(), 3);
        EXPECT_FALSE(io.IsOpen());
    }
    EXPECT_EQ(store.ReadString("VLPIO", "ComPort"), "COM1");
    EXPECT_EQ(store.ReadInt("VLPIO", "Timeout"), 2000);
    EXPECT_EQ(store.ReadInt("VLPIO", "FastBaudRate"), 3);
}

TEST(PortSettings, DamagedValuesTakeTheDefaults) {
    CMemoryStore store;
    store.WriteString("VLPIO", "Timeout", "abc");
    store.WriteInt("VLPIO", "FastBaudRate", 99);
    CVLPIO a(&store);
    EXPECT_EQ(a.m_Timeout.load(), 2000u);
    EXPECT_EQ(a.m_FastBaudRate.load(), 3);
    store.WriteInt("VLPIO", "Timeout", 0); // would make every read return at once
    store.WriteInt("VLPIO", "FastBaudRate", -1);
    CVLPIO b(&store);
    EXPECT_EQ(b.m_Timeout.load(), 2000u);
    EXPECT_EQ(b.m_FastBaudRate.load(), 3);
}

// A port that fails every call, for the episode rule.
class CFailingPort : public ISerialPort {
public:
    bool Open(const std::string&, int&) override { return m_Open = true; }
    void Close() override { m_Open = false; }
    bool IsOpen() const override { return m_Open; }
    ReadResult ReadByte(unsigned char& b, unsigned, int& error) override {
        if (m_ReadOk) {
            b = 0x41;
            return ReadResult::Byte;
        }
        error = EPROTO;
        return ReadResult::Failed;
    }
    WriteResult Write(const unsigned char*, std::size_t, std::size_t& written, int& error) override {
        written = 0;
        error = EPROTO;
        return WriteResult::Failed;
    }
    bool SetBaud(int, int& error) override {
        error = EPROTO;
        return false;
    }
    int Baud() const override { return 0; }
    void Interrupt() override {}
    void ClearInterrupt() override {}
    bool m_Open = false;
    bool m_ReadOk = false;
};

TEST(PortErrors, OneBoxPerEpisode) {
    CMemoryStore store;
    CRecordingMessages messages;
    CVLPIO io(&store);
    io.SetUserMessages(&messages);
    CFailingPort* port = nullptr;
    io.SetPortFactory([&] {
        auto p = std::make_unique<CFailingPort>();
        port = p.get();
        return p;
    });
    ASSERT_TRUE(io.Open());
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(io.GetByte(), -1);
    EXPECT_FALSE(io.PortLost()); // EPROTO is an error, not a lost port
    ASSERT_EQ(messages.Boxes().size(), 1u);
    EXPECT_EQ(messages.Boxes()[0].first, "Error: ReadFile");
    EXPECT_EQ(messages.Boxes()[0].second, std::strerror(EPROTO));
    // Reads work again: the episode ends; the next failure gets its box.
    port->m_ReadOk = true;
    EXPECT_EQ(io.GetByte(), 0x41);
    port->m_ReadOk = false;
    EXPECT_EQ(io.GetByte(), -1);
    EXPECT_EQ(messages.Boxes().size(), 2u);
    // Writes failing while reads fail: still one episode.
    const unsigned char b = 1;
    io.PutString(&b, 1);
    EXPECT_EQ(messages.Boxes().size(), 2u);
    // SetSpeed failing shows no box and still reports the index as taken.
    EXPECT_TRUE(io.SetSpeed(2));
    EXPECT_EQ(messages.Boxes().size(), 2u);
}

} // namespace
} // namespace vq5::test
