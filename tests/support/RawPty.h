// A pseudo-terminal pair for the device's end of a line, header-only so that the benchmarks
// (built also against an engine without link statistics) use it without the tests' kit.
#pragma once

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <string>
#include <termios.h>

namespace vq5::test {

// Opens a pseudo-terminal pair, raw 8N1 at 1200 baud, the master side non-blocking, both
// descriptors closed on exec; false with the reason in `error`.
inline bool OpenRawPty(int& master, int& slave, std::string& path, std::string& error) {
    char name[256] = {};
    struct termios t {};
    cfmakeraw(&t);
    cfsetispeed(&t, B1200);
    cfsetospeed(&t, B1200);
    if (openpty(&master, &slave, name, &t, nullptr) != 0) {
        error = std::string("openpty: ") + std::strerror(errno);
        master = slave = -1;
        return false;
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    path = name;
    return true;
}

} // namespace vq5::test
