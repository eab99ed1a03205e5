// CWin32SerialPort: ISerialPort on a Windows COM port (CreateFile, DCB, overlapped I/O).
//
// One handle opened with FILE_FLAG_OVERLAPPED; a read event, a write event and a stop event.
// Every wait is WaitForMultipleObjects on the stop event and the I/O event, so Interrupt()
// wakes a read or write at once. A one-byte read that timed out stays outstanding and
// delivers to the next ReadByte. Close cancels what is outstanding (CancelIoEx), lets the
// output drain (bounded), purges both buffers and closes the handle.
#pragma once

#include "SerialPort.h"

#include <atomic>
#include <string>

namespace vq5 {

// Open fails with this error when the port does not keep the line settings it was given;
// SetBaud with it when the driver runs another speed. An application code (bit 29 set), so
// it is never taken for one of the system's.
inline constexpr int kWin32SettingsRefused = 0x20000001;

// The line settings the engine needs, as read back from the port with GetCommState.
struct CommLineSettings {
    unsigned long baud = 0;
    int byteSize = 0;
    int parity = -1;   // 0 none
    int stopBits = -1; // 0 one stop bit
    int dtrControl = -1;
    int rtsControl = -1; // 0 off for both
    bool ctsFlow = true, dsrFlow = true, xonXoff = true, dsrSensitive = true, abortOnError = true;
    // Raw 8N1, no flow control of any kind, no abort on error (the modem lines apart).
    bool Taken() const;
};

class CWin32SerialPort : public ISerialPort {
public:
    CWin32SerialPort();
    ~CWin32SerialPort() override;

    // The handle and its line settings (SetCommState).
    bool Open(const std::string& name, int& error) override;
    bool SetBaud(int baud, int& error) override;
    int Baud() const override;
    void Close() override;
    bool IsOpen() const override;
    // Overlapped reads and writes, ended early by Interrupt (an event the waits include).
    ReadResult ReadByte(unsigned char& byte, unsigned timeoutMs, int& error) override;
    WriteResult Write(const unsigned char* bytes, std::size_t count, std::size_t& written,
                      int& error) override;
    void Interrupt() override;
    void ClearInterrupt() override;

    // The settings the port runs with now, read with GetCommState; false when closed or the
    // call failed.
    bool ReadLineSettings(CommLineSettings& settings) const;

    // A write that cannot go on for this long fails with ERROR_TIMEOUT.
    static constexpr unsigned kWriteTimeoutMs = 10000;
    // The longest wait for written bytes to leave the line before a speed change or close.
    static constexpr unsigned kDrainLimitMs = 2000;

private:
    struct Handles;
    void Drain();
    void CancelRead();

    Handles* m_H; // the system handles (kept out of this header)
    std::atomic<bool> m_Interrupted{false};
    std::atomic<int> m_Baud{0};
    bool m_ReadPending = false;   // a one-byte read was started and has not delivered
    unsigned char m_ReadByte = 0; // the byte the outstanding read fills
};

} // namespace vq5
