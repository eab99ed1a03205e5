// CSimDevice: what the simulated VQ-5 does with the messages it takes from the PC, and what
// it says on its own. No I/O here: the link hands it texts and sends what it answers.
#pragma once

#include "DeviceState.h"
#include "Profile.h"

#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vq5::sim {

struct DeviceAction {
    std::vector<std::string> replies; // to be sent to the PC, in order
    int speedIndex = -1;              // 0..5: switch the line to this step once the PC has the ACK
    bool stateChanged = false;        // configuration, counters or texts changed (save them)
};

class CSimDevice {
public:
    using Clock = std::chrono::steady_clock;

    CSimDevice(unsigned major, unsigned minor, char letter, std::uint64_t seed,
               DeviceProfile profile = DeviceProfile::Default);

    // Handles one message taken from the PC.
    //  "$PRG"                 enters program mode; answered by the identification reply
    //  "$LLL/RRR ..."         display message of the on-board system: line and run number
    //  "=LLLRRR..."           announcement: line and run number
    //  "&?II", "&?IJ"         input and output lines, also outside program mode (not strict)
    //  other "&?.." commands  only in program mode, and only those the version knows
    // The default profile answers every set with the value now held, and "&?X.." with "&?X";
    // the strict one answers queries only (see Profile.h).
    // '?' is the device letter; 'P' is taken as well (a PC that has not yet seen the
    // identification reply still writes 'P').
    DeviceAction Handle(const std::string& text, Clock::time_point now);

    // Messages of the on-board side that are due (an inquiry "?", a key press "#GP" or
    // "#STOP"), outside program mode only, about every periodMs.
    std::vector<std::string> Tick(Clock::time_point now, unsigned periodMs);

    std::string Identification() const;               // '&', letter, "PVQ-5 (", the two digits, ") ", text
    std::string Inputs(Clock::time_point now) const;  // six characters of "&PII"
    std::string Outputs(Clock::time_point now) const; // 21 characters of "&PIJ"
    // Held, the input and output lines keep the state they have at start, whatever the time
    // (two runs then read the same lines).
    void HoldLines(bool hold) { m_HoldLines = hold; }

    DeviceState& State() { return m_State; }
    const DeviceState& State() const { return m_State; }
    unsigned Major() const { return m_Major; }
    unsigned Minor() const { return m_Minor; }
    char Letter() const { return m_Letter; }
    DeviceProfile Profile() const { return m_Profile; }

    // The run number as the device puts it on its output lines (DienstNrMax79: 80 or more
    // becomes 0; otherwise modulo 80, since the tens digit has three lines).
    int OutputRun() const;

private:
    std::string Reply(char cls, char item, const std::string& value) const;
    void Reboot(DeviceAction& action);
    bool Knows(const std::string& code) const;

    unsigned m_Major;
    unsigned m_Minor;
    char m_Letter;
    DeviceProfile m_Profile;
    DeviceState m_State;
    Clock::time_point m_Born;
    bool m_HoldLines = false;
    Clock::time_point m_NextOnboard{};
    std::mt19937 m_Rng;
};

// The output characters for a line and run number and the other output lines, in the
// T-line encoding the I/O tester decodes.
std::string EncodeOutputs(bool statusLedLit, bool stopLampLit, bool t1, bool t2, int line, int run);

} // namespace vq5::sim
