// What the user is told when a serial port does not open.
//
// Most failures are the system's own text ("No such file or directory"). A port the user may
// not open (EACCES, EPERM) is almost always a missing group membership: the serial devices
// belong to a group ('dialout' on Debian and Ubuntu, 'uucp' on some others), so the text names
// that group and the command that adds the user to it.
#pragma once

#include <string>

namespace vq5 {

// The group a user must belong to for `devicePath`: the device file's group when that group
// may read and write it (and is not root's), else "dialout". Never fails: a device that
// cannot be looked at gives "dialout".
std::string PortAccessGroup(const std::string& devicePath);

// The message box text for an open that failed with `error`. The system's text `systemText`
// comes first; for EACCES and EPERM the device path and the remedy follow:
//   "Permission denied: /dev/ttyUSB0. Add your user to the group 'dialout'
//    (sudo adduser $USER dialout) and log in again."
// (one line). Any other error gives `systemText` unchanged.
std::string PortOpenErrorText(int error, const std::string& systemText, const std::string& devicePath,
                              const std::string& group = "dialout");

// The port operation a failure belongs to.
enum class PortStep : int { Open = 0, Read = 1, Write = 2 };

// The text of a port's error box in the tools, which say which port failed, why, and what
// happens next. `lost`: the port has gone away (unplugged,
// hung up), which the engine follows by opening it again until it is back. `openAdvice`: the
// last line after a failed open (where the port is chosen).
//   "Reading from /dev/ttyUSB0 failed: Input/output error.\n\nThe port is gone ..."
std::string PortFailureText(PortStep step, const std::string& port, const std::string& reason, bool lost,
                            const std::string& openAdvice);

} // namespace vq5
