// The log-like trace sink and the counting port.
#include "BenchSupport.h"

#include "PosixSerialPort.h"
#include "SettingsStore.h"
#include "VLPEngine.h"
#include "VLPFrame.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>
#include <unistd.h>

using namespace vq5;
using namespace vq5::bench;

TEST(LogLikeSink, FiltersByMaskAndKeepsOrder) {
    CLogLikeSink sink(14); // Frame, Slave, Appl; I/O off
    sink.AddLine(0, "io line");
    sink.AddLine(1, "frame line");
    sink.AddLine(3, "appl line");
    sink.AddLine(4, "no such level");
    sink.AddLine(-1, "nor this");
    ASSERT_TRUE(sink.WaitStored(std::chrono::seconds(10)));
    EXPECT_EQ(sink.Handed(), 2u);
    EXPECT_EQ(sink.Stored(), 2u);
    EXPECT_EQ(sink.Line(0), "frame line");
    EXPECT_EQ(sink.Line(1), "appl line");
    EXPECT_EQ(sink.Line(2), "");
}

TEST(LogLikeSink, ManyLinesFromTwoThreadsAllStored) {
    CLogLikeSink sink(15);
    auto produce = [&sink](char tag) {
        for (int i = 0; i < 5000; ++i) {
            char line[16];
            std::snprintf(line, sizeof line, "%c%d", tag, i);
            sink.AddLine(i % 4, line);
        }
    };
    std::thread a(produce, 'a'), b(produce, 'b');
    a.join();
    b.join();
    ASSERT_TRUE(sink.WaitStored(std::chrono::seconds(10)));
    EXPECT_EQ(sink.Stored(), 10000u);
    // Each thread's lines keep their order.
    int lastA = -1, lastB = -1;
    for (std::size_t i = 0; i < sink.Stored(); ++i) {
        const std::string l = sink.Line(i);
        int& last = l[0] == 'a' ? lastA : lastB;
        const int n = std::stoi(l.substr(1));
        EXPECT_EQ(n, last + 1) << l;
        last = n;
    }
}

TEST(LogLikeSink, EngineTracesReachItWithTheFrameText) {
    CMemoryStore store;
    CVLPEngine engine(&store);
    CLogLikeSink sink(15);
    engine.SetTraceSink(&sink);
    std::memcpy(engine.m_Data, "&PIA", 4);
    engine.m_Len = 4;
    engine.Trace(3, "CVLPMsg::TxMessage() = $");
    engine.SetTraceSink(nullptr);
    engine.Trace(3, "not taken");
    ASSERT_TRUE(sink.WaitStored(std::chrono::seconds(10)));
    ASSERT_EQ(sink.Stored(), 1u);
    EXPECT_EQ(sink.Line(0), "CVLPMsg::TxMessage() = \"&PIA\"");
}

TEST(CountingPort, InfoFrameIsOneWritePerByte) {
    CPty pty;
    std::string error;
    ASSERT_TRUE(pty.Open(error)) << error;
    CMemoryStore store;
    store.WriteString("VLPIO", "ComPort", pty.SlavePath());
    CVLPFrame frame(&store);
    CCountingPort::Counts counts;
    frame.SetPortFactory([&counts] {
        return std::unique_ptr<ISerialPort>(new CCountingPort(std::make_unique<CPosixSerialPort>(), counts));
    });
    ASSERT_TRUE(frame.Open());
    std::memcpy(frame.m_Data, "$PRG", 4);
    frame.m_Len = 4;
    frame.PutInfoFrame();
    EXPECT_EQ(counts.writes.load(), 12u); // 5 head bytes, 4 payload bytes, ETX, C1, C2
    EXPECT_EQ(counts.bytesWritten.load(), 12u);
    // The device side sees the frame of the worked example.
    CMiniMaster m(pty.Master());
    CMiniMaster::Frame f = m.ReadFrame(5000);
    EXPECT_EQ(f.type, FrameType::info);
    EXPECT_EQ(f.text, "$PRG");

    const std::vector<unsigned char> whole = InfoFrameBytes("$PRG");
    frame.PutString(whole.data(), whole.size());
    EXPECT_EQ(counts.writes.load(), 13u);
    EXPECT_EQ(counts.bytesWritten.load(), 24u);
    EXPECT_EQ(m.ReadFrame(5000).text, "$PRG");

    const std::uint64_t readsBefore = counts.reads.load();
    ASSERT_EQ(::write(pty.Master(), "\x50\xE1\x05", 3), 3);
    EXPECT_EQ(frame.GetFrame(), FrameType::poll);
    EXPECT_GE(counts.reads.load(), readsBefore + 3);
    frame.Close();
}
