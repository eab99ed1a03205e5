// VQ5WTCT without windows: the four transponder filter constants with their stored values,
// the Minimal-Window coupling, the frame titles and read-outs, the load and save sequences
// and the reading of the device's replies.
#pragma once

#include "Notify.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vq5 {
class CProfileSection;
class CVLPMsg;
} // namespace vq5

namespace vq5::tct {

enum Setting : int { sWindow = 0, sMinimal = 1, sOffset = 2, sStable = 3 };
inline constexpr int kSettingCount = 4;

struct SettingRange {
    int lo, hi;
};
SettingRange RangeOf(Setting s); // Window, Minimal, Stable 1..15; Offset 10..25
// What a setting may hold besides what its slider shows: an offset read from a device before
// 8.2 may be 26 to 31 ms (device::kOffsetHeldMax); it is kept until the user moves its slider.
SettingRange HeldRangeOf(Setting s);

// Defaults (first start and "&Default").
inline constexpr int kDefaultWindow = 8;
inline constexpr int kDefaultMinimal = 7;
inline constexpr int kDefaultOffset = 22;
inline constexpr int kDefaultStable = 10;
inline constexpr int kDefaultReboot = 0;

class CTransponderModel {
public:
    int m_Window = kDefaultWindow;
    int m_Minimal = kDefaultMinimal;
    int m_Offset = kDefaultOffset;
    int m_Stable = kDefaultStable;
    int m_Reboot = kDefaultReboot; // 0 or 1

    int& Value(Setting s);
    int Value(Setting s) const;

    // Binds "Reboot", "Window", "Minimal", "Offset", "Stable" (in that order) to the section.
    // A stored value outside what it may hold (HeldRangeOf) is brought into the slider's range
    // (a damaged reboot value becomes 0),
    // and a Minimal above Window is coupled, so the controls show what will be saved.
    void Bind(CProfileSection& section);

    // "&Default": the four constants to their defaults; the reboot box stays as it is.
    void Defaults();

    // "Window  [%d ms]" ... (two spaces before the bracket) and the raw read-out "%d".
    std::string FrameTitle(Setting s) const;
    std::string ReadOut(Setting s) const;

    // The value-text rule with the Minimal-Window coupling for one slider. Returns the
    // settings whose texts are to be set, in the order the rule visits them.
    std::vector<Setting> Couple(Setting s);
    // The rule for all four sliders.
    std::vector<Setting> CoupleAll();

    // Taking the control values: the values as the controls hold them, range-checked.
    // On a value outside its range the members stay unchanged and the message to show is
    // returned. An offset above the slider's range (read from a device before 8.2) stays
    // while the slider stands at its end, i.e. until the user moves it.
    std::optional<std::string> Take(int window, int minimal, int offset, int stable, bool reboot);

    // The texts of the two sequences, in queueing order. With `readBack` the save asks for the
    // four values after the sets, in the same program-mode visit, so that what the device
    // holds can be confirmed without relying on any answer to a set.
    static std::vector<std::string> LoadTexts();
    std::vector<std::string> SaveTexts(bool readBack = false) const;
    // The save's four sets (the offset in both encodings, each gated for its versions).
    std::vector<std::string> SetTexts() const;
    // The programmer's settings key of a constant ("TransConfigSliderWindow" ...), so that the
    // service record compares the two tools' values.
    static const char* SettingKey(Setting s);
    void QueueLoad(CVLPMsg& engine) const;
    // Queues SaveTexts and returns its sets (SetTexts): what the device is asked to hold.
    std::vector<std::string> QueueSave(CVLPMsg& engine, bool readBack = false) const;
    // The value each setting holds on a device of that version once saved: the offset as the
    // device stores it (OffsetHeld), the others as they are.
    int HeldValue(Setting s, unsigned major, unsigned minor) const;

    // A received text. `adaptedPK` is "&PK" with the device letter put in (AddressCommand);
    // major/minor is the device version to read the offset encoding with.
    enum class ReplyEffect {
        None,    // not a filter reply: nothing changes
        PutOnly, // a filter reply that sets nothing: put the member values into the controls
        Changed, // `changed` was set (and coupled); run the value texts, put the values
    };
    struct ReplyResult {
        ReplyEffect effect = ReplyEffect::None;
        Setting changed = sWindow;
        int deviceValue = 0;        // Changed: the value as the device holds it (not clamped, not coupled)
        std::vector<Setting> texts; // settings whose texts are to be set
    };
    ReplyResult ParseReply(std::string_view text, std::string_view adaptedPK, unsigned major, unsigned minor);
};

// The device version as of each notification, in the order the worker sent them: an
// identification (kind 5 with its text) sets it from the digits after the first '(', the
// program-mode exit (kind 5, value 0) resets it to 0.0. A reply is read with the version
// that held when it was received, not with the one the engine holds by the time the GUI
// gets to the reply (the exit that follows a load resets the engine's version at once).
class CVersionTracker {
public:
    void Seed(unsigned major, unsigned minor);
    void OnNotification(const Notification& n);
    unsigned Major() const { return m_Major; }
    unsigned Minor() const { return m_Minor; }
    // The version of the last identification, kept over the program-mode exit: what a
    // device that identified itself before will most likely be again.
    bool Identified() const { return m_Identified; }
    unsigned IdentifiedMajor() const { return m_IdentMajor; }
    unsigned IdentifiedMinor() const { return m_IdentMinor; }
    // The warning for an offset that device cannot hold (for any device before one identified
    // itself); empty when it is held.
    std::string OffsetWarning(int offsetMs) const;

private:
    unsigned m_Major = 0;
    unsigned m_Minor = 0;
    bool m_Identified = false;
    unsigned m_IdentMajor = 0;
    unsigned m_IdentMinor = 0;
};

// The message shown when a taken value is outside its range.
std::string RangeMessage(int lo, int hi);

} // namespace vq5::tct
