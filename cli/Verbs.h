// The verbs of the `vq5` command line. Each verb lives in its own verb_*.cpp and registers
// itself with a static VerbRegistrar; main() dispatches on the first argument.
#pragma once

#include <string>
#include <vector>

namespace vq5::cli {

using VerbMain = int (*)(int argc, char** argv); // argv[0] is the verb's name

struct Verb {
    std::string name;
    std::string summary; // one line, shown by `vq5 --help`
    VerbMain run;
};

std::vector<Verb>& Verbs();

struct VerbRegistrar {
    VerbRegistrar(const char* name, const char* summary, VerbMain run) {
        Verbs().push_back({name, summary, run});
    }
};

} // namespace vq5::cli
