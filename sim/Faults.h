// Faults the simulated device can put on the line, with rates or counts, reproducibly from a
// seed. A fault list is "name=value,name=value...": a value with a decimal point (0.05, 1.0)
// is a rate per opportunity, a whole number N >= 1 makes the fault happen at the first N
// opportunities. Names:
//   flip    damage a byte the device sends (XOR with a random non-zero mask)
//   drop    drop a byte the device sends
//   noise   insert a noise byte before a byte the device sends
//   bytes   flip, drop and noise together, the rate shared equally among them
//   check   corrupt a check byte of an information frame the device sends
//   nak     answer a good frame from the PC with NAK (and not take it)
//   silent  give no answer at all to a frame from the PC
//   late    answer a frame from the PC only after SimOptions::lateMs
//   block   send an information frame with a block byte other than 0 (checks made with it)
//   adr     repeat ADR before an ACK (E1 E1 E1 06)
// Each byte the device sends may be hit, several in one frame. Damage that no receiver could
// catch (the check bytes are XOR sums: some damage leaves a frame that checks good with other
// content) is left out by the link (PcView.h). Noise bytes never take a value that starts a
// frame (NUL, SOH, 'P', 'S', ADR).
#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>

namespace vq5::sim {

enum class Fault : int { Flip = 0, Drop, Noise, Check, Nak, Silent, Late, Block, Adr, Count };
const char* FaultName(Fault f);

struct FaultPlan {
    std::array<double, static_cast<int>(Fault::Count)> rate{};
    std::array<long, static_cast<int>(Fault::Count)> count{};
    bool Any() const;
};

// Parses a fault list; false with `error` naming the bad entry.
bool ParseFaults(const std::string& list, FaultPlan& plan, std::string& error);

class CFaultInjector {
public:
    explicit CFaultInjector(FaultPlan plan = {}, std::uint64_t seed = 1);

    // One opportunity for a fault: true when it is to happen now.
    bool Fire(Fault f);
    // Picks the byte fault (if any) for the next byte sent: Flip, Drop, Noise or Count (none).
    Fault ByteFault();

    unsigned char NoiseByte();
    unsigned char FlipMask();
    unsigned char OtherBlockByte();
    std::uint64_t Injected(Fault f) const { return m_Injected[static_cast<int>(f)]; }
    std::uint64_t InjectedTotal() const;
    bool Any() const { return m_Plan.Any(); }
    std::uint32_t Random(std::uint32_t below); // 0 .. below-1, for the device's own choices

private:
    FaultPlan m_Plan;
    std::mt19937_64 m_Rng;
    std::array<long, static_cast<int>(Fault::Count)> m_Left{};
    std::array<std::uint64_t, static_cast<int>(Fault::Count)> m_Injected{};
};

} // namespace vq5::sim
