// Harness of the simulated device's state file reader.
#include "FuzzHarness.h"
#include "FuzzInput.h"
#include "FuzzSupport.h"

#include "DeviceState.h"

namespace vq5::fuzz {

// Input: the device version (one byte, two hexadecimal digits), then the file text.
int FuzzSimStateFile(const std::uint8_t* data, std::size_t size) {
    static const char* h = "sim_state_file";
    CFuzzInput in(data, size);
    const std::uint8_t version = in.Byte();
    const unsigned major = version >> 4, minor = version & 15u;
    const std::string text = in.Rest();

    VQ5_FUZZ_CHECK(h, UnescapeText(EscapeText(text)) == text, "escape round trip");

    sim::DeviceState state = sim::FactoryState(major, minor);
    int skipped = -1;
    sim::StateFromText(text, state, &skipped);
    VQ5_FUZZ_CHECK(h, skipped >= 0, "skipped lines not counted");
    VQ5_FUZZ_CHECK(h,
                   state.window <= 15 && state.minimal <= 15 && state.offsetDigit <= 15 && state.stable <= 15,
                   "a filter constant above one hexadecimal digit");
    VQ5_FUZZ_CHECK(h, state.line >= 0 && state.line <= 999 && state.run >= 0 && state.run <= 999,
                   "line or run number");

    // What is saved reads back as the same state.
    const std::string saved = sim::StateToText(state, major, minor);
    sim::DeviceState again = sim::FactoryState(major, minor);
    int skippedAgain = -1;
    sim::StateFromText(saved, again, &skippedAgain);
    again.programMode = state.programMode;
    VQ5_FUZZ_CHECK(h, skippedAgain == 0,
                   "a saved state has " + std::to_string(skippedAgain) + " unreadable lines");
    VQ5_FUZZ_CHECK(h, again == state, "state changed on a save and load");
    return 0;
}

} // namespace vq5::fuzz
