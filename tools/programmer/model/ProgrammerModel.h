// The programmer's model: every value of the "VQ-5 / HUM-1 Programmer" window with its
// settings key and defaults, the read and write sequences it queues through the engine,
// the parsing of the device's replies, the Minimal-Window slider coupling and the version
// visibility of the controls. No windows here: the dialog binds its widgets to this, and
// `vq5 config` reuses it on the command line.
#pragma once

#include "CommandSet.h"
#include "Notify.h"
#include "ProfileSection.h"

#include <array>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace vq5 {
class CVLPMsg;
}

namespace vq5::programmer {

// Tri-state values of the datacall and flag check boxes.
enum TriState : int { tsOff = 0, tsOn = 1, tsIndeterminate = 2 };

// The option flags, in the order "&To" writes them.
enum FlagIndex : int {
    fClearEeprom = 0,
    fStreekvervoer,
    fOpenbaarVervoer,
    fVertaalLijnnummers,
    fMaxRunnummer,
    fVetag19GPKey,
    fSelftestAfterReboot,
    fReadyToGo,
    fDoorLussen,
    fParalelleTransponder,
    fStadBus,
    fStadCAT1,
    fStadCAT2,
    kFlagCount
};

struct FlagRow {
    char item;           // item character of the "&PF" code
    const char* label;   // check box text
    const char* key;     // settings key (spelling as stored)
    const char* setGate; // gate on the set ("" none)
    const char* tooltip; // "" none
};
const std::array<FlagRow, kFlagCount>& FlagRows();
int FlagIndexOfItem(char item); // -1 when the programmer does not keep that flag

inline constexpr int kDataCalls = 3;
struct DataCallRow {
    char flagItem;     // 'C', 'B', 'K' ("&PFC" ...)
    char textItem;     // 'B', 'C', 'D' ("&PIB" ...)
    const char* label; // "On change lijnnr" ...
    const char* enableKey;
    const char* textKey;
    const char* defaultText; // "&P.1" ...
};
const std::array<DataCallRow, kDataCalls>& DataCallRows();

enum Slider : int { slWindow = 0, slMinimal, slOffset, slStable, kSliderCount };
struct SliderRow {
    char item; // 'W', 'M', 'O', 'S'
    const char* name;
    const char* key;
    int min, max;
    int firstStart, byDefault;
};
const std::array<SliderRow, kSliderCount>& SliderRows();

// The offset as a device may hold it: one hex digit carries 16 to 31 ms before 8.2 and 10 to
// 25 ms from 8.2 on. The slider shows 10 to 25; a value read from the device above that is
// kept (and written back) as long as the slider is not moved.
inline constexpr int kOffsetHeldMax = device::kOffsetHeldMax;

// Limits of the texts.
inline constexpr std::size_t kConfigIdTypingLimit = 60; // the identifier box accepts 60 typed characters
inline constexpr std::size_t kMessageLimit = 99;        // one message, gate and code included

// "%d %B %Y: " with English month names, e.g. "05 March 2024: ".
std::string DateStamp(const std::tm& date);
std::string DateStampNow(); // the current local date

// Texts in the values are UTF-8, as the user types them and the settings keep them; the
// device's bytes are read as Latin-1. Only printable ASCII is ever sent (see WriteSequence).
std::string DeviceText(const std::string& bytes);

// The window's values, one member per control.
struct CProgrammerValues {
    int m_CheckConfigID = 0;
    std::string m_ConfigID;
    std::array<int, kDataCalls> m_DataCall{tsIndeterminate, tsIndeterminate, tsIndeterminate};
    std::array<std::string, kDataCalls> m_DataCallText{"&P.1", "&P.2", "&P.3"};
    std::array<int, kFlagCount> m_Flag{};
    int m_Reboot = 0;
    int m_CheckTransConfig = 0;
    std::array<int, kSliderCount> m_Slider{8, 7, 22, 10};

    CProgrammerValues();
    bool operator==(const CProgrammerValues&) const = default;
};

// What one program-mode batch carries between the entry ("$PRG" and the speed change) and the
// exit ("&PX"/"&PX0", or "&PXR" with reboot).
struct CSequence {
    std::vector<std::string> texts;
    bool reboot = false;
};
// Queues the batch: EnterProgramMode, every text as it stands, LeaveProgramMode(reboot).
void QueueSequence(CVLPMsg& engine, const CSequence& sequence);

// Which parts of the configuration a write carries besides the tri-states that are not 2.
// The window writes the identifier with "Configuratie identifier" checked and all four filter
// constants with "Transponder filter" checked; the command line may pick single constants.
struct CWriteSelection {
    bool identifier = false;
    std::array<bool, kSliderCount> filter{};
    // A datacall enabled with 1 also sends its text; the command line leaves out a text its
    // file does not give.
    std::array<bool, kDataCalls> dataCallText{true, true, true};
};

// What the device told us about itself, followed in the order the notifications arrive, so
// that a reply is read with the device letter and version that held when it was received
// (the engine's own copy may already have moved on, e.g. been reset by the program-mode exit).
struct CDeviceView {
    char letter = 'P';
    unsigned major = 0, minor = 0;
    std::string identification;
    unsigned identifications = 0; // identification replies seen
    unsigned exits = 0;           // program-mode exit replies seen
    // The version of the last identification, kept over the program-mode exit.
    unsigned identifiedMajor = 0, identifiedMinor = 0;
    // Mirrors the message layer on a received text: the identification reply sets the letter
    // and the version, the program-mode exit reply resets the version. True for either.
    bool Observe(const std::string& text);
    std::string Adapt(const std::string& code) const; // first "&P" -> '&' + letter
};

// Which controls of the version visibility table are shown.
struct CVisibility {
    bool filter = true;     // "Transponder filter" and the four sliders: "71>"
    bool paralelle = true;  // "Paralelle transponder": "87>91<" (and expert mode)
    bool readyToGo = true;  // "83>"
    bool doorLussen = true; // "85>"
    bool before91 = true;   // datacalls, "Vetag 19 is GP key", "Vertaal lijnnummers": "91<"
    bool stad = true;       // "Stad Bus (else Tram)", "Stad CAT1", "Stad CAT2": "91>"
    static CVisibility ForVersion(unsigned major, unsigned minor, bool expert);
    static CVisibility All(bool expert); // "&Default": the device version is not consulted
    bool operator==(const CVisibility&) const = default;
};

// Outcome of one received text.
struct CParseResult {
    bool matched = false;             // began with one of the four adapted prefixes
    std::vector<std::string> changed; // settings keys whose value the text set
    int slider = -1;                  // the slider whose labels (and coupling) ran, or -1
    int dataCall = -1;                // the datacall whose enable changed (edit box state), or -1
};

// Outcome of a notification for the window.
struct CNotifyOutcome {
    CParseResult parse;           // kind 1
    bool putValues = false;       // put the member values into the controls
    bool applyVisibility = false; // kind 5 with identification: apply m_Visibility
    bool becameIdle = false;      // kind 3: enable the device buttons, end the wait cursor
};

class CProgrammerModel {
public:
    CProgrammerModel();

    // Binds every value to the section in the order earlier versions wrote the settings (kept so their
    // settings files read the same), with the first-start defaults, then repairs values a damaged store may
    // hold (see Sanitize).
    void Bind(CProfileSection& section, const std::string& dateStamp = DateStampNow());
    // "&Default".
    void LoadDefaults(const std::string& dateStamp = DateStampNow());
    // Puts values out of their range back to something safe: tri-states to 2 (not written),
    // write boxes to 0, sliders to their first-start value. Returns the keys it changed.
    std::vector<std::string> Sanitize();

    // The range checks of taking the control values; the message names the control, or is
    // empty when every value is in range.
    std::string RangeCheck() const;

    // Slider labels and the Minimal-Window coupling, for one slider.
    void SliderChanged(Slider s);
    std::string SliderLabel(Slider s) const;

    // Read sequence ("&From"): every query, gated as the device versions need.
    static CSequence ReadSequence(bool expert);
    // Write sequence ("&To"). Returns nullopt and sets `error` (naming the field) when a text
    // to be written cannot travel in one message: too long, empty, or not printable ASCII.
    std::optional<CSequence> WriteSequence(const CWriteSelection& selection, std::string& error) const;
    std::optional<CSequence> WriteSequence(std::string& error) const; // selection from the write boxes

    // Parses a received text against the device view (first match wins).
    CParseResult Parse(const std::string& text);

    // The warning for a write whose offset the device cannot hold, naming what it will store
    // (for the device that identified itself last, or for any device before one did); empty
    // when the write carries no offset or the offset is held.
    std::string OffsetWarning(const CWriteSelection& selection) const;
    std::string OffsetWarning() const; // selection from the write boxes

    // The window's handling of a notification: follows the device view, parses kind 1,
    // tracks the busy state.
    CNotifyOutcome OnNotification(const Notification& n);

    // Busy from the start of a sequence until the queue runs empty (kind 3).
    void SetBusy(bool busy) { m_Busy = busy; }
    bool Busy() const { return m_Busy; }

    // A datacall edit box is enabled when its enable value is 1.
    bool DataCallEditEnabled(int i) const { return m_Values.m_DataCall[i] == tsOn; }

    CProgrammerValues m_Values;
    CDeviceView m_Device;
    CVisibility m_Visibility;
    bool m_Expert = false;
    // A filter reply runs the Minimal-Window coupling, as the window's sliders do. Off, the
    // values are what the device holds (the command line's files).
    bool m_CoupleReplies = true;

private:
    bool m_Busy = false;
};

// ---- Settings by key (the command line's configuration files use these, see ConfigFile.h) ----

// Keys in the order of binding, texts and numbers alike.
const std::vector<std::string>& AllKeys();
bool IsTextKey(const std::string& key);

// True when a device of that version has the setting of the key (its command passes the
// device's gate); false for a key that is not a setting.
bool KeyOnVersion(const std::string& key, unsigned major, unsigned minor);

// A value by key as its text in a file ("1", "22", the text), or nullopt for an unknown key.
std::optional<std::string> ValueText(const CProgrammerValues& v, const std::string& key);

// The largest value a slider's setting may hold: the slider's own, the offset's as a device
// holds it (kOffsetHeldMax).
int SliderHeldMax(Slider s);

} // namespace vq5::programmer
