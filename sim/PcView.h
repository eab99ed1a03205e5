// How the PC, waiting for a frame in a select, reads bytes the device is about to send: the
// frame layer's rules applied to the bytes (and the filler bytes that follow them when the PC
// stays silent). Used to keep the fault injector from making frames no receiver could catch:
// the check bytes are XOR sums, so some damage (two flips of one bit in one lane, a dropped
// byte whose place the next byte takes with matching value) leaves a frame that checks good
// but carries other content, and a damaged frame of four characters can read as EOT.
#pragma once

#include <string>
#include <vector>

namespace vq5::sim {

enum class PcView {
    Good,     // taken as the frame with this payload
    Rejected, // not taken: a check failure, or nothing the PC takes (it waits on)
    Misread,  // taken as something else: a frame with other content, EOT, a poll or a select
};

PcView ViewOfFrame(const std::vector<unsigned char>& wire, const std::string& payload);

} // namespace vq5::sim
