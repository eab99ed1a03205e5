#include "VLP.h"

#include <cstring>

namespace vq5::io {

CVLP::CVLP(ISettingsStore* store) : CVLPEngine(store) {}

// The worker must be gone before this object's TxMessage can no longer be called.
CVLP::~CVLP() {
    Stop();
}

int CVLP::TxMessage(unsigned char* buffer) {
    int length = CVLPMsg::TxMessage(buffer);
    if (length != 0)
        return length;

    const char* poll = nullptr;
    if (m_PollInputs.load() && m_InputsNext.load()) {
        poll = kPollInputs;
        m_InputsNext = false;
    } else if (m_PollOutputs.load()) {
        poll = kPollOutputs;
        m_InputsNext = true;
    } else if (m_PollInputs.load()) {
        poll = kPollInputs;
        m_InputsNext = false;
    }
    if (poll) {
        // The poll goes out as it stands: the device letter is put only into queued texts.
        std::memcpy(buffer, poll, 5);
        length = 4;
    } else {
        buffer[0] = 0;
    }
    m_Len = length;
    Trace(3, "CVLP::TxMessage($)");
    return length;
}

} // namespace vq5::io
