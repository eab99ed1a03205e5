#include "ResetModel.h"

#include "CommandSet.h"
#include "VLPMsg.h"

#include <cstdio>

namespace vq5::factory_reset {

std::vector<std::string> CResetModel::Reset() {
    if (m_Busy)
        return {};
    m_Busy = true;
    m_Engine.EnterProgramMode();
    std::vector<std::string> commands = device::FactoryResetCommands();
    for (const std::string& command : commands)
        m_Engine.QueueText(command);
    m_Engine.LeaveProgramMode(true);
    return commands;
}

bool CResetModel::OnNotify(const Notification& n) {
    switch (n.kind) {
    case nkReceived:
        // The tool reads no reply; the text is the notification's own and goes with it.
        return false;
    case nkQueueEmpty:
        if (!m_Busy)
            return false;
        m_Busy = false;
        return true;
    default:
        return false;
    }
}

std::vector<std::string> CResetModel::Sequence(int fastBaudRate) {
    std::vector<std::string> texts{device::kEnterProgramMode};
    if (fastBaudRate >= 1 && fastBaudRate <= 5) {
        char speed[16];
        std::snprintf(speed, sizeof speed, device::kSpeedChangeFormat, fastBaudRate);
        texts.emplace_back(speed);
    }
    for (const std::string& command : device::FactoryResetCommands())
        texts.push_back(command);
    texts.emplace_back(device::kLeaveReboot);
    return texts;
}

} // namespace vq5::factory_reset
