// The VQ-5 command set: codes, value formats, reply readers and the fixed command groups.
// Nothing here touches the port; tools queue what these build through CVLPMsg.
//
// Codes are written with the device letter 'P'; the message layer puts the device's own
// letter in when a text is sent. A reply is '&', device letter, class letter, item
// character, then the value from the fifth character on.
#pragma once

#include <cstddef>
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
const InfoItem* FindInfoItem(char item);

// Transponder filter constants ('K' class).
enum class FilterConstant : char { Window = 'W', Minimal = 'M', Offset = 'O', Stable = 'S' };
// The four in the order the tools show them.
inline constexpr FilterConstant kFilterConstants[4] = {FilterConstant::Window, FilterConstant::Minimal,
                                                       FilterConstant::Offset, FilterConstant::Stable};
// Its place in kFilterConstants.
int FilterConstantIndex(FilterConstant constant);
// A constant's value in the units the tools show: Window in ms (steps of 24 ms), Stable in ms
// (steps of 100 ms), Minimal a number of Vx pulses and Offset in ms as they stand.
int ConstantInUnits(FilterConstant constant, int value);
struct ConstantInfo {
    char item;        // 'W', 'M', 'O', 'S'
    const char* name; // information tool label, e.g. "Transp. Window"
};
const std::vector<ConstantInfo>& Constants();

// The gate under which a device of a given version knows a code ("&PFS", "&PIB", "&PKO",
// "&PS3", "&PXR", "$PRG"; the device letter is not looked at): "" always, "91<", "70>" ...;
// nullptr for a code the device does not have. Flags use their set gate (else the
// information tool's query gate), the filter constants "71>", the speed change "84>".
const char* DeviceGate(std::string_view code);

// True when the gates at the start of `gate` ("87>", "87>91<", "" ...) all let a device of
// version major.minor through: the message layer's test (GatesPass), digits upper-case hex.
bool GatePasses(std::string_view gate, unsigned major, unsigned minor);
// The text without its leading gates, as the message layer sends it (texts of 4 characters or
// fewer are never gated).
std::string_view StripGates(std::string_view text);

// Query and set forms. QueryCode('F', 'S') == "&PFS"; SetFlag('S', true) == "&PFS1".
std::string QueryCode(char cls, char item);
std::string SetFlag(char item, bool on, const std::string& gate = {});
std::string SetConstant(char item, unsigned value,
                        const std::string& gate = {}); // value masked to 4 bits, "%X"
std::string SetText(char item, const std::string& text, const std::string& gate = {});
// The longest text a set of a text item can carry under `gate` so that the whole message stays
// within the 99 characters of a message. SetText does not cut: callers check against this.
inline constexpr std::size_t kMaxMessageText = 99;
std::size_t MaxTextLength(const std::string& gate = {});
// "84>&PS%d" filled in: the speed change to step 0..5 (1200 ... 19200 baud).
std::string SpeedChange(int index);

// Offset encodings. Both forms are queued; the message layer lets exactly one through.
std::string OffsetSetNew(int offsetMs); // "82>&PKO%X" with (offset + 6) & 15
std::string OffsetSetOld(int offsetMs); // "82<&PKO%X" with (offset - 8) & 15
// Reading the offset back: devices 8.2 or later: digit + 10; earlier: sign-extended digit + 24.
int OffsetFromDigit(unsigned digit, unsigned major, unsigned minor);
// True for devices 8.2 or later (digit = offset - 10).
bool NewOffsetEncoding(unsigned major, unsigned minor);
// The digit a device of that version stores for an offset in ms.
unsigned OffsetDigit(int offsetMs, unsigned major, unsigned minor);
// The offset in ms a device of that version holds once `offsetMs` was sent: one hex digit
// carries 16 to 31 ms before 8.2 and 10 to 25 ms from 8.2 on; anything else wraps by 16.
int OffsetHeld(int offsetMs, unsigned major, unsigned minor);
// The largest offset a device may hold: 31 ms, before 8.2. Controls show 10 to 25 ms; a value
// read from a device above that is kept (and written back) until the user moves the control.
inline constexpr int kOffsetHeldMax = 31;
// A warning for an offset a device cannot hold, naming the value it will store; empty when it
// is held. With `versionKnown` for that version only, else for every device it may reach.
std::string OffsetWarning(int offsetMs, bool versionKnown, unsigned major, unsigned minor);

// A filter constant read back from its reply ("&PKO4", after the caller matched "&PK" with
// the device letter): the constant named by the fourth character and its value as the device
// holds it, the offset in ms as a device of that version encodes it (16 to 31 before 8.2, 10 to
// 25 from 8.2 on), the others 0 to 15. nullopt when the reply is shorter than five characters,
// names no filter constant, or its fifth character is no hexadecimal digit (either case).
struct ConstantReading {
    FilterConstant constant;
    int value;
};
std::optional<ConstantReading> ReadFilterConstant(std::string_view reply, unsigned major, unsigned minor);

// The Minimal-Window coupling of the filter constants: Minimal never stands above Window.
// Window moved below Minimal takes Minimal down with it; Minimal moved above Window takes
// Window up. Returns true when the other one changed.
bool CoupleWindowMinimal(FilterConstant moved, int& window, int& minimal);

// Value readers; each returns nullopt when the reply is too short to carry the value, and
// never reads past the end of the reply.
std::optional<bool> ReadFlag(std::string_view reply); // fifth character == '1'
// '0'..'9' -> 0..9, any other character: its code - 55 ('A' = 10 .. 'F' = 15). A damaged
// digit can give a value above 15 (or, below '7', a wrapped one whose low 4 bits are the
// two's-complement nibble): callers that do not mask check IsDeviceHexDigit first.
std::optional<unsigned> ReadConstant(std::string_view reply);
// Fifth character to the end; empty for a four-character reply, nullopt below four.
std::optional<std::string> ReadText(std::string_view reply);
struct Counters {
    std::uint32_t reboots, configInits, programMode;
};
// 3 x 8 hex digits from the fifth character; nullopt when the reply is shorter than 28
// characters or a field holds a character that is not a hexadecimal digit.
std::optional<Counters> ReadCounters(std::string_view reply);
// The 24 characters of a counters value, "%08X%08X%08X".
std::string FormatCounters(const Counters& counters);

// Matches a reply against a prefix built with the device letter (as AddressCommand does).
bool ReplyMatches(std::string_view reply, std::string_view adaptedPrefix);

// Fixed command groups of the I/O tester presets and the factory reset tool.
std::vector<std::string> BusPreset();
std::vector<std::string> TramPreset();
std::vector<std::string> FactoryResetCommands(); // "&PFE1" (between the program-mode entry and "&PXR")

} // namespace vq5::device
