// Queueing one request of VQ5WInfo through the engine (kept apart from the table so that
// the table alone needs no engine).
#include "InfoTable.h"

#include "VLPMsg.h"

namespace vq5::information {

void QueueRequest(CVLPMsg& engine, std::uint32_t groupBit, bool expert) {
    engine.EnterProgramMode();
    for (const std::string& text : RequestTexts(groupBit, expert))
        engine.QueueText(text);
    engine.LeaveProgramMode(false);
}

} // namespace vq5::information
