// The I/O tester's model: its settings, the state of its 27 lamps and two number texts, the
// handling of the line replies, and the messages its buttons queue. The dialog only draws
// what this holds; the command line prints it.
#pragma once

#include "IoLines.h"
#include "ProfileSection.h"
#include "VLP.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace vq5::io {

inline constexpr const char* kSettingsSection = "Settings_V2.3";
inline constexpr const char* kProgramName = "VQ5WTest";
inline constexpr const char* kNoHelp = "No HELP availeble!";

// True when "<program>.Lumark" exists in the directory (the current one when empty).
bool ExpertMarkerExists(const std::string& program, const std::string& directory = {});

class CIoTester {
public:
    // Binds "ShowInputs" (default 1) and "ShowOutputs" (default 0) in "Settings_V2.3" of the
    // store; written back when the model is destroyed. Every lamp starts active.
    explicit CIoTester(CVLP& engine, ISettingsStore* store = nullptr);
    // The same, binding into a section the caller owns (the dialog's own "Settings_V2.3");
    // it must outlive the fields' write-back, which happens when that section goes.
    CIoTester(CVLP& engine, CProfileSection& section);

    // After the engine has started: program-mode entry, then both check boxes applied as if
    // each had been clicked ("Show &inputs" first).
    void Begin();

    // Check boxes: store the value, disable the group's lamps (or show them active again) and
    // switch the engine's poll on or off.
    void SetShowInputs(bool on);
    void SetShowOutputs(bool on);
    // Only stores the two values (the dialog taking its control values).
    void StoreShowValues(bool inputs, bool outputs) {
        m_ShowInputs = inputs ? 1 : 0;
        m_ShowOutputs = outputs ? 1 : 0;
    }
    bool ShowInputs() const { return m_ShowInputs != 0; }
    bool ShowOutputs() const { return m_ShowOutputs != 0; }

    void Connect();    // base speed, then program-mode entry
    void Disconnect(); // program-mode exit without reboot
    // Expert presets: return the texts queued (as queued, gates in front); outside expert
    // mode they queue nothing and return none.
    std::vector<std::string> Tram();
    std::vector<std::string> Bus();
    void SetExpert(bool expert) { m_Expert = expert; }
    bool Expert() const { return m_Expert; }

    // A received text (notification kind 1). Returns what it changed.
    enum Change { kNothing = 0, kInputs = 1, kOutputs = 2 };
    Change HandleReceived(const std::string& text);

    LampState InputLamp(std::size_t i) const { return m_Inputs.at(i); }
    LampState OutputLamp(std::size_t i) const { return m_Outputs.at(i); }
    const std::string& LineText() const { return m_LineText; }
    const std::string& RunText() const { return m_RunText; }
    // Value characters the last reply of each group carried (for the command line).
    const std::string& LastInputs() const { return m_LastInputs; }
    const std::string& LastOutputs() const { return m_LastOutputs; }

    CVLP& Engine() { return m_Engine; }

private:
    void ShowInputsValue(std::string_view value);
    void ShowOutputsValue(std::string_view value);

    void Bind();
    // Queues a preset's texts in expert mode and returns them; none (nothing queued) outside it.
    std::vector<std::string> QueuePreset(std::vector<std::string> texts);

    CVLP& m_Engine;
    std::unique_ptr<CProfileSection> m_OwnSection;
    CProfileSection& m_Section;
    int m_ShowInputs = 1;
    int m_ShowOutputs = 0;
    bool m_Expert = false;
    std::array<LampState, kInputCount> m_Inputs;
    std::array<LampState, kOutputCount> m_Outputs;
    std::string m_LineText = kLineNumberInitial;
    std::string m_RunText = kRunNumberInitial;
    std::string m_LastInputs;
    std::string m_LastOutputs;
};

} // namespace vq5::io
