#include "VL.h"

#include "LocalTime.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace vq5::emu {

std::string DisplayMessage(int line, int run, int hour, int minute) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "$%03d/%03d   %02d:%02d XX", line, run, hour, minute);
    return buf;
}

std::string Announcement(int line, int run) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "=%03d%03d0011777777799999", line, run);
    return buf;
}

int NextLineNumber(int line) {
    if (line < 0 || line >= 999) // 999, or what cannot be typed in: three digits start again
        return 0;
    ++line;
    return line == 800 ? 0 : line;
}

int WireNumber(int number) {
    return std::clamp(number, 0, 999);
}

ClockTime LocalClock() {
    const std::tm tm = LocalTimeNow();
    return {tm.tm_hour, tm.tm_min};
}

CVL::CVL(ISettingsStore* store) : CVLPEngine(store), m_Clock(&LocalClock) {}

// The worker must be gone before this object's TxMessage can no longer be called.
CVL::~CVL() {
    Stop();
}

int CVL::TxMessage(unsigned char* buffer) {
    int length = CVLPMsg::TxMessage(buffer);
    if (length == 0) {
        std::string text;
        if (m_InquiryPending.load()) {
            std::int32_t line = m_LineNumber.load();
            text = Announcement(WireNumber(line), WireNumber(m_RunNumber.load()));
            // A number typed in meanwhile wins over the increment.
            if (m_AutoIncrement.load())
                m_LineNumber.compare_exchange_strong(line, NextLineNumber(line));
            m_InquiryPending = 0;
        } else {
            const ClockTime t = m_Clock();
            text = DisplayMessage(WireNumber(m_LineNumber.load()), WireNumber(m_RunNumber.load()), t.hour,
                                  t.minute);
        }
        // At most 2 x 11 digits more than the 23 of the announcement: far below the buffer.
        std::memcpy(buffer, text.c_str(), text.size() + 1);
        length = static_cast<int>(text.size());
        Notify(nkGenerated, 0, text);
    }
    m_Len = length;
    Trace(3, "CVL::TxMessage() = $");
    return length;
}

bool CVL::RxMessage(const unsigned char* data, unsigned length) {
    if (length == 1 && data[0] == '?')
        m_InquiryPending = 1;
    return CVLPMsg::RxMessage(data, length);
}

} // namespace vq5::emu
