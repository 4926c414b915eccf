// The table vardis-bench prints at the end.
#pragma once

#include <vector>

#include "bench/cli_run.h"
#include "bench/options.h"
#include "bench/speed.h"

namespace vardis::bench {

void printTable(const Options& o, const PickedDate& date, const std::vector<SpeedRuns>& runs,
                const CliResult& cli);

}  // namespace vardis::bench
