// ILinkCapture: receives every byte the engine reads or writes, with its time, and every
// change of the line speed. The port layer hands them over while a capture is attached
// (`vq5 ... --capture FILE`, "Record to file..." of the protocol log window); with none
// attached the port layer only tests one flag.
#pragma once

#include <chrono>
#include <cstddef>

namespace vq5 {

enum class LinkDirection : unsigned char {
    DeviceToPc = 0, // bytes the PC read
    PcToDevice = 1, // bytes the PC wrote
};

class ILinkCapture {
public:
    using Time = std::chrono::system_clock::time_point;
    virtual ~ILinkCapture() = default;
    // Called with the engine's capture lock held, on the worker (and, for Speed, on whichever
    // thread sets the speed); must not call back into the engine.
    virtual void Bytes(LinkDirection direction, const unsigned char* bytes, std::size_t count, int baud,
                       Time when) = 0;
    virtual void Speed(int baud, Time when) = 0;
};

} // namespace vq5
