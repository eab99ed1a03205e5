// The device's identification reply, read once for the message layer and the tools' models:
// '&', the device letter, "PVQ-5 (87) ..." with the version as two hexadecimal digits after
// the first '('.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vq5 {

struct DeviceVersion {
    unsigned major = 0, minor = 0;
    bool operator==(const DeviceVersion&) const = default;
};

// The two characters after the first '(' as version digits (0-9, A-F); nullopt when there is
// no '(' or a character after it is not such a digit (the version then stays as it was).
std::optional<DeviceVersion> IdentificationVersion(std::string_view identification);

struct DeviceIdentification {
    char letter = 'P';
    std::string text;                     // from the fourth character on, at most 63, up to a NUL
    std::optional<DeviceVersion> version; // IdentificationVersion(text)
};
// Reads a received text as the identification reply; nullopt for any other text.
std::optional<DeviceIdentification> ReadIdentification(std::string_view reply);

} // namespace vq5
