// Fuzz entry points. Each takes one input and drives one part of the tools with it; a crash,
// an overrun (under the sanitizers) or a broken rule (FuzzCheck) is a finding.
//
// The same functions serve the libFuzzer programs (fuzz_<name>, clang only) and the corpus
// replay test that every ordinary build runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vq5::fuzz {

using FuzzEntry = int (*)(const std::uint8_t* data, std::size_t size);

// Frame layer: CVLPFrame::GetFrame over an in-memory port that serves the input.
int FuzzFrameDecoder(const std::uint8_t* data, std::size_t size);
// Message layer: RxMessage, QueueText/EnterProgramMode/LeaveProgramMode, TxMessage with gates,
// checked against a model of the documented rules.
int FuzzMessageLayer(const std::uint8_t* data, std::size_t size);
// Slave state engine: StateEngine steps over a scripted line with queued texts.
int FuzzSlaveLink(const std::uint8_t* data, std::size_t size);
// Command set: value readers, gates, reply matching, offsets.
int FuzzDeviceReaders(const std::uint8_t* data, std::size_t size);
// Tool reply parsers.
int FuzzProgrammerReplies(const std::uint8_t* data, std::size_t size);
int FuzzInformationReplies(const std::uint8_t* data, std::size_t size);
int FuzzTransponderReplies(const std::uint8_t* data, std::size_t size);
int FuzzIoTesterReplies(const std::uint8_t* data, std::size_t size);
int FuzzEmulatorReplies(const std::uint8_t* data, std::size_t size);
// Settings readers.
int FuzzProfileSettings(const std::uint8_t* data, std::size_t size);
int FuzzProgrammerConfigFile(const std::uint8_t* data, std::size_t size);
int FuzzSimStateFile(const std::uint8_t* data, std::size_t size);

struct HarnessInfo {
    const char* name; // corpus folder and program name: fuzz/corpus/<name>, fuzz_<name>
    FuzzEntry entry;  // nullptr when the code it drives is not part of this build
};
// Every harness, in a fixed order; entries whose code is missing from the build are null.
const std::vector<HarnessInfo>& Harnesses();
const HarnessInfo* FindHarness(const std::string& name);

// A broken rule. By default the message goes to stderr and the process aborts (libFuzzer
// saves the input); the replay test installs a handler that records it instead.
using FailureHandler = void (*)(const char* harness, const std::string& what);
void SetFailureHandler(FailureHandler handler); // nullptr: back to abort
void Fail(const char* harness, const std::string& what);

} // namespace vq5::fuzz

// Checks a rule inside a harness; `what` is only built when the rule is broken.
#define VQ5_FUZZ_CHECK(harness, cond, what)                                                                  \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            ::vq5::fuzz::Fail(harness, std::string(#cond) + ": " + (what));                                  \
    } while (0)
