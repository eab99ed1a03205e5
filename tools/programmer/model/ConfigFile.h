// The programmer's configuration as a file of "Key=Value" lines, the keys being the settings
// keys of the "VQ-5 / HUM-1 Programmer" window: escaping, parsing, writing, and turning a file
// into the values and write selection of the programmer's "&To". `vq5 config` reads and writes
// these files.
#pragma once

#include "ProgrammerModel.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vq5::programmer {

// Values in a file are written as they stand, except '\' as "\\" and characters outside
// printable ASCII as "\xHH", so that every text survives a round trip exactly.
std::string EscapeValue(const std::string& value);
std::optional<std::string> UnescapeValue(const std::string& value);

struct CConfigFile {
    std::vector<std::pair<std::string, std::string>> entries; // key, unescaped value, file order
    const std::string* Find(const std::string& key) const;
};
// Parses "Key=Value" lines; blank lines, lines starting with ';' or '#' and "[section]" lines are
// skipped. Unknown keys, repeated keys and lines without '=' are errors (line number in `error`).
std::optional<CConfigFile> ParseConfigFile(const std::string& text, std::string& error);
// Writes the keys given, in binding order, each with its current value, after the header lines.
std::string FormatConfigFile(const CProgrammerValues& v, const std::vector<std::string>& keys,
                             const std::vector<std::string>& headerComments);

// Turns a file into values and a write selection: tri-states absent from the file stay 2,
// the identifier is written when "ConfigID" is present (unless "CheckConfigID=0"), each filter
// constant when its key is present (unless "CheckTransConfig=0"). Range checks as in the window,
// and Minimal not above Window when both are given.
struct CFileWrite {
    CProgrammerValues values;
    CWriteSelection selection;
    std::vector<std::string> compared; // keys that --verify compares
    std::vector<std::string> notes;    // keys present but not written, with the reason
};
std::optional<CFileWrite> FileToWrite(const CConfigFile& file, std::string& error);

} // namespace vq5::programmer
