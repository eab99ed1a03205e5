// The identification reply; see Identification.h.
#include "Identification.h"

#include "TextCodec.h"

namespace vq5 {

namespace {
// 0-9 and A-F only: a lower-case letter is no version digit.
int VersionDigit(char c) {
    return IsDeviceHexDigit(c) ? HexDigitValue(c) : -1;
}
} // namespace

std::optional<DeviceVersion> IdentificationVersion(std::string_view identification) {
    const std::size_t paren = identification.find('(');
    if (paren == std::string_view::npos || paren + 2 >= identification.size())
        return std::nullopt;
    const int major = VersionDigit(identification[paren + 1]);
    const int minor = VersionDigit(identification[paren + 2]);
    if (major < 0 || minor < 0)
        return std::nullopt;
    return DeviceVersion{static_cast<unsigned>(major), static_cast<unsigned>(minor)};
}

std::optional<DeviceIdentification> ReadIdentification(std::string_view reply) {
    if (reply.size() < 7 || reply[0] != '&' || reply.substr(2, 5) != "PVQ-5")
        return std::nullopt;
    DeviceIdentification id;
    id.letter = reply[1];
    std::string_view text = reply.substr(3, 63);
    text = text.substr(0, text.find('\0'));
    id.text = std::string(text);
    id.version = IdentificationVersion(id.text);
    return id;
}

} // namespace vq5
