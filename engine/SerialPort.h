// ISerialPort: the operating system's serial port as the engine needs it.
#pragma once

#include <cstddef>
#include <string>

namespace vq5 {

enum class ReadResult { Byte, Timeout, Interrupted, Failed };
enum class WriteResult { Done, Interrupted, Failed };

class ISerialPort {
public:
    virtual ~ISerialPort() = default;
    // Opens the device by name ("COM1".."COM8" are /dev/ttyS0..7 here; any other name is a
    // path), raw 8N1 at 1200 baud, DTR and RTS off, for exclusive use. On failure returns
    // false with errno-style `error` set.
    virtual bool Open(const std::string& name, int& error) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Waits up to timeoutMs for one byte. Interrupted when Interrupt() was called.
    virtual ReadResult ReadByte(unsigned char& byte, unsigned timeoutMs, int& error) = 0;
    // Writes all bytes (short writes and EINTR handled); `written` tells how many went out.
    virtual WriteResult Write(const unsigned char* bytes, std::size_t count, std::size_t& written, int& error) = 0;
    // Lets bytes already written leave the line (bounded), then sets the speed and reads it back.
    virtual bool SetBaud(int baud, int& error) = 0;
    virtual int Baud() const = 0;
    // Makes a waiting ReadByte/Write return Interrupted, now and until ClearInterrupt.
    virtual void Interrupt() = 0;
    virtual void ClearInterrupt() = 0;
};

// Maps a configured port name to the device path: "COM1".."COM8" -> "/dev/ttyS0".."/dev/ttyS7".
std::string PortDevicePath(const std::string& name);

// True for the errors after which the port is gone (EIO, ENXIO, ENODEV, EBADF): the line was
// unplugged or hung up; the engine closes it and opens it again later.
bool IsPortLost(int error);

} // namespace vq5
