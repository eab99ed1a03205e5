// The simulated VQ-5's configuration, counters and texts, and their readable file form.
#pragma once

#include "TextCodec.h" // EscapeText, UnescapeText: the texts of the state file

#include <cstdint>
#include <map>
#include <string>

namespace vq5::sim {

struct DeviceState {
    std::string identifier = "Factory default"; // "&PIA"
    std::string datacall[3];                    // "&PIB", "&PIC", "&PID"
    std::map<char, bool> flags;                 // every flag item of the command set
    // Transponder filter constants as the device stores them: one digit 0..15 each. The
    // offset digit is in the encoding of the device's version (offset - 10 from 8.2 on,
    // the 4-bit two's complement of offset - 24 before).
    unsigned window = 8;
    unsigned minimal = 7;
    unsigned offsetDigit = 0;
    unsigned stable = 10;
    std::uint32_t reboots = 0;
    std::uint32_t configInits = 0;
    std::uint32_t programModeEntries = 0;
    std::string revision[13]; // "&PI0" ... "&PI<"
    std::string copyright;    // "&PIG"
    std::string software;     // "&PIH"
    std::string identText;    // free text after "PVQ-5 (87)" in the identification reply
    // Line and run number as the on-board system last gave them.
    int line = 0;
    int run = 0;
    // Not stored in the state file.
    bool programMode = false;

    bool operator==(const DeviceState&) const = default;
};

// The factory defaults of a device of that version (offset 22 ms in its encoding).
DeviceState FactoryState(unsigned major, unsigned minor);

// "key=value" lines, one per value; texts escaped (\\, \n, \r, \t, \xHH for other bytes
// outside printable ASCII) so every text survives a round trip.
std::string StateToText(const DeviceState& state, unsigned major, unsigned minor);
// Reads what StateToText wrote over `state`: unknown keys, comments and malformed lines are
// skipped (counted in `skipped`), values out of range keep the value they replace.
void StateFromText(const std::string& text, DeviceState& state, int* skipped = nullptr);

// Loads a state file over `state`. False (with `error`) when it cannot be read; a missing
// file is not an error when `missingOk`.
bool LoadStateFile(const std::string& path, DeviceState& state, std::string& error, bool missingOk = true);
// Writes a temporary file beside `path` and renames it over `path`.
bool SaveStateFile(const std::string& path, const DeviceState& state, unsigned major, unsigned minor,
                   std::string& error);

} // namespace vq5::sim
