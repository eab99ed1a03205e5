// What the service record asks of the operating system: the calendar time in UTC, who is
// working and on which computer, and the user's data folder. One file per platform.
#pragma once

#include <string>

namespace vq5::record {

struct UtcTime {
    int year, month, day, hour, minute, second;
};
UtcTime UtcOf(long long secondsSinceEpoch);

std::string OperatorName(); // the login name, "" when unknown
std::string HostName();     // "" when unknown
// The user's settings folder: $XDG_CONFIG_HOME, else $HOME/.config ("" when neither is set).
std::string ConfigHome();
// The user's data folder: $XDG_DATA_HOME, else $HOME/.local/share ("" when neither is set).
std::string DataHome();

} // namespace vq5::record
