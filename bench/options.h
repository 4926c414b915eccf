// The command line of vardis-bench.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vardis::bench {

constexpr int kQuickReadings = 1;
constexpr int kFullReadings = 10;
constexpr int kStoreRuns = 50;

struct Options {
  std::string mode = "--full";
  int readings = kFullReadings;
  int turnaroundMs = 5;
  int timerSlackNs = -1;  // -1: as the system sets it
  std::string meterProgram = VARDIS_METER_SIM_PROGRAM;
  std::string cliProgram = VARDIS_CLI_PROGRAM;
  bool storeOnly = false;     // the store's figures alone, without a meter
  bool roundOnly = false;     // the round's figures alone (with --store-only: both)
  bool postgresOnly = false;  // the PostgreSQL figures alone (with the others: those too)
  bool webOnly = false;       // the web view's figures alone (with the others: those too)
  int storeRuns = kStoreRuns;
};

void usage(std::ostream& out);

// Sets `help` for --help; throws std::invalid_argument on a bad option.
Options parseOptions(const std::vector<std::string>& args, bool& help);

}  // namespace vardis::bench
