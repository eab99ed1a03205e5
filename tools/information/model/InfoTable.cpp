#include "InfoTable.h"
#include "TextCodec.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace vq5::information {

// clang-format off
const InfoRow kInfoTable[] = {
    {0x03, "",       "&PIA", dtText,     "Version config"},
    {0x09, "91<",    "&PIB", dtText,     "Datacall 0"},
    {0x09, "91<",    "&PIC", dtText,     "Datacall 1"},
    {0x09, "91<",    "&PID", dtText,     "Datacall 2"},
    {0x21, "",       "&PIE", dtText,     "All the flags"},
    {0x21, "",       "&PIF", dtCounters, "Counters"},
    {0x03, "",       "&PIG", dtText,     "Copyright"},
    {0x03, "",       "&PIH", dtText,     "Version software"},
    {0x21, "",       "&PII", dtText,     "I/O Lines input"},
    {0x21, "",       "&PIJ", dtText,     "I/O Lines output"},
    {0x05, "",       "&PI0", dtText,     "RCS ID - H"},
    {0x05, "",       "&PI1", dtText,     "RCS ID - MAIN"},
    {0x05, "",       "&PI2", dtText,     "RCS ID - CBF"},
    {0x05, "",       "&PI3", dtText,     "RCS ID - VTG"},
    {0x05, "",       "&PI4", dtText,     "RCS ID - TIM"},
    {0x05, "",       "&PI5", dtText,     "RCS ID - CFG"},
    {0x05, "",       "&PI6", dtText,     "RCS ID - V24"},
    {0x05, "",       "&PI7", dtText,     "RCS ID - EEP"},
    {0x05, "",       "&PI8", dtText,     "RCS ID - I2C"},
    {0x05, "",       "&PI9", dtText,     "RCS ID - DBG"},
    {0x05, "70>",    "&PI:", dtText,     "RCS ID - LED"},
    {0x05, "70>",    "&PI;", dtText,     "RCS ID - KEY"},
    {0x05, "70>",    "&PI<", dtText,     "RCS ID - TRP"},
    {0x11, "",       "&PFS", dtFlag,     "StreekVetag"},
    {0x11, "91<",    "&PFT", dtFlag,     "LijnNrTabel"},
    {0x11, "",       "&PFD", dtFlag,     "DienstNrMax79"},
    {0x11, "91<",    "&PFR", dtFlag,     "Bit19GpKey"},
    {0x11, "91<",    "&PFC", dtFlag,     "DatacallLijnNr"},
    {0x11, "91<",    "&PFB", dtFlag,     "DatacallAtBoot"},
    {0x11, "91<",    "&PFK", dtFlag,     "DatacallGpKey"},
    {0x11, "",       "&PFO", dtFlag,     "OpenbaarVetag"},
    {0x11, "",       "&PFP", dtFlag,     "Programmer"},
    {0x11, "",       "&PFE", dtFlag,     "ClearConfig"},
    {0x11, "",       "&PFQ", dtFlag,     "TestOnReboot"},
    {0x51, "87>91<", "&PFV", dtFlag,     "Paralelle transp."},
    {0x51, "87>91<", "&PFI", dtFlag,     "Serieel invert"},
    {0x11, "83>",    "&PFG", dtFlag,     "Ready-To-Go"},
    {0x11, "85>",    "&PFL", dtFlag,     "DoorLussen"},
    {0x11, "91>",    "&PFF", dtFlag,     "Stadsvervoer Bus"},
    {0x11, "91>",    "&PF1", dtFlag,     "Stadsvervoer CAT1"},
    {0x11, "91>",    "&PF2", dtFlag,     "Stadsvervoer CAT2"},
    {0x01, "72>",    "&PKW", dtConstant, "Transp. Window"},
    {0x01, "72>",    "&PKM", dtConstant, "Transp. Minimal"},
    {0x01, "72>",    "&PKO", dtConstant, "Transp. Offset"},
    {0x01, "72>",    "&PKS", dtConstant, "Transp. Stable"},
    {0x80, "",       "&PP",  dtSuppress, "Niet weergeven"},
    {0x80, "",       "&PX",  dtSuppress, "Niet weergeven"},
    {0x00, "",       nullptr, 0,         nullptr},
};
// clang-format on

std::size_t InfoRowCount() {
    std::size_t n = 0;
    while (kInfoTable[n].command)
        ++n;
    return n;
}

bool RowSelected(const InfoRow& row, std::uint32_t groupBit, bool expert) {
    if ((row.mask & groupBit) == 0)
        return false;
    return (row.mask & gExpert) == 0 || expert;
}

std::vector<std::string> RequestTexts(std::uint32_t groupBit, bool expert) {
    std::vector<std::string> texts;
    for (const InfoRow* row = kInfoTable; row->command; ++row)
        if (RowSelected(*row, groupBit, expert))
            texts.push_back(std::string(row->gate) + row->command);
    return texts;
}

bool RowMatches(const InfoRow& row, std::string_view reply) {
    if (!row.command)
        return false;
    std::string_view command(row.command);
    if (command.size() < 2)
        return false;
    std::string_view tail = command.substr(2); // what follows "&P"
    if (tail.empty())
        return false;
    // The reply's characters from its third on; a reply too short to hold them does not match.
    if (reply.size() < 2 + tail.size())
        return false;
    return reply.substr(2, tail.size()) == tail;
}

namespace {

// One counter field: exactly 8 hex digits (either case), else nothing (shown as "?").
std::string CounterField(std::string_view value, std::size_t index) {
    std::size_t start = index * 8;
    if (value.size() < start + 8)
        return "?";
    const auto n = ParseNumber<std::uint32_t>(value.substr(start, 8), 16);
    if (!n)
        return "?";
    return std::to_string(static_cast<long>(static_cast<std::int32_t>(*n)));
}

} // namespace

std::string FormatValue(const InfoRow& row, std::string_view reply) {
    if (reply.size() <= 4)
        return {}; // nothing after the four-character code
    std::string_view value = reply.substr(4);
    std::string text;
    switch (row.display) {
    case dtText:
        text.assign(value);
        break;
    case dtFlag:
        text = value[0] == '1' ? "Flag: On" : "Flag: Off";
        break;
    case dtCounters:
        text = "reboots=" + CounterField(value, 0) + ", config init=" + CounterField(value, 1) +
               ", program mode=" + CounterField(value, 2);
        break;
    case dtConstant:
        text = std::string("Constant: ") + value[0];
        break;
    default: // suppress, and anything unknown
        break;
    }
    if (text.size() > kMaxValueText)
        text.resize(kMaxValueText);
    return text;
}

std::vector<ListRow> RowsForReply(std::string_view reply) {
    std::vector<ListRow> rows;
    if (reply.empty() || reply[0] != '&')
        return rows;
    for (const InfoRow* row = kInfoTable; row->command; ++row) {
        if (!RowMatches(*row, reply))
            continue;
        std::string value = FormatValue(*row, reply);
        if (!value.empty())
            rows.push_back({row->label, std::move(value)});
    }
    return rows;
}

std::uint32_t GroupByName(std::string_view name) {
    struct Named {
        std::string_view name;
        std::uint32_t group;
    };
    static constexpr Named kNames[] = {{"all", gAllInfo},         {"version", gVersion},   {"rcs", gRcsIds},
                                       {"datacalls", gDataCalls}, {"settings", gSettings}, {"misc", gMisc}};
    for (const Named& n : kNames)
        if (n.name == name)
            return n.group;
    return 0;
}

bool ExpertMarkerPresent(const std::string& programName, const std::string& directory) {
    if (programName.empty())
        return false;
    std::error_code ec;
    std::filesystem::path p = std::filesystem::path(directory) / (programName + ".Lumark");
    return std::filesystem::exists(p, ec);
}

} // namespace vq5::information
