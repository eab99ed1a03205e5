// RunTool: the application object of every tool.
//
// Sets organisation "Lumark Electronics" and the application name (the program's), makes the
// tool's QSettings store the default store of every settings section, constructs the main
// dialog (its engine reads the connection settings), runs it modally, then shuts it down and
// destroys it (worker stopped, settings written). Returns the process's exit code.
#pragma once

#include <functional>
#include <memory>

class QDialog;

namespace vq5::qt {

class CToolDialog;

int RunTool(int argc, char** argv, const char* program, std::function<std::unique_ptr<CToolDialog>()> make);

// Closes the main dialog for a session end (SIGTERM, SIGINT, SIGHUP) like "&Exit", first
// closing any other dialog or message box open in front of it.
void CloseForSessionEnd(QDialog* dialog);

// True when Qt can find a display: DISPLAY or WAYLAND_DISPLAY set, as the platform chosen in
// QT_QPA_PLATFORM needs it (offscreen and other platforms need none).
bool HaveDisplay();
// The text shown instead of Qt's abort when there is none.
const char* NoDisplayText();

} // namespace vq5::qt
