// The libFuzzer program of one harness; VQ5_FUZZ_ENTRY names its entry function.
#include "FuzzHarness.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return vq5::fuzz::VQ5_FUZZ_ENTRY(data, size);
}
