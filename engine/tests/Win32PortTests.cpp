// CVLPIO on a Windows COM port: names, opening, exclusive use, line settings read back,
// every speed of the table, reads with a time-out, a stop that wakes a read, purge on close,
// and a port whose other end goes away.
//
// The ports come from the environment (scripts/wine-test.sh maps them under Wine):
//   VQ5_TEST_PORT_A, VQ5_TEST_PORT_B  two ports wired to each other (a null-modem pair)
//   VQ5_TEST_PORT_LOST                a port whose other end goes away once the test has
//                                     written one byte to it
//   VQ5_TEST_PORT_MISSING             a port name that does not exist
#include "SettingsStore.h"
#include "VLPIO.h"
#include "Win32SerialPort.h"

#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace vq5::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Wine runs the tests on this machine; a few driver behaviours differ there (see below).
bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

class CBoxes : public IUserMessages {
public:
    void Show(const std::string& caption, const std::string& text) override {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Boxes.emplace_back(caption, text);
    }
    void Abandon() override {}
    void Reset() override {}
    std::vector<std::pair<std::string, std::string>> Boxes() const {
        std::lock_guard<std::mutex> lock(m_Lock);
        return m_Boxes;
    }

private:
    mutable std::mutex m_Lock;
    std::vector<std::pair<std::string, std::string>> m_Boxes;
};

// Writes on the other port of the pair. The peer stays open until the test ends: closing a
// port purges what it wrote and the other side has not taken yet.
void WritePeer(CWin32SerialPort& peer, const std::string& bytes) {
    std::size_t written = 0;
    int error = 0;
    ASSERT_EQ(peer.Write(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), written, error),
              WriteResult::Done)
        << PortErrorText(error);
    EXPECT_EQ(written, bytes.size());
}

struct Win32Port : ::testing::Test {
    std::string a = Env("VQ5_TEST_PORT_A");
    std::string b = Env("VQ5_TEST_PORT_B");
    CMemoryStore store;
    CBoxes boxes;
    std::unique_ptr<CVLPIO> io;
    CWin32SerialPort peer; // the other end, opened by OpenPeer
    void OpenPeer() {
        int error = 0;
        ASSERT_TRUE(peer.Open(b, error)) << PortErrorText(error);
    }
    void SetUp() override {
        ASSERT_FALSE(a.empty()) << "VQ5_TEST_PORT_A names the first port of a wired pair";
        ASSERT_FALSE(b.empty()) << "VQ5_TEST_PORT_B names the second port of the pair";
        store.WriteString("VLPIO", "ComPort", a);
        store.WriteInt("VLPIO", "Timeout", 300);
        io = std::make_unique<CVLPIO>(&store);
        io->SetUserMessages(&boxes);
    }
};

TEST(Win32PortNames, ComNamesGetTheDevicePrefixOthersStayAsTyped) {
    const std::pair<const char*, const char*> rows[] = {
        {"COM1", "\\\\.\\COM1"},
        {"com3", "\\\\.\\COM3"},
        {"COM9", "\\\\.\\COM9"},
        {"COM12", "\\\\.\\COM12"},
        {"COM255", "\\\\.\\COM255"},
        {"\\\\.\\COM12", "\\\\.\\COM12"},
        {"COM0", "COM0"},
        {"COMX", "COMX"},
        {"COM", "COM"},
        {"LPT1", "LPT1"},
    };
    for (const auto& [name, path] : rows)
        EXPECT_EQ(PortDevicePath(name), path) << name;
}

TEST(Win32PortTexts, SystemTextsHaveNoLineBreakAndInUseNamesThePort) {
    const std::string notFound = PortErrorText(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(notFound.empty());
    EXPECT_EQ(notFound.find('\n'), std::string::npos);
    EXPECT_EQ(notFound.find('\r'), std::string::npos);
    EXPECT_EQ(PortOpenFailureText("COM3", ERROR_ACCESS_DENIED), "port in use: COM3");
    EXPECT_EQ(PortOpenFailureText("COM3", ERROR_SHARING_VIOLATION), "port in use: COM3");
    EXPECT_EQ(PortOpenFailureText("COM3", ERROR_FILE_NOT_FOUND), notFound);
    EXPECT_NE(PortOpenFailureText("COM3", kWin32SettingsRefused).find("1200 baud, 8N1"), std::string::npos);
    EXPECT_TRUE(IsPortLost(ERROR_BROKEN_PIPE));
    EXPECT_TRUE(IsPortLost(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_TRUE(IsPortLost(ERROR_NOT_READY));
    EXPECT_FALSE(IsPortLost(ERROR_OPERATION_ABORTED));
    EXPECT_FALSE(IsPortLost(ERROR_TIMEOUT));
}

TEST_F(Win32Port, OpensAt1200Raw8N1WithModemLinesAndFlowControlOff) {
    CWin32SerialPort port;
    int error = 0;
    ASSERT_TRUE(port.Open(a, error)) << PortErrorText(error);
    CommLineSettings s;
    ASSERT_TRUE(port.ReadLineSettings(s));
    EXPECT_EQ(s.baud, 1200u);
    EXPECT_EQ(s.byteSize, 8);
    EXPECT_EQ(s.parity, NOPARITY);
    EXPECT_EQ(s.stopBits, ONESTOPBIT);
    if (!UnderWine()) {
        // Wine on a pseudo-terminal (no modem lines) reports both as enabled, whatever was set.
        EXPECT_EQ(s.dtrControl, DTR_CONTROL_DISABLE);
        EXPECT_EQ(s.rtsControl, RTS_CONTROL_DISABLE);
    }
    EXPECT_FALSE(s.ctsFlow);
    EXPECT_FALSE(s.dsrFlow);
    EXPECT_FALSE(s.xonXoff);
    EXPECT_TRUE(s.Taken());
    EXPECT_EQ(port.Baud(), 1200);
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Baud(), 0);
    EXPECT_FALSE(port.ReadLineSettings(s));
}

TEST_F(Win32Port, MissingPortGivesTheSystemsText) {
    const std::string missing = Env("VQ5_TEST_PORT_MISSING").empty() ? "COM42" : Env("VQ5_TEST_PORT_MISSING");
    io->m_ComPort = missing;
    EXPECT_FALSE(io->Open());
    EXPECT_FALSE(io->IsOpen());
    auto shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "Error: Open of " + missing);
    EXPECT_EQ(shown[0].second, PortErrorText(ERROR_FILE_NOT_FOUND));
}

TEST_F(Win32Port, SecondOpenIsPortInUseAlsoByTypedName) {
    ASSERT_TRUE(io->Open());
    for (const std::string& name : {a, PortDevicePath(a)}) {
        CMemoryStore otherStore;
        otherStore.WriteString("VLPIO", "ComPort", name);
        CBoxes other;
        CVLPIO second(&otherStore);
        second.SetUserMessages(&other);
        EXPECT_FALSE(second.Open()) << name;
        auto shown = other.Boxes();
        ASSERT_EQ(shown.size(), 1u) << name;
        EXPECT_EQ(shown[0].first, "Error: Open of " + name);
        EXPECT_EQ(shown[0].second, "port in use: " + name);
    }
    io->Close();
    // Released: another engine opens it now.
    CVLPIO third(&store);
    third.SetUserMessages(&boxes);
    EXPECT_TRUE(third.Open());
    third.Close();
    EXPECT_TRUE(boxes.Boxes().empty());
}

class Win32PortSpeed : public Win32Port, public ::testing::WithParamInterface<int> {};

TEST_P(Win32PortSpeed, SpeedChangeIsReadBack) {
    const int index = GetParam();
    const int baud = kSpeedTable[index];
    CWin32SerialPort port;
    int error = 0;
    ASSERT_TRUE(port.Open(a, error)) << PortErrorText(error);
    const bool set = port.SetBaud(baud, error);
    CommLineSettings s;
    ASSERT_TRUE(port.ReadLineSettings(s));
    if (baud == 14400 && UnderWine()) {
        // Wine has no 14400 on a Linux tty and runs another speed: refused, never taken
        // silently.
        EXPECT_FALSE(set);
        EXPECT_EQ(error, kWin32SettingsRefused);
        EXPECT_NE(s.baud, 14400u);
        return;
    }
    EXPECT_TRUE(set) << PortErrorText(error);
    EXPECT_EQ(s.baud, static_cast<unsigned long>(baud));
    EXPECT_EQ(port.Baud(), baud);
    EXPECT_TRUE(s.Taken()); // the other settings stay as Open made them
}

INSTANTIATE_TEST_SUITE_P(EverySpeed, Win32PortSpeed, ::testing::Values(0, 1, 2, 3, 4, 5),
                         [](const auto& info) { return std::to_string(kSpeedTable[info.param]); });

TEST_F(Win32Port, SetSpeedOutsideTheTableChangesNothing) {
    ASSERT_TRUE(io->Open());
    EXPECT_FALSE(io->SetSpeed(6));
    EXPECT_FALSE(io->SetSpeed(-1));
    EXPECT_EQ(io->CurrentBaud(), 1200);
    EXPECT_TRUE(io->SetSpeed(5));
    EXPECT_EQ(io->CurrentBaud(), 19200);
}

TEST_F(Win32Port, ByteAfterTimeOutIsTheNextCallsNotLost) {
    ASSERT_TRUE(io->Open());
    OpenPeer();
    const auto start = Clock::now();
    EXPECT_EQ(io->GetByte(), -2);
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, 250ms);
    EXPECT_LT(waited, 5s);
    // The read that timed out is still outstanding; the byte goes to the next call.
    WritePeer(peer, "\x05Z");
    EXPECT_EQ(io->GetByte(), 0x05);
    EXPECT_EQ(io->GetByte(), 'Z');
    EXPECT_EQ(io->m_CountIn.load(), 2);
    const unsigned char poll[] = {'P', 0xE1, 0x05};
    io->PutString(poll, sizeof poll);
    EXPECT_EQ(io->m_CountOut.load(), 3);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(Win32Port, WrittenBytesReachThePeer) {
    ASSERT_TRUE(io->Open());
    OpenPeer();
    int error = 0;
    const unsigned char frame[] = {0x01, 0xE1, 0x02, 0x30, 0x03, '&', 'P', 'K', 0x03, 0x12, 0x34};
    io->PutString(frame, sizeof frame);
    for (unsigned char expected : frame) {
        unsigned char got = 0;
        ASSERT_EQ(peer.ReadByte(got, 5000, error), ReadResult::Byte) << PortErrorText(error);
        EXPECT_EQ(got, expected);
    }
}

TEST_F(Win32Port, StopWakesAWaitingReadAtOnce) {
    store.WriteInt("VLPIO", "Timeout", 20000);
    io = std::make_unique<CVLPIO>(&store);
    io->SetUserMessages(&boxes);
    ASSERT_TRUE(io->Open());
    OpenPeer();
    auto read = std::async(std::launch::async, [&] { return io->GetByte(); });
    std::this_thread::sleep_for(200ms); // let the read start waiting
    const auto start = Clock::now();
    io->Interrupt();
    ASSERT_EQ(read.wait_for(10s), std::future_status::ready);
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_EQ(read.get(), -1);
    EXPECT_TRUE(boxes.Boxes().empty()); // a stop is no error
    io->ClearInterrupt();
    // Close with the read still outstanding: it is cancelled and the port opens again.
    io->Close();
    EXPECT_TRUE(io->Open());
    WritePeer(peer, "Q");
    EXPECT_EQ(io->GetByte(), 'Q');
}

TEST_F(Win32Port, CloseDropsBytesNobodyRead) {
    ASSERT_TRUE(io->Open());
    OpenPeer();
    WritePeer(peer, "stale");
    std::this_thread::sleep_for(100ms);
    io->Close();
    ASSERT_TRUE(io->Open());
    EXPECT_EQ(io->GetByte(), -2);
    WritePeer(peer, "F");
    EXPECT_EQ(io->GetByte(), 'F');
}

TEST(Win32PortLost, ReadOnAPortThatWentAwayFailsWithTheSystemsText) {
    const std::string lost = Env("VQ5_TEST_PORT_LOST");
    if (lost.empty())
        GTEST_SKIP() << "VQ5_TEST_PORT_LOST names a port whose other end goes away";
    CMemoryStore store;
    store.WriteString("VLPIO", "ComPort", lost);
    store.WriteInt("VLPIO", "Timeout", 500);
    CBoxes boxes;
    CVLPIO io(&store);
    io.SetUserMessages(&boxes);
    ASSERT_TRUE(io.Open());
    // The byte tells the other end to go away.
    io.PutByte('!');
    const auto deadline = Clock::now() + 20s;
    int r = -2;
    while (r != -1 && Clock::now() < deadline)
        r = io.GetByte();
    ASSERT_EQ(r, -1);
    EXPECT_TRUE(io.PortLost());
    auto shown = boxes.Boxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "Error: ReadFile");
    EXPECT_FALSE(shown[0].second.empty());
    // Later reads fail at once, without another box.
    const auto start = Clock::now();
    EXPECT_EQ(io.GetByte(), -1);
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_EQ(boxes.Boxes().size(), 1u);
    io.Close();
}

} // namespace
} // namespace vq5::test
