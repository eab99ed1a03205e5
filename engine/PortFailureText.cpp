// The text of a port's error box in the tools: the same on every system.
#include "PortOpenError.h"

namespace vq5 {

std::string PortFailureText(PortStep step, const std::string& port, const std::string& reason, bool lost,
                            const std::string& openAdvice) {
    std::string text = step == PortStep::Open   ? port + " could not be opened: "
                       : step == PortStep::Read ? "Reading from " + port + " failed: "
                                                : "Writing to " + port + " failed: ";
    text += reason;
    if (!reason.empty() && reason.back() != '.')
        text += '.';
    text += "\n\n";
    if (step == PortStep::Open)
        text += openAdvice.empty() ? std::string("The link stays down until the port can be opened.")
                                   : openAdvice;
    else if (lost)
        text += "The port is gone (unplugged or hung up). The tool opens it again as soon as it is back and "
                "carries on by itself.";
    else
        text += "The tool goes on using the port; the status box shows whether the link recovers.";
    return text;
}

} // namespace vq5
