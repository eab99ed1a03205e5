// The wall clock's local time, the same call on POSIX and Windows.
#pragma once

#include <ctime>

namespace vq5 {

inline std::tm LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

} // namespace vq5
