// The table of harnesses. A harness whose code is not part of this build (its library does
// not exist yet) is listed with no entry, so the replay test can say so.
#include "FuzzHarness.h"

namespace vq5::fuzz {

#if !defined(VQ5_FUZZ_HAVE_DEVICE)
#define FuzzDeviceReaders nullptr
#endif
#if !defined(VQ5_FUZZ_HAVE_PROGRAMMER)
#define FuzzProgrammerReplies nullptr
#define FuzzProgrammerConfigFile nullptr
#endif
#if !defined(VQ5_FUZZ_HAVE_INFORMATION)
#define FuzzInformationReplies nullptr
#endif
#if !defined(VQ5_FUZZ_HAVE_TRANSPONDER)
#define FuzzTransponderReplies nullptr
#endif
#if !defined(VQ5_FUZZ_HAVE_IO_TESTER)
#define FuzzIoTesterReplies nullptr
#endif
#if !defined(VQ5_FUZZ_HAVE_EMULATOR)
#define FuzzEmulatorReplies nullptr
#endif
#if !defined(VQ5_FUZZ_HAVE_SIM)
#define FuzzSimStateFile nullptr
#endif

const std::vector<HarnessInfo>& Harnesses() {
    static const std::vector<HarnessInfo> table = {
        {"frame_decoder", &FuzzFrameDecoder},
        {"message_layer", &FuzzMessageLayer},
        {"slave_link", &FuzzSlaveLink},
        {"device_readers", FuzzDeviceReaders},
        {"programmer_replies", FuzzProgrammerReplies},
        {"information_replies", FuzzInformationReplies},
        {"transponder_replies", FuzzTransponderReplies},
        {"io_tester_replies", FuzzIoTesterReplies},
        {"emulator_replies", FuzzEmulatorReplies},
        {"profile_settings", &FuzzProfileSettings},
        {"programmer_config", FuzzProgrammerConfigFile},
        {"sim_state_file", FuzzSimStateFile},
    };
    return table;
}

const HarnessInfo* FindHarness(const std::string& name) {
    for (const HarnessInfo& info : Harnesses())
        if (name == info.name)
            return &info;
    return nullptr;
}

} // namespace vq5::fuzz
