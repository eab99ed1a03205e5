// Whole files as text, for the tests that check what a program wrote or give it a file to read.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace vq5::test {

// The file's bytes; "" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Replaces the file's contents with `text`, byte for byte.
inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

} // namespace vq5::test
