// CVL: the on-board system emulator's engine. At every transmit opportunity that finds the
// send queue empty it writes the on-board system's display message (line, run, local time),
// or, when the device has asked with a lone "?", the announcement with line and run number.
// Every generated message is also handed to the tool (notification kind 7).
#pragma once

#include "VLPEngine.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace vq5::emu {

// "$%03d/%03d   %02d:%02d XX" and "=%03d%03d0011777777799999".
std::string DisplayMessage(int line, int run, int hour, int minute);
std::string Announcement(int line, int run);
// The line number after an announcement with auto increment: one more, 800 becomes 0
// (numbers of 800 or more, which the edit field allows, keep counting up to 999, which is
// followed by 0: the fields hold three digits).
int NextLineNumber(int line);
// A line or run number as it goes out: numbers outside 0..999 (a hand-edited settings
// file) are taken as the nearest end of that range.
int WireNumber(int number);

struct ClockTime {
    int hour;   // 0..23, local time
    int minute; // 0..59
};
ClockTime LocalClock(); // the PC's local time now

class CVL : public CVLPEngine {
public:
    explicit CVL(ISettingsStore* store = nullptr);
    ~CVL() override;

    int TxMessage(unsigned char* buffer) override;
    bool RxMessage(const unsigned char* data, unsigned length) override;

    // Where the display message takes its time from (tests put a fixed time in). Set it
    // before the worker starts.
    void SetClock(std::function<ClockTime()> clock) { m_Clock = std::move(clock); }

    // Written by the GUI thread, read (and line number raised) by the worker.
    std::atomic<std::int32_t> m_AutoIncrement{0};
    std::atomic<std::int32_t> m_LineNumber{0};
    std::atomic<std::int32_t> m_RunNumber{0};
    // Set by the worker when the device sent "?", cleared when the announcement is written.
    std::atomic<std::int32_t> m_InquiryPending{0};

private:
    std::function<ClockTime()> m_Clock;
};

} // namespace vq5::emu
