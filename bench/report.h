// The tables vardis-bench prints.
#pragma once

#include <vector>

#include "bench/cli_run.h"
#include "bench/options.h"
#include "bench/round_bench.h"
#include "bench/speed.h"
#include "bench/store_bench.h"

namespace vardis::bench {

// The speed table, then the quick drain's (printQuick).
void printTable(const Options& o, const CalendarDate& date, const std::vector<SpeedRuns>& runs,
                const CliResult& cli);

// The same readings with the quick drain, against the full drain's.
void printQuick(const std::vector<SpeedRuns>& runs);

// The store's figures, as a table of their own.
void printStore(const StoreResult& r);

// The round's figures, one modem against four.
void printRound(const RoundResult& r);

// The round shared by several hosts against one modem; `seconds` the part took.
void printSharedRound(const SharedRoundResult& r, double seconds);

}  // namespace vardis::bench
