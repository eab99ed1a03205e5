// Only <asm/termbits.h> here: it defines its own struct termios, which <termios.h> also does.
#include "Termios2.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace vq5 {

namespace {
// The standard rate constants the line may be given; any other rate goes as BOTHER.
unsigned StandardCode(int baud) {
    switch (baud) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    default:
        return BOTHER;
    }
}
} // namespace

bool SetLineSpeed(int fd, int baud, int& error) {
    if (baud <= 0) {
        error = EINVAL;
        return false;
    }
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) < 0) {
        error = errno;
        return false;
    }
    // Output speed in CBAUD, input speed the same (CIBAUD cleared means "as output").
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= StandardCode(baud);
    t.c_ispeed = static_cast<speed_t>(baud);
    t.c_ospeed = static_cast<speed_t>(baud);
    if (ioctl(fd, TCSETS2, &t) < 0) {
        error = errno;
        return false;
    }
    return true;
}

bool RequestLowLatency(int fd) {
    struct serial_struct s {};
    if (ioctl(fd, TIOCGSERIAL, &s) < 0)
        return false;
    if (s.flags & ASYNC_LOW_LATENCY)
        return true;
    s.flags |= ASYNC_LOW_LATENCY;
    return ioctl(fd, TIOCSSERIAL, &s) == 0;
}

int ReadLineSpeed(int fd) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) < 0)
        return -1;
    return static_cast<int>(t.c_ospeed);
}

} // namespace vq5
