// ISerialPort: the operating system's serial port as the engine needs it.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace vq5 {

// Whole milliseconds left until `deadline`, 0 once it has passed, in the type the system's
// wait calls take.
template <class Ms> Ms RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    return left < 0 ? Ms{0} : static_cast<Ms>(left);
}

enum class ReadResult { Byte, Timeout, Interrupted, Failed };
enum class WriteResult { Done, Interrupted, Failed };

class ISerialPort {
public:
    ISerialPort() = default;
    virtual ~ISerialPort() = default;
    // A port owns its descriptor or handle: it is never copied.
    ISerialPort(const ISerialPort&) = delete;
    ISerialPort& operator=(const ISerialPort&) = delete;
    // Opens the device by name (see PortDevicePath), raw 8N1 at 1200 baud, DTR and RTS off,
    // no flow control, for exclusive use. On failure returns false with `error` set: the
    // system's error code (errno on POSIX, GetLastError on Windows), as every `error` here.
    virtual bool Open(const std::string& name, int& error) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Waits up to timeoutMs for one byte. Interrupted when Interrupt() was called.
    virtual ReadResult ReadByte(unsigned char& byte, unsigned timeoutMs, int& error) = 0;
    // Writes all bytes (short writes and EINTR handled); `written` tells how many went out.
    virtual WriteResult Write(const unsigned char* bytes, std::size_t count, std::size_t& written,
                              int& error) = 0;
    // Lets bytes already written leave the line (bounded), then sets the speed and reads it back.
    virtual bool SetBaud(int baud, int& error) = 0;
    virtual int Baud() const = 0;
    // Makes a waiting ReadByte/Write return Interrupted, now and until ClearInterrupt.
    virtual void Interrupt() = 0;
    virtual void ClearInterrupt() = 0;
};

// Each platform file (PosixSerialPort.cpp, Win32SerialPort.cpp) defines what follows.

// The port of this system: CPosixSerialPort or CWin32SerialPort.
std::unique_ptr<ISerialPort> MakeSystemSerialPort();

// Maps a configured port name to the name the system opens. POSIX: "COM1".."COM8" ->
// "/dev/ttyS0".."/dev/ttyS7". Windows: "COM<n>" -> "\\.\COM<n>" (needed from COM10 on).
// Any other name is taken as it stands.
std::string PortDevicePath(const std::string& name);

// True for the errors after which the port is gone (POSIX: EIO, ENXIO, ENODEV, EBADF): the
// line was unplugged or hung up; the engine closes it and opens it again later.
bool IsPortLost(int error);

// The system's own text for an error code (strerror, FormatMessage), without a line break.
std::string PortErrorText(int error);

// The text of the box when Open of `name` failed with `error`: "port in use: COM3" when
// another program holds the port, the line settings that were refused, the access remedy, or
// the system's text.
std::string PortOpenFailureText(const std::string& name, int error);

} // namespace vq5
