// How much the simulated VQ-5 says beyond answering queries.
#pragma once

#include <optional>
#include <string>

namespace vq5::sim {

enum class DeviceProfile {
    // Answers every set with the value it now holds, the program-mode exit with "&?X", and
    // "&?II"/"&?IJ" also outside program mode.
    Default,
    // Only what every VQ-5 does: identifies itself on "$PRG" and answers queries in program
    // mode. No reply to a set (the program-mode exit and the speed change included), and the
    // I/O lines only in program mode.
    Strict,
};

// "default", "strict".
const char* ProfileName(DeviceProfile profile);
std::optional<DeviceProfile> ProfileFromName(const std::string& name);

} // namespace vq5::sim
