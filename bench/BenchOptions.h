// The benchmark programs' own options: "--name value" or "--name=value" and flags.
#pragma once

#include <string>

namespace vq5::bench {

// ---- command line ---------------------------------------------------------------------

// "--name value" or "--name=value" among argv; def when absent.
std::string Option(int argc, char** argv, const std::string& name, const std::string& def);
long OptionInt(int argc, char** argv, const std::string& name, long def);
bool Flag(int argc, char** argv, const std::string& name);

} // namespace vq5::bench
