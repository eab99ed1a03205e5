// What the benchmark programs share, one header per concern: figures and clocks, probes of
// processes and threads, the device's side of a link, the benches' engine with the sinks and the
// port they attach to it, and the programs' options.
#pragma once

#include "BenchEngine.h"
#include "BenchFigures.h"
#include "BenchOptions.h"
#include "DeviceSide.h"
#include "ProcessProbes.h"
