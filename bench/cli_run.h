// vardis-cli against a meter of its own: its peak memory and processor time
// as the kernel counted them.
#pragma once

#include <string>

#include "bench/options.h"
#include "connection/connection.h"

namespace vardis::bench {

struct CliResult {
  unsigned baud = 115200;
  std::string command;
  int exitStatus = -1;
  double peakMb = 0;
  double wallMs = 0;
  double processorMs = 0;
  std::string output;  // what it printed, when it failed
};

// Throws std::runtime_error when the meter or vardis-cli does not start.
CliResult measureCli(const Options& o, const CalendarDate& date);

}  // namespace vardis::bench
