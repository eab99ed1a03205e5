#include "IoTester.h"

#include "CommandSet.h"

#include <filesystem>
#include <system_error>

namespace vq5::io {

bool ExpertMarkerExists(const std::string& program, const std::string& directory) {
    std::error_code ec;
    std::filesystem::path dir =
        directory.empty() ? std::filesystem::current_path(ec) : std::filesystem::path(directory);
    if (ec)
        return false;
    return std::filesystem::exists(dir / (program + ".Lumark"), ec);
}

CIoTester::CIoTester(CVLP& engine, ISettingsStore* store)
    : m_Engine(engine), m_OwnSection(std::make_unique<CProfileSection>(kSettingsSection, store)),
      m_Section(*m_OwnSection) {
    Bind();
}

CIoTester::CIoTester(CVLP& engine, CProfileSection& section) : m_Engine(engine), m_Section(section) {
    Bind();
}

void CIoTester::Bind() {
    m_Inputs.fill(LampState::Active);
    m_Outputs.fill(LampState::Active);
    m_Section.BindInt(m_ShowInputs, "ShowInputs", 1);
    m_Section.BindInt(m_ShowOutputs, "ShowOutputs", 0);
}

void CIoTester::Begin() {
    m_Engine.EnterProgramMode();
    SetShowInputs(m_ShowInputs != 0);
    SetShowOutputs(m_ShowOutputs != 0);
}

void CIoTester::SetShowInputs(bool on) {
    m_ShowInputs = on ? 1 : 0;
    m_Inputs.fill(on ? LampState::Active : LampState::Disabled);
    m_Engine.m_PollInputs = on;
}

void CIoTester::SetShowOutputs(bool on) {
    m_ShowOutputs = on ? 1 : 0;
    m_Outputs.fill(on ? LampState::Active : LampState::Disabled);
    m_Engine.m_PollOutputs = on;
}

void CIoTester::Connect() {
    m_Engine.SetSpeed(0);
    m_Engine.EnterProgramMode();
}

void CIoTester::Disconnect() {
    m_Engine.LeaveProgramMode(false);
}

std::vector<std::string> CIoTester::Tram() {
    return QueuePreset(device::TramPreset());
}

std::vector<std::string> CIoTester::Bus() {
    return QueuePreset(device::BusPreset());
}

std::vector<std::string> CIoTester::QueuePreset(std::vector<std::string> texts) {
    if (!m_Expert)
        return {};
    for (const std::string& text : texts)
        m_Engine.QueueText(text);
    return texts;
}

CIoTester::Change CIoTester::HandleReceived(const std::string& text) {
    auto starts = [&text](const std::string& prefix) {
        return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
    };
    // The value begins at the fifth character; a reply of exactly four characters carries
    // an empty value and changes no lamp.
    if (m_ShowInputs && starts(m_Engine.AddressCommand(kPollInputs))) {
        ShowInputsValue(std::string_view(text).substr(4));
        return kInputs;
    }
    if (m_ShowOutputs && starts(m_Engine.AddressCommand(kPollOutputs))) {
        ShowOutputsValue(std::string_view(text).substr(4));
        return kOutputs;
    }
    return kNothing;
}

// Lamps whose character lies beyond the end of a short value keep what they showed.
void CIoTester::ShowInputsValue(std::string_view value) {
    m_LastInputs.assign(value.substr(0, kInputCount));
    const auto& lamps = InputLamps();
    for (std::size_t i = 0; i < kInputCount && i < value.size(); ++i)
        m_Inputs[i] = LampActive(value[i], lamps[i].polarity) ? LampState::Active : LampState::Inactive;
}

void CIoTester::ShowOutputsValue(std::string_view value) {
    m_LastOutputs.assign(value.substr(0, kOutputCount));
    const auto& lamps = OutputLamps();
    for (std::size_t i = 0; i < kOutputCount && i < value.size(); ++i)
        m_Outputs[i] = LampActive(value[i], lamps[i].polarity) ? LampState::Active : LampState::Inactive;
    const NumberDigits d = DecodeNumbers(value);
    m_LineText = LineNumberText(d);
    m_RunText = RunNumberText(d);
}

} // namespace vq5::io
