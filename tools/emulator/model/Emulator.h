// The on-board system emulator's model: its settings, the message log lines it makes of the
// engine's notifications, and the checks of its two number fields.
#pragma once

#include "Notify.h"
#include "ProfileSection.h"
#include "VL.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vq5::emu {

inline constexpr const char* kSettingsSection = "Settings_V2.3";
inline constexpr const char* kProgramName = "VQ5WVLP";
inline constexpr const char* kAboutVersion = "1.4";
std::string AboutVersionLine(); // "VQ5 Tool VQ5WVLP, version 1.4"

// Message log. A line is formatted into 100 characters (99 and the terminator); its first
// character names the icon, except for the error line, which has none.
inline constexpr std::size_t kLogLineMax = 99;
enum LogIcon : int { kIconNone = -1, kIconSent = 0, kIconReceived = 1, kIconEvent = 2 };
struct LogEntry {
    int icon; // LogIcon, or 3..5 for the other images of the strip
    std::string text;
};
LogEntry SplitLogLine(const std::string& line);

// prefix + "\"" + text + "\"" cut to fit 99 characters: a text that does not fit is shortened
// and ends in "..." inside the quotes. Control characters of the text show as '.'; a NUL ends
// it.
std::string QuotedLine(const char* prefix, std::string_view text);
std::string ReceivedLogLine(std::string_view text); // by the class of its first character
std::string SentLogLine(std::string_view text);     // "0Message send: \"%s\""
// "%2d:%02d.%02d": minute, second and hundredths of the time (UTC).
std::string LogTime(std::chrono::system_clock::time_point t);

// Edit field check of the dialog framework: a whole number from lo to hi.
enum class FieldCheck { Ok, NotANumber, OutOfRange };
FieldCheck CheckNumberField(const std::string& text, int lo, int hi, int& value);
std::string FieldCheckMessage(FieldCheck result, int lo, int hi);

// The range of the line and run number fields (whole numbers 0 to 999).
inline constexpr int kNumberMin = 0;
inline constexpr int kNumberMax = 999;

class CEmulator {
public:
    // Binds "LijnNr" (123), "RunNr" (45) and "AutoIncrement" (0) in "Settings_V2.3".
    explicit CEmulator(CVL& engine, ISettingsStore* store = nullptr);
    // The same, binding into a section the caller owns (the dialog's own "Settings_V2.3").
    CEmulator(CVL& engine, CProfileSection& section);

    void PushNumbers();       // "LijnNr", "RunNr" into the engine
    void PushAutoIncrement(); // "AutoIncrement" into the engine
    void PullNumbers();       // the engine's line and run number into "LijnNr", "RunNr"

    // The log line a notification makes, or nothing for kinds without one. A received
    // message also pulls the engine's numbers.
    std::optional<std::string> LogLineFor(const Notification& n);

    CVL& Engine() { return m_Engine; }

    int m_LijnNr = 123;
    int m_RunNr = 45;
    int m_AutoIncrement = 0;

private:
    void Bind();

    CVL& m_Engine;
    std::unique_ptr<CProfileSection> m_OwnSection;
    CProfileSection& m_Section;
};

} // namespace vq5::emu
