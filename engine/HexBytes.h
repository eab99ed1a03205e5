// Bytes as upper-case hex pairs parted by blanks ("01 E1 02"): how logs and tests show the
// bytes on the line.
#pragma once

#include <string>
#include <vector>

namespace vq5 {

inline std::string HexBytes(const std::vector<unsigned char>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (unsigned char b : bytes) {
        if (!out.empty())
            out += ' ';
        out += kDigits[b >> 4];
        out += kDigits[b & 15u];
    }
    return out;
}

} // namespace vq5
