// The simulated device's profile by its name in GoogleTest's test names and messages.
#pragma once

#include "Profile.h"

#include <ostream>

namespace vq5::sim {

inline void PrintTo(DeviceProfile profile, std::ostream* os) {
    *os << ProfileName(profile);
}

} // namespace vq5::sim
