#include "LinkOpen.h"

#include <cstdio>

namespace vq5::qt {

std::string HyperlinkErrorText(int result) {
    switch (result) {
    case 0:
        return "The operating system is out\nof memory or resources.";
    case 2:
        return "The specified file was not found.";
    case 3:
        return "The specified path was not found.";
    case 5:
        return "The operating system denied\naccess to the specified file.";
    case 8:
        return "There was not enough memory to complete the operation.";
    case 11:
        return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
    case 26:
        return "A sharing violation occurred. ";
    case 27:
        return "The filename association is\nincomplete or invalid.";
    case 28:
        return "The DDE transaction could not\nbe completed because the request timed out.";
    case 29:
        return "The DDE transaction failed.";
    case 30:
        return "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
               "processed.";
    case 31:
        return "There is no application associated\nwith the given filename extension.";
    case 32:
        return "The specified dynamic-link library was not found.";
    default: {
        char text[64];
        std::snprintf(text, sizeof text, "Unknown Error (%d) occurred.", result);
        return text;
    }
    }
}

std::string HyperlinkErrorMessage(int result) {
    return "Unable to open hyperlink:\n\n" + HyperlinkErrorText(result);
}

std::string BrowserCommandLine(const std::string& registeredCommand, const std::string& target) {
    // The registry read takes at most 260 characters of the command.
    std::string command = registeredCommand.substr(0, 260);
    std::string::size_type cut = command.find("\"%1\"");
    if (cut == std::string::npos)
        cut = command.find("%1");
    if (cut != std::string::npos) {
        command.erase(cut);
        // "prog.exe" "%1" leaves "prog.exe" and a blank: one space goes before the target.
        while (!command.empty() && (command.back() == ' ' || command.back() == '\t'))
            command.pop_back();
    }
    return command + ' ' + target;
}

} // namespace vq5::qt
