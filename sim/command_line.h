// Options of the vardis-meter-sim program.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/numbers.h"
#include "sim/simulator.h"

namespace vardis::sim {

class UsageError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

struct CommandLine {
  bool help = false;
  bool verbose = false;               // one line per request and modem event on standard error
  std::optional<int> address;         // overrides the data file's address
  std::string dataFile;               // meter data (JSON), empty: none
  SimulatorOptions simulator;         // device, speed, faults, modem
  std::vector<NumberOption> numbers;  // --number, in order
};

// Parses the arguments after the program name. Throws UsageError.
CommandLine parseCommandLine(const std::vector<std::string>& args);
// The value of --number: PHONE[:SERIAL][,FAULT]... (see usageText).
NumberOption parseNumberOption(const std::string& text);
std::string usageText();

}  // namespace vardis::sim
