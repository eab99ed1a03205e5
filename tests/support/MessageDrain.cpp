#include "MessageDrain.h"

#include "VLPMsg.h"

namespace vq5::test {

std::vector<std::string> DrainTexts(CVLPMsg& msg, bool keepHeldBack, int limit) {
    std::vector<std::string> sent;
    for (int turn = 0; turn < limit && msg.QueueLength() > 0; ++turn) {
        unsigned char buffer[300] = {};
        const int n = msg.TxMessage(buffer);
        if (n > 0 || keepHeldBack)
            sent.emplace_back(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n > 0 ? n : 0));
    }
    return sent;
}

bool ReceiveText(CVLPMsg& msg, const std::string& text) {
    return msg.RxMessage(reinterpret_cast<const unsigned char*>(text.data()),
                         static_cast<unsigned>(text.size()));
}

} // namespace vq5::test
