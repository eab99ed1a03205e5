// CVLP: the I/O tester's engine. Fills every transmit opportunity that finds the send queue
// empty with one of the two line queries, "&PII" (inputs) and "&PIJ" (outputs), alternating
// when both are wanted. Queued messages (program-mode entry and exit, presets) always go first.
#pragma once

#include "VLPEngine.h"

#include <atomic>

namespace vq5::io {

inline constexpr const char* kPollInputs = "&PII";
inline constexpr const char* kPollOutputs = "&PIJ";

class CVLP : public CVLPEngine {
public:
    explicit CVLP(ISettingsStore* store = nullptr);
    ~CVLP() override;

    // Worker thread: a queued message if there is one, else a poll by the alternation rule.
    int TxMessage(unsigned char* buffer) override;

    // Written by the GUI thread (check boxes), read by the worker.
    std::atomic<bool> m_PollInputs{false};
    std::atomic<bool> m_PollOutputs{false};
    // Alternation state, worker thread: the next idle poll is "&PII" when both polls are on.
    std::atomic<bool> m_InputsNext{true};
};

} // namespace vq5::io
