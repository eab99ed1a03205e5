// The VQ-5 command set: codes, value formats, reply readers and the fixed command groups.
#include "CommandSet.h"
#include "TextCodec.h"

#include "VLPMsg.h"

#include <cstdio>

namespace vq5::device {

namespace {

std::string Hex4(unsigned value) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string(1, digits[value & 15u]);
}

} // namespace

// ---------------------------------------------------------------------------------------
// Tables

const std::vector<FlagInfo>& Flags() {
    // item, label, set gate, programmer query gate, information tool query gate, expert only
    static const std::vector<FlagInfo> flags = {
        {'S', "StreekVetag", "", "", "", false},
        {'O', "OpenbaarVetag", "", "", "", false},
        {'T', "LijnNrTabel", "91<", "", "91<", false},
        {'D', "DienstNrMax79", "", "", "", false},
        {'R', "Bit19GpKey", "91<", "", "91<", false},
        {'C', "DatacallLijnNr", "91<", "91<", "91<", false},
        {'B', "DatacallAtBoot", "91<", "91<", "91<", false},
        {'K', "DatacallGpKey", "91<", "91<", "91<", false},
        {'E', "ClearConfig", "", "", "", false},
        {'Q', "TestOnReboot", "", "", "", false},
        {'G', "Ready-To-Go", "83>", "83>", "83>", false},
        {'L', "DoorLussen", "85>", "85>", "85>", false},
        {'V', "Paralelle transp.", "87>", "87>", "87>91<", true},
        {'F', "Stadsvervoer Bus", "91>", "91>", "91>", false},
        {'1', "Stadsvervoer CAT1", "91>", "91>", "91>", false},
        {'2', "Stadsvervoer CAT2", "91>", "91>", "91>", false},
        {'P', "Programmer", nullptr, nullptr, "", false},
        {'I', "Serieel invert", nullptr, nullptr, "87>91<", true},
        {'A', "", nullptr, "80>", nullptr, false},
    };
    return flags;
}

const FlagInfo* FindFlag(char item) {
    for (const FlagInfo& f : Flags())
        if (f.item == item)
            return &f;
    return nullptr;
}

const std::vector<InfoItem>& InfoItems() {
    static const std::vector<InfoItem> items = {
        {'A', "Version config", ""},   {'B', "Datacall 0", "91<"},    {'C', "Datacall 1", "91<"},
        {'D', "Datacall 2", "91<"},    {'E', "All the flags", ""},    {'F', "Counters", ""},
        {'G', "Copyright", ""},        {'H', "Version software", ""}, {'I', "I/O Lines input", ""},
        {'J', "I/O Lines output", ""}, {'0', "RCS ID - H", ""},       {'1', "RCS ID - MAIN", ""},
        {'2', "RCS ID - CBF", ""},     {'3', "RCS ID - VTG", ""},     {'4', "RCS ID - TIM", ""},
        {'5', "RCS ID - CFG", ""},     {'6', "RCS ID - V24", ""},     {'7', "RCS ID - EEP", ""},
        {'8', "RCS ID - I2C", ""},     {'9', "RCS ID - DBG", ""},     {':', "RCS ID - LED", "70>"},
        {';', "RCS ID - KEY", "70>"},  {'<', "RCS ID - TRP", "70>"},
    };
    return items;
}

const InfoItem* FindInfoItem(char item) {
    for (const InfoItem& i : InfoItems())
        if (i.item == item)
            return &i;
    return nullptr;
}

const std::vector<ConstantInfo>& Constants() {
    static const std::vector<ConstantInfo> constants = {
        {'W', "Transp. Window"},
        {'M', "Transp. Minimal"},
        {'O', "Transp. Offset"},
        {'S', "Transp. Stable"},
    };
    return constants;
}

const char* DeviceGate(std::string_view code) {
    if (code == kEnterProgramMode)
        return "";
    if (code.size() < 3 || code[0] != '&')
        return nullptr;
    const char cls = code[2];
    if (cls == 'X')
        return "";
    if (cls == 'S')
        return "84>";
    if (code.size() < 4)
        return nullptr;
    const char item = code[3];
    switch (cls) {
    case 'F': {
        const FlagInfo* f = FindFlag(item);
        if (!f)
            return nullptr;
        // The gate under which the device answers a flag is the one both tools agree on.
        if (f->setGate)
            return f->setGate;
        if (f->infoGate)
            return f->infoGate;
        return f->programmerGate;
    }
    case 'I': {
        const InfoItem* i = FindInfoItem(item);
        return i ? i->gate : nullptr;
    }
    case 'K':
        for (const ConstantInfo& c : Constants())
            if (c.item == item)
                return "71>";
        return nullptr;
    default:
        return nullptr;
    }
}

// ---------------------------------------------------------------------------------------
// Gates

bool GatePasses(std::string_view gate, unsigned major, unsigned minor) {
    // The message layer's own test, so a tool decides exactly as the engine sends.
    return vq5::GatesPass(std::string(gate), major, minor);
}

std::string_view StripGates(std::string_view text) {
    if (text.size() < 5 || (text[2] != '>' && text[2] != '<'))
        return text;
    if (text.size() >= 6 && (text[5] == '>' || text[5] == '<'))
        return text.substr(6);
    return text.substr(3);
}

// ---------------------------------------------------------------------------------------
// Query and set forms

std::string QueryCode(char cls, char item) {
    std::string code = "&P";
    code += cls;
    code += item;
    return code;
}

std::string SetFlag(char item, bool on, const std::string& gate) {
    return gate + QueryCode('F', item) + (on ? "1" : "0");
}

std::string SetConstant(char item, unsigned value, const std::string& gate) {
    return gate + QueryCode('K', item) + Hex4(value);
}

std::string SetText(char item, const std::string& text, const std::string& gate) {
    return gate + QueryCode('I', item) + text;
}

std::size_t MaxTextLength(const std::string& gate) {
    const std::size_t overhead = gate.size() + 4;
    return overhead >= kMaxMessageText ? 0 : kMaxMessageText - overhead;
}

std::string SpeedChange(int index) {
    char buf[16];
    std::snprintf(buf, sizeof buf, kSpeedChangeFormat, index);
    return buf;
}

// ---------------------------------------------------------------------------------------
// Offset encodings

std::string OffsetSetNew(int offsetMs) {
    return SetConstant('O', static_cast<unsigned>(offsetMs + 6) & 15u, "82>");
}

std::string OffsetSetOld(int offsetMs) {
    return SetConstant('O', static_cast<unsigned>(offsetMs - 8) & 15u, "82<");
}

bool NewOffsetEncoding(unsigned major, unsigned minor) {
    return GatePasses("82>", major, minor);
}

unsigned OffsetDigit(int offsetMs, unsigned major, unsigned minor) {
    return NewOffsetEncoding(major, minor) ? (static_cast<unsigned>(offsetMs + 6) & 15u)
                                           : (static_cast<unsigned>(offsetMs - 8) & 15u);
}

int OffsetFromDigit(unsigned digit, unsigned major, unsigned minor) {
    digit &= 15u;
    if (NewOffsetEncoding(major, minor))
        return static_cast<int>(digit) + 10;
    const int signedDigit = digit >= 8 ? static_cast<int>(digit) - 16 : static_cast<int>(digit);
    return signedDigit + 24;
}

int OffsetHeld(int offsetMs, unsigned major, unsigned minor) {
    return OffsetFromDigit(OffsetDigit(offsetMs, major, minor), major, minor);
}

std::optional<ConstantReading> ReadFilterConstant(std::string_view reply, unsigned major, unsigned minor) {
    if (reply.size() < 5)
        return std::nullopt;
    const char item = reply[3];
    if (item != 'W' && item != 'M' && item != 'O' && item != 'S')
        return std::nullopt;
    // Upper-case digits are what the device sends; lower case reads the same.
    const int value = HexDigitValue(reply[4]);
    if (value < 0)
        return std::nullopt;
    const auto digit = static_cast<unsigned>(value);
    const auto constant = static_cast<FilterConstant>(item);
    return ConstantReading{constant, constant == FilterConstant::Offset ? OffsetFromDigit(digit, major, minor)
                                                                        : static_cast<int>(digit)};
}

int FilterConstantIndex(FilterConstant constant) {
    for (int i = 0; i < 4; ++i)
        if (kFilterConstants[i] == constant)
            return i;
    return 0;
}

int ConstantInUnits(FilterConstant constant, int value) {
    switch (constant) {
    case FilterConstant::Window:
        return value * 24;
    case FilterConstant::Stable:
        return value * 100;
    default:
        return value;
    }
}

bool CoupleWindowMinimal(FilterConstant moved, int& window, int& minimal) {
    if (moved == FilterConstant::Window && window < minimal) {
        minimal = window;
        return true;
    }
    if (moved == FilterConstant::Minimal && minimal > window) {
        window = minimal;
        return true;
    }
    return false;
}

std::string OffsetWarning(int offsetMs, bool versionKnown, unsigned major, unsigned minor) {
    char text[160];
    if (versionKnown) {
        const int held = OffsetHeld(offsetMs, major, minor);
        if (held == offsetMs)
            return {};
        std::snprintf(text, sizeof text,
                      "an offset of %d ms cannot be held by this VQ-5 (version %X.%X): it will store %d ms",
                      offsetMs, major & 15u, minor & 15u, held);
        return text;
    }
    const int before82 = OffsetHeld(offsetMs, 8, 1);
    const int from82 = OffsetHeld(offsetMs, 8, 2);
    if (before82 != offsetMs && from82 != offsetMs)
        std::snprintf(text, sizeof text,
                      "an offset of %d ms cannot be held by any VQ-5: a device before 8.2 will store %d ms, "
                      "a later one %d ms",
                      offsetMs, before82, from82);
    else if (before82 != offsetMs)
        std::snprintf(
            text, sizeof text,
            "an offset of %d ms cannot be held by a VQ-5 before 8.2: such a device will store %d ms",
            offsetMs, before82);
    else if (from82 != offsetMs)
        std::snprintf(
            text, sizeof text,
            "an offset of %d ms cannot be held by a VQ-5 of 8.2 or later: such a device will store %d ms",
            offsetMs, from82);
    else
        return {};
    return text;
}

// ---------------------------------------------------------------------------------------
// Value readers

std::optional<bool> ReadFlag(std::string_view reply) {
    if (reply.size() < 5)
        return std::nullopt;
    return reply[4] == '1';
}

std::optional<unsigned> ReadConstant(std::string_view reply) {
    if (reply.size() < 5)
        return std::nullopt;
    const int c = static_cast<unsigned char>(reply[4]);
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0');
    // Any other character gives its code minus 55 ('A' = 10 ... 'F' = 15). Below '7' the
    // difference wraps; masked to 4 bits it is still the two's-complement low nibble.
    return static_cast<unsigned>(c - 55);
}

std::optional<std::string> ReadText(std::string_view reply) {
    if (reply.size() < 4)
        return std::nullopt;
    return std::string(reply.substr(4));
}

std::optional<Counters> ReadCounters(std::string_view reply) {
    if (reply.size() < 4 + 24)
        return std::nullopt;
    std::uint32_t values[3] = {0, 0, 0};
    for (int field = 0; field < 3; ++field) {
        std::uint32_t v = 0;
        for (int k = 0; k < 8; ++k) {
            const int d = HexDigitValue(reply[4 + 8 * field + k]);
            if (d < 0)
                return std::nullopt;
            v = (v << 4) | static_cast<std::uint32_t>(d);
        }
        values[field] = v;
    }
    return Counters{values[0], values[1], values[2]};
}

std::string FormatCounters(const Counters& counters) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08X%08X%08X", static_cast<unsigned>(counters.reboots),
                  static_cast<unsigned>(counters.configInits), static_cast<unsigned>(counters.programMode));
    return buf;
}

bool ReplyMatches(std::string_view reply, std::string_view adaptedPrefix) {
    return reply.size() >= adaptedPrefix.size() && reply.substr(0, adaptedPrefix.size()) == adaptedPrefix;
}

// ---------------------------------------------------------------------------------------
// Fixed command groups

std::vector<std::string> BusPreset() {
    // Ready-To-Go off, offset 22 ms in both encodings (digits E and C).
    return {SetFlag('G', false, "83>"), SetConstant('O', 14, "82<"), SetConstant('O', 12, "82>")};
}

std::vector<std::string> TramPreset() {
    // Ready-To-Go on, offset digit 0 before 8.2 (24 ms) and 5 from 8.2 on (15 ms).
    return {SetFlag('G', true, "83>"), SetConstant('O', 0, "82<"), SetConstant('O', 5, "82>")};
}

std::vector<std::string> FactoryResetCommands() {
    return {SetFlag('E', true)};
}

} // namespace vq5::device
