#include "PortOpenError.h"

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vq5 {

std::string PortAccessGroup(const std::string& devicePath) {
    const std::string fallback = "dialout";
    struct stat st {};
    if (devicePath.empty() || ::stat(devicePath.c_str(), &st) != 0)
        return fallback;
    // Membership only helps when the group may both read and write the device.
    if (st.st_gid == 0 || (st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return fallback;
    long hint = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 4096);
    for (int attempt = 0; attempt < 6; ++attempt) {
        struct group entry {};
        struct group* found = nullptr;
        const int rc = ::getgrgid_r(st.st_gid, &entry, buffer.data(), buffer.size(), &found);
        if (rc == ERANGE) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (rc != 0 || !found || !found->gr_name || !*found->gr_name)
            return fallback;
        const std::string name = found->gr_name;
        // A name that cannot be typed safely into the suggested command is not offered.
        for (char c : name) {
            const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                            c == '_' || c == '-' || c == '.';
            if (!ok)
                return fallback;
        }
        return name;
    }
    return fallback;
}

std::string PortOpenErrorText(int error, const std::string& systemText, const std::string& devicePath,
                              const std::string& group) {
    if (error != EACCES && error != EPERM)
        return systemText;
    const std::string g = group.empty() ? std::string("dialout") : group;
    std::string text = systemText;
    text += ": ";
    text += devicePath;
    text += ". Add your user to the group '";
    text += g;
    text += "' (sudo adduser $USER ";
    text += g;
    text += ") and log in again.";
    return text;
}

} // namespace vq5
