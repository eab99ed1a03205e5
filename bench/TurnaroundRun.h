// The exchange loop of the turnaround figures, shared by bench_turnaround (Qt-free) and
// bench_logwnd (the real log window): the minimal master drives an engine that has its port
// on the slave side of a pseudo-terminal.
#pragma once

#include "BenchSupport.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vq5::bench {

struct TurnaroundResult {
    std::vector<double> answers;   // every poll and select: written -> first answer byte (us)
    std::vector<double> pollsEot;  // polls answered with EOT
    std::vector<double> pollsInfo; // polls answered with an information frame
    std::vector<double> selects;   // selects answered with ACK
    std::vector<double> frameAcks; // the device's information frame -> the PC's ACK
    std::vector<double> eots;      // the device's ACK of the PC's frame -> the PC's EOT
    std::size_t exchanges = 0;
    std::size_t failures = 0;
    std::string firstFailure;
    double seconds = 0;
    // Over the measured exchanges: the scheduler's figures of the master's thread and of the
    // engine's worker (differences; -1 when they could not be read).
    SchedStat master;
    SchedStat worker;
};

// Waits (up to 10 s) until the engine answers, runs 100 exchanges unmeasured, then
// `exchanges` measured ones in the mix: poll (EOT), poll with a queued "&PIA" (frame, ACK,
// EOT), select with a device message (ACK, frame, ACK), poll (EOT).
TurnaroundResult RunTurnaround(CBenchEngine& engine, int masterFd, std::size_t exchanges);

// Prints the figures in microseconds with the goal for the p99 of the answers.
void PrintTurnaround(const std::string& title, const TurnaroundResult& r, double goalP99Us);

} // namespace vq5::bench
