// The hyperlink label's opening rules that do not need a window: the error text for a result
// code of the platform's open action, and the fallback that starts the registered web browser
// with the target.
#pragma once

#include <string>

namespace vq5::qt {

// Result codes of the platform's open action above 32 mean success.
inline constexpr int kOpenSucceeded = 33;

// The text for a failed open's result code ("Unknown Error (%d) occurred." for codes not in
// the table). The message box shows "Unable to open hyperlink:\n\n" followed by it.
std::string HyperlinkErrorText(int result);
std::string HyperlinkErrorMessage(int result); // with the leading "Unable to open hyperlink:\n\n"

// Builds the browser's command line from its registered open command and the target: the
// command is cut at the quoted placeholder "\"%1\"" (the quotation mark before it included),
// else at a bare "%1"; without a placeholder the whole command is used; then a space and the
// target are appended. The registered command is taken at most 260 characters long.
std::string BrowserCommandLine(const std::string& registeredCommand, const std::string& target);

} // namespace vq5::qt
