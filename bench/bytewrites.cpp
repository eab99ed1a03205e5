// What the byte-by-byte writing of an information frame costs on a pseudo-terminal: the frame
// layer writes SOH, ADR, STX, block, length, each payload byte, ETX, C1 and C2 each with its
// own write, and every write waits until the system has taken the byte. Compared with the
// same frame in one write, and with the frame's time on the wire.
//
//   bench_bytewrites [--frames 2000] [--sizes 4,23,99] [--mode both|byte|whole]
//
// Write requests per frame are counted by a wrapper around the port; the system calls per
// frame can be checked with strace (bench/run.sh does: strace -f -c -e trace=write).
#include "BenchSupport.h"

#include "SettingsStore.h"
#include "VLPFrame.h"

#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sstream>
#include <thread>
#include <unistd.h>

using namespace vq5;
using namespace vq5::bench;

namespace {

// Reads the master side as fast as bytes come, so the PC's writes never wait for room.
class CDrain {
public:
    explicit CDrain(int fd) : m_Fd(fd), m_Thread([this] { Run(); }) {}
    ~CDrain() {
        m_Stop = true;
        m_Thread.join();
    }
    std::uint64_t Bytes() const { return m_Bytes.load(); }

private:
    void Run() {
        unsigned char buf[4096];
        while (!m_Stop.load()) {
            pollfd p{m_Fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            ssize_t n = ::read(m_Fd, buf, sizeof buf);
            if (n > 0)
                m_Bytes += static_cast<std::uint64_t>(n);
        }
    }
    int m_Fd;
    std::atomic<bool> m_Stop{false};
    std::atomic<std::uint64_t> m_Bytes{0};
    std::thread m_Thread;
};

std::vector<int> Sizes(const std::string& s) {
    std::vector<int> out;
    std::stringstream ss(s);
    std::string item;
    while (std::getline(ss, item, ','))
        if (!item.empty())
            out.push_back(std::atoi(item.c_str()));
    return out;
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // figures show as they come, also into a pipe
    const long frames = OptionInt(argc, argv, "--frames", 2000);
    const std::vector<int> sizes = Sizes(Option(argc, argv, "--sizes", "4,23,99"));
    const std::string mode = Option(argc, argv, "--mode", "both");
    if (frames <= 0 || sizes.empty() || (mode != "both" && mode != "byte" && mode != "whole")) {
        std::fprintf(stderr,
                     "usage: bench_bytewrites [--frames N] [--sizes 4,23,99] [--mode both|byte|whole]\n");
        return 2;
    }
    CPty pty;
    std::string error;
    if (!pty.Open(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    CDrain drain(pty.Master());
    CMemoryStore store;
    store.WriteString("VLPIO", "ComPort", pty.SlavePath());
    CVLPFrame frame(&store);
    CCountingPort::Counts counts;
    frame.SetPortFactory(CCountingPort::Factory(counts));
    if (!frame.Open()) {
        std::fprintf(stderr, "cannot open %s\n", pty.SlavePath().c_str());
        return 1;
    }
    std::printf("== Byte-by-byte writes of an information frame, %s\n", MachineText().c_str());
    for (int size : sizes) {
        if (size < 0 || size > 255)
            continue;
        std::string text(static_cast<std::size_t>(size), 'x');
        for (int i = 0; i < size; ++i)
            text[static_cast<std::size_t>(i)] = static_cast<char>('A' + i % 26);
        const std::vector<unsigned char> whole = InfoFrameBytes(text);
        const double wire1200 = static_cast<double>(whole.size()) * 10.0 / 1200.0 * 1e6;
        const double wire9600 = wire1200 / 8.0;
        const double wire19200 = wire1200 / 16.0;
        std::printf("-- payload %d characters, frame %zu bytes; on the wire %.0f us at 1200, %.0f at 9600, "
                    "%.0f at 19200 baud\n",
                    size, whole.size(), wire1200, wire9600, wire19200);
        for (const char* how : {"byte", "whole"}) {
            if (mode != "both" && mode != how)
                continue;
            const bool byByte = std::string(how) == "byte";
            std::vector<double> wall;
            wall.reserve(static_cast<std::size_t>(frames));
            const std::uint64_t w0 = counts.writes.load();
            const std::int64_t cpu0 = ThreadCpuNs();
            for (long i = 0; i < frames; ++i) {
                std::memcpy(frame.m_Data, text.data(), text.size());
                frame.m_Len = size;
                const std::int64_t t0 = NowNs();
                if (byByte)
                    frame.PutInfoFrame();
                else
                    frame.PutString(whole.data(), whole.size());
                wall.push_back(static_cast<double>(NowNs() - t0) / 1000.0);
            }
            const double cpuPerFrame =
                static_cast<double>(ThreadCpuNs() - cpu0) / 1000.0 / static_cast<double>(frames);
            const double writesPerFrame =
                static_cast<double>(counts.writes.load() - w0) / static_cast<double>(frames);
            const Summary s = Summarize(wall);
            std::printf("  %s\n",
                        FormatSummary(byByte ? "byte by byte (as the frame layer)" : "whole frame, one write",
                                      s, "us per frame", 2)
                            .c_str());
            std::printf("      write requests per frame %.1f, writer CPU %.2f us per frame = %.3f %% of the "
                        "frame's wire "
                        "time at 19200 baud (%.4f %% at 1200)\n",
                        writesPerFrame, cpuPerFrame, cpuPerFrame / wire19200 * 100.0,
                        cpuPerFrame / wire1200 * 100.0);
        }
    }
    frame.Close();
    std::printf("  bytes drained by the device side: %llu\n", static_cast<unsigned long long>(drain.Bytes()));
    std::printf("  %s\n", LoadText().c_str());
    return 0;
}
