// CPosixSerialPort: ISerialPort on a POSIX tty (termios, non-blocking, poll).
//
// Every wait (read and write) also waits on an eventfd, so Interrupt() wakes a stop at once.
// The port is taken for exclusive use: flock(LOCK_EX|LOCK_NB), then TIOCEXCL.
#pragma once

#include "SerialPort.h"

#include <atomic>
#include <cerrno>
#include <string>

struct termios;

namespace vq5 {

// Open fails with this error when the tty does not keep the line settings it was given.
inline constexpr int kLineSettingsRefused = ENOTSUP;

// True when the settings read back from a tty are those the engine needs: raw 8N1, receiver
// on, modem lines ignored, no flow control, no hang-up on close, VMIN = VTIME = 0.
bool LineSettingsTaken(const struct termios& t);

// Sets those settings in `t` at 1200 baud (DTR kept as set at close); the caller writes them.
void MakeRawLine(struct termios& t);

class CPosixSerialPort : public ISerialPort {
public:
    CPosixSerialPort();
    ~CPosixSerialPort() override;

    // EBUSY in `error` means another program (or another engine) holds the port.
    bool Open(const std::string& name, int& error) override;
    void Close() override;
    bool IsOpen() const override;
    ReadResult ReadByte(unsigned char& byte, unsigned timeoutMs, int& error) override;
    WriteResult Write(const unsigned char* bytes, std::size_t count, std::size_t& written,
                      int& error) override;
    bool SetBaud(int baud, int& error) override;
    int Baud() const override;
    void Interrupt() override;
    void ClearInterrupt() override;

    // A write that cannot go on for this long fails with ETIMEDOUT (a line that never drains).
    static constexpr unsigned kWriteTimeoutMs = 10000;
    // The longest wait for written bytes to leave the line before a speed change or close.
    static constexpr unsigned kDrainLimitMs = 2000;

private:
    enum class Wait { Ready, Timeout, Interrupted, Failed };
    Wait WaitFor(int fd, short events, int timeoutMs, int& error);
    void Drain(int fd);

    std::atomic<int> m_Fd{-1}; // the open tty, -1 while closed
    int m_WakeFd = -1;         // eventfd, readable while interrupted; -1 if none could be made
    std::atomic<bool> m_Interrupted{false};
    std::atomic<int> m_Baud{0};
};

} // namespace vq5
