// Several devices at once: a verb given --port more than once runs once per port, each run
// on a thread of its own with its own engine, and ends with a table of port, identification,
// outcome and differences. The exit code is the worst of the runs.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vq5::cli {

// "" in a single run; "PORT<TAB>" on the thread of one port of several, to put before each
// line a verb prints, so that the lines of the ports can be told apart.
const std::string& LinePrefix();

// A file name for one port's output: "FILE" becomes "FILE.<port's last part>", or
// "STEM.<port>.EXT" when the name has an extension.
std::string PerPortFile(const std::string& file, const std::string& port);

// Runs `one` for every port at the same time, then prints the table on stdout.
int RunOnPorts(const char* verb, const std::vector<std::string>& ports,
               const std::function<int(const std::string& port)>& one);

} // namespace vq5::cli
