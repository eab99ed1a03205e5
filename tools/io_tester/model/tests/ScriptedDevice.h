// A scripted VQ-5 for tests: the master side of the Velto link on a pseudo-terminal, with
// the device's answers given by the test. It polls and selects the PC, takes the PC's
// information frames (checking their check bytes) and hands the test's replies over in
// selects. Much smaller than the simulated device, so a test can give the device a behaviour
// of its own (for example: no line replies outside program mode).
#pragma once

#include "FrameCodec.h"
#include "PtyHelpers.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vq5::testing {

class CScriptedDevice {
public:
    // Replies to a message the device took from the PC; called on the device's thread.
    using Script = std::function<std::vector<std::string>(const std::string& taken)>;

    explicit CScriptedDevice(Script script) : m_Script(std::move(script)) {
        m_Thread = std::thread([this] { Run(); });
    }
    ~CScriptedDevice() {
        m_Run = false;
        m_Thread.join();
    }
    CScriptedDevice(const CScriptedDevice&) = delete;
    CScriptedDevice& operator=(const CScriptedDevice&) = delete;

    const std::string& Path() const { return m_Pty.Path(); }

    std::vector<std::string> Taken() const {
        std::lock_guard<std::mutex> g(m_Lock);
        return m_Taken;
    }
    std::size_t Count(const std::string& text) const {
        std::lock_guard<std::mutex> g(m_Lock);
        std::size_t n = 0;
        for (const auto& t : m_Taken)
            n += t == text;
        return n;
    }
    std::size_t Polls() const { return m_Polls.load(); }
    // Waits until `done` holds for the messages taken so far.
    bool WaitTaken(const std::function<bool(const std::vector<std::string>&)>& done,
                   std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> g(m_Lock);
        return m_Changed.wait_for(g, timeout, [&] { return done(m_Taken); });
    }

private:
    void Run() {
        using namespace std::chrono_literals;
        while (m_Run) {
            std::this_thread::sleep_for(5ms); // the device's own pace between polls
            if (m_Master < 0)
                continue;
            if (!m_ToPc.empty())
                Select();
            else
                Poll();
        }
    }

    void Write(const std::vector<unsigned char>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size() && m_Run) {
            const ssize_t n = write(m_Master, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    // One byte, or -1 after `ms` milliseconds.
    int Read(int ms) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (m_Run && std::chrono::steady_clock::now() < until) {
            unsigned char b = 0;
            if (read(m_Master, &b, 1) == 1)
                return b;
            pollfd p{m_Master, POLLIN, 0};
            // A master without an open slave reports POLLHUP at once: do not spin on it.
            if (::poll(&p, 1, 20) > 0 && (p.revents & (POLLHUP | POLLERR)))
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    void Poll() {
        ++m_Polls;
        Write(ControlFrameBytes(FrameType::poll));
        for (int attempt = 0; attempt < 5; ++attempt) {
            CFrameDecoder decoder(FrameSide::Device);
            int wait = 2500; // for the first byte; the rest of a frame follows at once
            const DecodedFrame& f = decoder.Read([&] {
                const int b = Read(wait);
                wait = 500;
                return b < 0 ? -2 : b;
            });
            if (f.type == FrameType::crcerror) {
                Write(ControlFrameBytes(FrameType::nak));
                continue; // the PC sends the frame again
            }
            if (f.type != FrameType::info)
                return; // EOT: nothing to send
            Write(ControlFrameBytes(FrameType::ack));
            Read(500); // EOT: NUL
            Read(500); //      EOT
            Take(f.payload);
            return;
        }
    }

    void Select() {
        Write(ControlFrameBytes(FrameType::select));
        if (Read(2500) != ADR || Read(500) != ACK)
            return;
        for (int attempt = 0; attempt < 5; ++attempt) {
            Write(InfoFrameBytes(m_ToPc.front()));
            const int a = Read(2500), b = Read(500);
            if (a == ADR && b == ACK) {
                m_ToPc.pop_front();
                return;
            }
        }
    }

    void Take(const std::string& text) {
        for (auto& reply : m_Script(text))
            m_ToPc.push_back(std::move(reply));
        {
            std::lock_guard<std::mutex> g(m_Lock);
            m_Taken.push_back(text);
        }
        m_Changed.notify_all();
    }

    Script m_Script;
    vq5::test::CPty m_Pty; // its slave side stays open: the line never hangs up between the PC's opens
    int m_Master = m_Pty.Master(); // the device's side, non-blocking
    std::atomic<bool> m_Run{true};
    std::atomic<std::size_t> m_Polls{0};
    std::deque<std::string> m_ToPc; // device thread only
    mutable std::mutex m_Lock;      // guards m_Taken
    std::condition_variable m_Changed;
    std::vector<std::string> m_Taken;
    std::thread m_Thread;
};

} // namespace vq5::testing
