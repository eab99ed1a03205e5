// Line speed of a Linux tty through the termios2 interface (TCGETS2/TCSETS2), which takes
// any rate (14400 has no Bxxx constant). Kept apart from <termios.h>, whose struct
// termios clashes with <asm/termbits.h>.
#pragma once

namespace vq5 {

// Sets input and output speed of the tty to `baud`; false with `error` (errno) on failure.
bool SetLineSpeed(int fd, int baud, int& error);
// The output speed the tty runs at, read back with TCGETS2; -1 on failure.
int ReadLineSpeed(int fd);
// Asks the driver to hand received bytes on at once (ASYNC_LOW_LATENCY through
// TIOCGSERIAL/TIOCSSERIAL; USB serial adapters). False when the tty has no such setting or
// refuses it; the caller goes on either way.
bool RequestLowLatency(int fd);

} // namespace vq5
