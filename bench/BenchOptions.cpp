#include "BenchOptions.h"

#include <cstdlib>

namespace vq5::bench {

// ---- command line ---------------------------------------------------------------------

std::string Option(int argc, char** argv, const std::string& name, const std::string& def) {
    const std::string eq = name + "=";
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == name && i + 1 < argc)
            return argv[i + 1];
        if (a.compare(0, eq.size(), eq) == 0)
            return a.substr(eq.size());
    }
    return def;
}

long OptionInt(int argc, char** argv, const std::string& name, long def) {
    const std::string v = Option(argc, argv, name, "");
    if (v.empty())
        return def;
    char* end = nullptr;
    long r = std::strtol(v.c_str(), &end, 10);
    return (end && *end == 0) ? r : def;
}

bool Flag(int argc, char** argv, const std::string& name) {
    for (int i = 1; i < argc; ++i)
        if (name == argv[i])
            return true;
    return false;
}

} // namespace vq5::bench
