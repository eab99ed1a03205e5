// Starting a tool program for a measure: its own settings folder (XDG_CONFIG_HOME) whose
// "Lumark Electronics/<tool>.conf" names the port, offscreen, with extra environment.
#pragma once

#include <string>
#include <vector>

namespace vq5::bench {

// A new empty folder under $TMPDIR (or /tmp); empty on failure.
std::string MakeTempDir(const std::string& prefix);
// Removes a folder made by MakeTempDir with everything in it.
void RemoveTree(const std::string& dir);

// Writes <configHome>/Lumark Electronics/<tool>.conf with [VLPIO] ComPort=<port>.
bool WriteToolSettings(const std::string& configHome, const std::string& tool, const std::string& port,
                       std::string& error);

class CToolProcess {
public:
    CToolProcess() = default;
    ~CToolProcess(); // kills a tool still running
    CToolProcess(const CToolProcess&) = delete;
    CToolProcess& operator=(const CToolProcess&) = delete;

    // Starts `path` with the current environment plus `env` ("NAME=value", replacing a
    // variable of that name), QT_QPA_PLATFORM=offscreen unless given, standard output and
    // error into `outputPath` (or /dev/null when empty). File descriptors without
    // close-on-exec are inherited.
    bool Start(const std::string& path, const std::vector<std::string>& env, const std::string& outputPath,
               std::string& error);
    // The same with arguments after the program name.
    bool Start(const std::string& path, const std::vector<std::string>& args,
               const std::vector<std::string>& env, const std::string& outputPath, std::string& error);
    int Pid() const { return m_Pid; }
    bool Running();
    // Waits up to ms for the end; true when it ended (exit status in *status).
    bool Wait(int ms, int* status = nullptr);
    // SIGTERM (the tools close as after "&Exit"), then SIGKILL after waitMs; true when it
    // ended by itself after SIGTERM.
    bool Terminate(int waitMs);

private:
    int m_Pid = -1;
};

} // namespace vq5::bench
