#include "FuzzSupport.h"

#include "VLPEngine.h"

#include <cstdio>
#include <cstdlib>

namespace vq5::fuzz {

namespace {
FailureHandler g_Handler = nullptr;
} // namespace

void SetFailureHandler(FailureHandler handler) {
    g_Handler = handler;
}

void Fail(const char* harness, const std::string& what) {
    if (g_Handler) {
        g_Handler(harness, what);
        return;
    }
    std::fprintf(stderr, "fuzz rule broken in %s: %s\n", harness, what.c_str());
    std::fflush(stderr);
    std::abort();
}

void CCheckTraceSink::AddLine(int, std::string line) {
    ++lines;
    VQ5_FUZZ_CHECK(m_Harness, line.size() < kMaxTraceLine, "trace line of " + std::to_string(line.size()));
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char b[4];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02X", c);
        out += b;
    }
    return out;
}

std::string Describe(const Notification& n) {
    return std::to_string(n.kind) + "/" + std::to_string(n.value) + "/" + Hex(n.text);
}

std::string Describe(const std::vector<Notification>& list) {
    std::string out = "[";
    for (const Notification& n : list)
        out += Describe(n) + " ";
    return out + "]";
}

} // namespace vq5::fuzz
