// The message layer's queue taken out the way the worker does at each poll.
#pragma once

#include <string>
#include <vector>

namespace vq5 {
class CVLPMsg;
}

namespace vq5::test {

// One text per transmit opportunity until the queue is empty. A held-back text sends nothing:
// with `keepHeldBack` it gives "" in the list, otherwise it is left out. At most `limit` turns.
std::vector<std::string> DrainTexts(CVLPMsg& msg, bool keepHeldBack = false, int limit = 1000);

// Hands `text` to the message layer as a message from the device; what RxMessage returns.
bool ReceiveText(CVLPMsg& msg, const std::string& text);

} // namespace vq5::test
