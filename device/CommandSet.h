// The VQ-5 command set: codes, value formats, reply readers and the fixed command groups.
// Nothing here touches the port; tools queue what these build through CVLPMsg.
//
// Codes are written with the device letter 'P'; the message layer puts the device's own
// letter in when a text is sent. A reply is '&', device letter, class letter, item
// character, then the value from the fifth character on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vq5::device {

// Program-mode sequence.
inline constexpr const char* kEnterProgramMode = "$PRG";
inline constexpr const char* kLeave = "&PX";
inline constexpr const char* kLeaveBaseSpeed = "&PX0";
inline constexpr const char* kLeaveReboot = "&PXR";
inline constexpr const char* kSpeedChangeFormat = "84>&PS%d";

// A flag of the device ('F' class).
struct FlagInfo {
    char item;                  // 'S', 'O', ...
    const char* name;           // information tool label, e.g. "StreekVetag"
    const char* setGate;        // gate on the set ("" none, "91<", "83>", ...), nullptr = never set by a tool
    const char* programmerGate; // gate on the programmer's query, nullptr = programmer does not query
    const char* infoGate;       // gate on the information tool's query, nullptr = not queried there
    bool expertOnly;            // queried only in expert mode
};
const std::vector<FlagInfo>& Flags();
const FlagInfo* FindFlag(char item);

// An information item ('I' class).
struct InfoItem {
    char item;        // 'A'..'J', '0'..'<'
    const char* name; // e.g. "Version config", "RCS ID - MAIN"
    const char* gate; // "" or "70>"
};
const std::vector<InfoItem>& InfoItems();

// Transponder filter constants ('K' class).
enum class FilterConstant : char { Window = 'W', Minimal = 'M', Offset = 'O', Stable = 'S' };

// Query and set forms. Query("F", 'S') == "&PFS"; SetFlag('S', true) == "&PFS1".
std::string QueryCode(char cls, char item);
std::string SetFlag(char item, bool on, const std::string& gate = {});
std::string SetConstant(char item, unsigned value, const std::string& gate = {}); // value masked to 4 bits, "%X"
std::string SetText(char item, const std::string& text, const std::string& gate = {});

// Offset encodings. Both forms are queued; the message layer lets exactly one through.
std::string OffsetSetNew(int offsetMs); // "82>&PKO%X" with (offset + 6) & 15
std::string OffsetSetOld(int offsetMs); // "82<&PKO%X" with (offset - 8) & 15
// Reading the offset back: devices 8.2 or later: digit + 10; earlier: sign-extended digit + 24.
int OffsetFromDigit(unsigned digit, unsigned major, unsigned minor);

// Value readers; each returns nullopt when the reply is too short to carry the value, and
// never reads past the end of the reply.
std::optional<bool> ReadFlag(std::string_view reply);          // fifth character == '1'
std::optional<unsigned> ReadConstant(std::string_view reply);   // '0'..'9' -> 0..9, other: code - 55
std::optional<std::string> ReadText(std::string_view reply);    // fifth character to the end
struct Counters {
    std::uint32_t reboots, configInits, programMode;
};
std::optional<Counters> ReadCounters(std::string_view reply); // 3 x 8 hex digits from the fifth character

// Matches a reply against a prefix built with the device letter (as AddressCommand does).
bool ReplyMatches(std::string_view reply, std::string_view adaptedPrefix);

// Fixed command groups of the I/O tester presets and the factory reset tool.
std::vector<std::string> BusPreset();
std::vector<std::string> TramPreset();
std::vector<std::string> FactoryResetCommands(); // "&PFE1" (between the program-mode entry and "&PXR")

} // namespace vq5::device
