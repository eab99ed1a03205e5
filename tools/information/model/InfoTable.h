// The information item table of VQ5WInfo and everything the tool does with it that needs no
// window: which commands a request button queues, how a reply is matched back to its row,
// and how the reply's value becomes the text of the "Value" column.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vq5 {
class CVLPMsg;
}

namespace vq5::information {

// Group mask bits: which button requests a row.
enum GroupBit : std::uint32_t {
    gAllInfo = 0x01,   // "All info"
    gVersion = 0x02,   // "Version"
    gRcsIds = 0x04,    // "RCS Id's"
    gDataCalls = 0x08, // "Data Calls"
    gSettings = 0x10,  // "Settings" (the button)
    gMisc = 0x20,      // "Misc."
    gExpert = 0x40,    // requested only in expert mode
    gFilter = 0x80,    // never requested; recognises and suppresses a reply
};

// How a reply's value is shown.
enum DisplayType : int { dtText = 1, dtFlag = 4, dtCounters = 5, dtConstant = 6, dtSuppress = 8 };

struct InfoRow {
    std::uint32_t mask;
    const char* gate;    // version gate put in front of the command ("" none)
    const char* command; // "&P" and one or two characters; nullptr ends the table
    int display;
    const char* label; // the "Item" column
};

// The table, in queueing order, ended by a row whose command is nullptr.
extern const InfoRow kInfoTable[];
// Number of rows before the end marker (47).
std::size_t InfoRowCount();

inline constexpr std::size_t kMaxValueText = 1023;

// A row is requested by a button when its mask has the button's bit, and rows marked
// expert-only are requested only in expert mode.
bool RowSelected(const InfoRow& row, std::uint32_t groupBit, bool expert);

// The texts one request queues between program-mode entry and exit: the gate followed by
// the command, in table order.
std::vector<std::string> RequestTexts(std::uint32_t groupBit, bool expert);

// Queues one request: EnterProgramMode, one message per selected row, LeaveProgramMode
// without reboot.
void QueueRequest(CVLPMsg& engine, std::uint32_t groupBit, bool expert);

// Whether the reply (a received text) matches the row: the command's characters after "&P"
// compared with the reply's from its third character on; the device letter is not compared.
bool RowMatches(const InfoRow& row, std::string_view reply);

// The "Value" text of a reply for a row; empty means no list row.
//   text:      the reply from its fifth character on
//   flag:      "Flag: On" for '1', "Flag: Off" for any other character
//   counters:  "reboots=%ld, config init=%ld, program mode=%ld" from three fields of
//              8 hex digits (signed 32-bit); a field that is cut short or holds a
//              character that is not a hex digit shows "?" instead of a number
//   constant:  "Constant: %c" with the fifth character
//   suppress:  empty
// A reply without a fifth character has no value: empty for every type.
std::string FormatValue(const InfoRow& row, std::string_view reply);

struct ListRow {
    std::string item;
    std::string value;
    bool operator==(const ListRow&) const = default;
};

// The rows a received text adds to the list, in table order. Texts that do not begin with
// '&', match no row, or whose values are empty add none.
std::vector<ListRow> RowsForReply(std::string_view reply);

// Request group by name (command line): "all", "version", "rcs", "datacalls", "settings",
// "misc"; 0 for an unknown name.
std::uint32_t GroupByName(std::string_view name);

// Expert mode: a file <programName>.Lumark in the directory (the current one by default).
bool ExpertMarkerPresent(const std::string& programName, const std::string& directory = ".");

} // namespace vq5::information
