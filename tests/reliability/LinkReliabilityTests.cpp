// The engine when the line misbehaves: an adapter unplugged and plugged in again behind the
// same /dev/serial/by-id link, a second program on the same port, a port left with odd line
// settings by another program, a line that never takes what is written.
#include "FrameCodec.h"
#include "PosixSerialPort.h"
#include "PtyHelpers.h"
#include "Termios2.h"
#include "VLPEngine.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vq5::test {
namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point t) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// A folder of its own for the link that stands for /dev/serial/by-id/<adapter>.
class CLinkDir {
public:
    CLinkDir() {
        char tmpl[] = "/tmp/vq5-rel-XXXXXX";
        const char* made = mkdtemp(tmpl);
        if (made)
            m_Dir = made;
        m_Link = m_Dir + "/usb-FTDI_FT232R_USB_UART_A10K5VQ5-if00-port0";
    }
    ~CLinkDir() {
        ::unlink(m_Link.c_str());
        ::rmdir(m_Dir.c_str());
    }
    bool PointAt(const std::string& target) {
        ::unlink(m_Link.c_str());
        return ::symlink(target.c_str(), m_Link.c_str()) == 0;
    }
    void Remove() { ::unlink(m_Link.c_str()); }
    const std::string& Link() const { return m_Link; }
    bool Ok() const { return !m_Dir.empty(); }

private:
    std::string m_Dir;
    std::string m_Link;
};

// The port layer set to open `path`, the boxes it raises recorded.
struct CPortOn {
    struct CStore : CMemoryStore {
        explicit CStore(const std::string& path) { WriteString("VLPIO", "ComPort", path); }
    };
    explicit CPortOn(const std::string& path) : store(path), io(&store) { io.SetUserMessages(&messages); }

    CStore store;
    CRecordingMessages messages;
    CVLPIO io;
};

// The device polls on `line`; returns the text of the PC's information frame ("" for a bare
// EOT). With ack the frame is acknowledged and the PC's closing EOT checked.
std::string PollOn(CPty& line, bool ack = true) {
    line.Write(B({'P', ADR, ENQ}));
    Bytes f = line.ReadPcFrame();
    if (f == B({NUL, EOT}))
        return "";
    if (f.size() < 8 || f[0] != SOH || f.size() != static_cast<std::size_t>(f[4]) + 8) {
        ADD_FAILURE() << "unexpected answer to a poll: " << Hex(f);
        return "<bad>";
    }
    std::string text(f.begin() + 5, f.begin() + 5 + f[4]);
    if (ack) {
        line.Write(B({ADR, ACK}));
        EXPECT_EQ(Hex(line.ReadPcFrame()), "00 04") << "after the ACK of " << text;
    }
    return text;
}

std::vector<long> Statuses(const std::vector<Notification>& seen) {
    std::vector<long> out;
    for (const auto& n : seen)
        if (n.kind == nkLinkStatus)
            out.push_back(n.value);
    return out;
}

int CountLines(const CRecordingTrace& trace, const std::string& part) {
    int n = 0;
    for (const auto& [level, line] : trace.Lines())
        n += line.find(part) != std::string::npos;
    return n;
}

// ---------------------------------------------------------------------------------------
// Unplug and replug

TEST(LinkLoss, UnplugForFiveSecondsThenReplugBehindTheSameByIdLink) {
    CLinkDir dir;
    ASSERT_TRUE(dir.Ok());
    CPty first; // the adapter as it was plugged in first
    ASSERT_TRUE(dir.PointAt(first.Path()));
    CEngineOnPty e(500); // e.pty is the node the adapter gets when plugged in again
    CRecordingTrace trace;
    e.engine->SetTraceSink(&trace);
    e.engine->m_ComPort = dir.Link();
    e.Start();
    for (int i = 1; i <= 6; ++i)
        e.engine->QueueText("&PIAm" + std::to_string(i));

    EXPECT_EQ(PollOn(first), "&PIAm1");
    EXPECT_EQ(PollOn(first), "&PIAm2");
    // The third goes out, and the adapter is pulled before the device acknowledges it.
    EXPECT_EQ(PollOn(first, false), "&PIAm3");
    first.CloseMaster();
    dir.Remove(); // udev removes the by-id link with the node
    Notification n;
    ASSERT_TRUE(e.queue.WaitFor(nkLinkStatus, lsError, kLong, &n)) << "the loss was not reported";

    // Five seconds away: the engine tries again now and then, and costs next to nothing.
    std::this_thread::sleep_for(200ms); // settled after the loss
    const double cpuBefore = ProcessCpuMs();
    std::this_thread::sleep_for(5s); // the span away whose CPU is measured
    const double cpuAway = ProcessCpuMs() - cpuBefore;
    std::printf("[ measured ] port away 5 s: %.1f ms CPU\n", cpuAway);
    EXPECT_LT(cpuAway, 150.0) << "the engine spun while the port was away";
    EXPECT_FALSE(e.engine->IsOpen());
    EXPECT_TRUE(e.engine->IsRunning());

    // One report: one box, one log line, one status change, however many attempts failed.
    auto boxes = e.messages.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Error: ReadFile");
    EXPECT_EQ(CountLines(trace, "port lost"), 1);
    EXPECT_GE(CountLines(trace, "CVLPIO::Open()"), 3) << "the engine did not try to open the port again";
    auto away = e.Drain(100ms);
    EXPECT_TRUE(Statuses(away).empty()) << "the status changed while the port was away";

    // Plugged in again: a new node behind the same link.
    ASSERT_TRUE(dir.PointAt(e.pty.Path()));
    // The message that was never acknowledged comes first, then the rest of the queue, each once.
    EXPECT_EQ(PollOn(e.pty), "&PIAm3");
    EXPECT_EQ(PollOn(e.pty), "&PIAm4");
    EXPECT_EQ(PollOn(e.pty), "&PIAm5");
    EXPECT_EQ(PollOn(e.pty), "&PIAm6");
    EXPECT_EQ(PollOn(e.pty), "");
    EXPECT_EQ(e.engine->m_Status.load(), lsConnected);
    EXPECT_EQ(CountLines(trace, "open again"), 1);
    EXPECT_EQ(e.messages.Boxes().size(), 1u);

    // It still receives, once.
    e.SelectSend("&PIAm6");
    Notification r;
    ASSERT_TRUE(e.queue.WaitFor(nkReceived, -1, kLong, &r));
    EXPECT_EQ(r.text, "&PIAm6");

    // A second loss is a new episode: its own box, again only one.
    e.pty.CloseMaster();
    ASSERT_TRUE(e.queue.WaitFor(nkLinkStatus, lsError, kLong, &n));
    EXPECT_TRUE(WaitFor([&] { return e.messages.Boxes().size() >= 2; }, kLong));
    std::this_thread::sleep_for(1s); // the attempts to open again in this span add no box
    EXPECT_EQ(e.messages.Boxes().size(), 2u);
    e.engine->Stop();
    EXPECT_FALSE(e.engine->IsRunning());
}

TEST(LinkLoss, StopWhileThePortIsAwayEndsAtOnce) {
    CLinkDir dir;
    ASSERT_TRUE(dir.Ok());
    CPty line;
    ASSERT_TRUE(dir.PointAt(line.Path()));
    CEngineOnPty e(500);
    e.engine->m_ComPort = dir.Link();
    e.Start();
    EXPECT_EQ(PollOn(line), "");
    line.CloseMaster();
    dir.Remove();
    ASSERT_TRUE(e.queue.WaitFor(nkLinkStatus, lsError, kLong));
    std::this_thread::sleep_for(2s); // the back-off has grown to seconds (the time is what is tested)
    const auto t = Clock::now();
    auto stopped = std::async(std::launch::async, [&] { e.engine->Stop(); });
    ASSERT_EQ(stopped.wait_for(kLong), std::future_status::ready);
    std::printf("[ measured ] stop while the port is away: %.1f ms\n", MsSince(t));
    EXPECT_FALSE(e.engine->IsRunning());
    EXPECT_TRUE(e.queue.WaitFor(nkLinkStatus, lsStopped, kLong));
}

// ---------------------------------------------------------------------------------------
// Port in use

TEST(PortInUse, SecondEngineIsToldAndTheFirstGoesOnUntouched) {
    CEngineOnPty first(500);
    first.Start();
    EXPECT_EQ(PollOn(first.pty), "");
    struct termios before {};
    ASSERT_EQ(tcgetattr(first.pty.Slave(), &before), 0);
    const int speedBefore = first.pty.SlaveSpeed();

    CMemoryStore store;
    store.WriteString("VLPIO", "ComPort", first.pty.Path());
    store.WriteInt("VLPIO", "Timeout", 500);
    CNotifyQueue queue;
    CRecordingMessages messages;
    auto second = std::make_unique<CVLPEngine>(&store);
    second->SetNotifySink(&queue);
    second->SetUserMessages(&messages);
    second->Start();
    ASSERT_TRUE(queue.WaitFor(nkLinkStatus, lsStopped, kLong)) << "the second engine did not give up";
    auto boxes = messages.Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "Error: Open of " + first.pty.Path());
    EXPECT_EQ(boxes[0].second, "port in use: " + first.pty.Path());

    // The first engine: same line settings, same speed, still answering, no box.
    struct termios after {};
    ASSERT_EQ(tcgetattr(first.pty.Slave(), &after), 0);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(first.pty.SlaveSpeed(), speedBefore);
    first.engine->QueueText("&PIAfirst");
    EXPECT_EQ(PollOn(first.pty), "&PIAfirst");
    EXPECT_TRUE(first.messages.Boxes().empty());
    EXPECT_TRUE(first.engine->IsOpen());

    // Once the first lets go, the second gets the port.
    first.engine->Stop();
    second->Start();
    ASSERT_TRUE(queue.WaitFor(nkLinkStatus, lsInitializing, kLong));
    second->QueueText("&PIAsecond");
    EXPECT_EQ(PollOn(first.pty), "&PIAsecond");
    EXPECT_EQ(messages.Boxes().size(), 1u);
    second.reset();
}

// ---------------------------------------------------------------------------------------
// Line settings

TEST(LineSettings, OpenSetsEverythingWhateverTheLastProgramLeft) {
    CPty pty;
    // Another program left the tty cooked, echoing, with flow control, 7E2 and hang-up on close.
    struct termios odd {};
    ASSERT_EQ(tcgetattr(pty.Slave(), &odd), 0);
    odd.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
    odd.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP;
    odd.c_oflag |= OPOST;
    odd.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CLOCAL);
    odd.c_cflag |= CS7 | PARENB | CSTOPB | CRTSCTS | HUPCL;
    odd.c_cc[VMIN] = 1;
    odd.c_cc[VTIME] = 5;
    cfsetispeed(&odd, B19200);
    cfsetospeed(&odd, B19200);
    ASSERT_EQ(tcsetattr(pty.Slave(), TCSANOW, &odd), 0);
    ASSERT_FALSE(LineSettingsTaken(odd));

    CPortOn port(pty.Path());
    CVLPIO& io = port.io;
    ASSERT_TRUE(io.Open());
    struct termios t {};
    ASSERT_EQ(tcgetattr(pty.Slave(), &t), 0);
    EXPECT_TRUE(LineSettingsTaken(t));
    ExpectRawLine(pty.Slave());
    EXPECT_EQ(pty.SlaveSpeed(), 1200); // read back through termios2
    EXPECT_EQ(io.CurrentBaud(), 1200);
    EXPECT_TRUE(port.messages.Boxes().empty());
    // Raw: bytes that a cooked line would change or swallow pass as they are.
    const unsigned char raw[] = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x1A, 0x7F, 0xE1};
    pty.Write(Bytes(raw, raw + sizeof raw));
    for (unsigned char b : raw)
        EXPECT_EQ(io.GetByte(), b);
    io.PutString(raw, sizeof raw);
    EXPECT_EQ(Hex(pty.Read(sizeof raw)), "0D 0A 11 13 03 1A 7F E1");
}

TEST(LineSettings, ReadBackRefusesEachMissingSetting) {
    struct termios good {};
    cfmakeraw(&good);
    good.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    good.c_cflag |= CS8 | CLOCAL | CREAD;
    good.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    good.c_cc[VMIN] = 0;
    good.c_cc[VTIME] = 0;
    ASSERT_TRUE(LineSettingsTaken(good));
    struct Bad {
        const char* what;
        void (*spoil)(struct termios&);
    };
    const Bad bad[] = {
        {"7 bits", [](struct termios& t) { t.c_cflag = (t.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7; }},
        {"parity", [](struct termios& t) { t.c_cflag |= PARENB; }},
        {"two stop bits", [](struct termios& t) { t.c_cflag |= CSTOPB; }},
        {"RTS/CTS", [](struct termios& t) { t.c_cflag |= CRTSCTS; }},
        {"hang-up on close", [](struct termios& t) { t.c_cflag |= HUPCL; }},
        {"modem lines", [](struct termios& t) { t.c_cflag &= ~static_cast<tcflag_t>(CLOCAL); }},
        {"receiver off", [](struct termios& t) { t.c_cflag &= ~static_cast<tcflag_t>(CREAD); }},
        {"XON/XOFF", [](struct termios& t) { t.c_iflag |= IXON; }},
        {"canonical", [](struct termios& t) { t.c_lflag |= ICANON; }},
        {"echo", [](struct termios& t) { t.c_lflag |= ECHO; }},
        {"output processing", [](struct termios& t) { t.c_oflag |= OPOST; }},
        {"VMIN", [](struct termios& t) { t.c_cc[VMIN] = 1; }},
        {"VTIME", [](struct termios& t) { t.c_cc[VTIME] = 1; }},
    };
    for (const Bad& b : bad) {
        struct termios t = good;
        b.spoil(t);
        EXPECT_FALSE(LineSettingsTaken(t)) << b.what;
    }
}

TEST(LineSettings, LowLatencyIsBestEffort) {
    // A pseudo-terminal has no serial driver settings: the request fails, the port opens.
    CPty pty;
    EXPECT_FALSE(RequestLowLatency(pty.Slave()));
    int null = ::open("/dev/null", O_RDWR);
    ASSERT_GE(null, 0);
    EXPECT_FALSE(RequestLowLatency(null));
    ::close(null);
    CPosixSerialPort port;
    int error = 0;
    ASSERT_TRUE(port.Open(pty.Path(), error)) << error;
    EXPECT_EQ(port.Baud(), 1200);
    port.Close();
}

// ---------------------------------------------------------------------------------------
// A line that never takes what is written (flow stopped, or a peer that reads nothing)

TEST(BlockedLine, StopEndsAWriteThatNeverCompletes) {
    CEngineOnPty e(60000);
    e.Start();
    EXPECT_EQ(PollOn(e.pty), "");
    const std::size_t filled = e.pty.FillFromPc();
    ASSERT_GT(filled, 0u);
    e.engine->QueueText("&PIAstuck");
    e.Poll(); // the answer cannot be written
    EXPECT_TRUE(WaitFor(
        [&] { return e.engine->m_State.load() == sTxDo || e.engine->m_State.load() == sTxWait; }, kLong));
    std::this_thread::sleep_for(300ms); // now inside the write: nothing else shows it blocked
    EXPECT_EQ(e.engine->m_State.load(), sTxDo) << "the write did not block";
    const auto t = Clock::now();
    auto stopped = std::async(std::launch::async, [&] { e.engine->Stop(); });
    // Well inside the port's own 10 s write limit: the stop itself ended the write.
    ASSERT_EQ(stopped.wait_for(std::chrono::milliseconds(CPosixSerialPort::kWriteTimeoutMs / 2)),
              std::future_status::ready);
    std::printf("[ measured ] stop during a blocked write (%zu bytes queued): %.1f ms\n", filled, MsSince(t));
    EXPECT_FALSE(e.engine->IsRunning());
    EXPECT_FALSE(e.engine->IsOpen());
    EXPECT_TRUE(e.messages.Boxes().empty()) << "a stop is no error";
}

TEST(BlockedLine, CloseIsBoundedWithUnsentData) {
    CPty pty;
    CPortOn port(pty.Path());
    CVLPIO& io = port.io;
    ASSERT_TRUE(io.Open());
    ASSERT_GT(pty.FillFromPc(), 0u);
    const auto t = Clock::now();
    auto closed = std::async(std::launch::async, [&] { io.Close(); });
    ASSERT_EQ(closed.wait_for(std::chrono::milliseconds(CPosixSerialPort::kDrainLimitMs * 3)),
              std::future_status::ready);
    std::printf("[ measured ] close with a full output queue: %.1f ms (drain limit %u ms)\n", MsSince(t),
                CPosixSerialPort::kDrainLimitMs);
    EXPECT_FALSE(io.IsOpen());
    // The port is free again at once.
    ASSERT_TRUE(io.Open());
    EXPECT_TRUE(port.messages.Boxes().empty());
    io.Close();
}

} // namespace
} // namespace vq5::test
