// The headless twin of the window: option parsing and the command runner.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli/data_export.h"
#include "link/pc_clock.h"
#include "link/serial_line.h"

namespace vardis::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitCommandError = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitLinkFault = 3;

struct CliCommand {
  std::string name;
  std::vector<std::string> args;
};

struct CliOptions {
  std::string port = "1";
  int speedIndex = 8;
  std::string address = "0";
  std::string dataDir;  // empty: the default data folder
  bool gsm = false;
  std::string traceFile;
  char decimalSeparator = '.';
  // --date YYYY-MM-DD: the date picker (empty: today).
  std::string date;
  // --fake-pc-time: a fixed PC clock, for tests and reproducible runs.
  std::string fakePcTime;
  // Modem waits; tests shorten them.
  int dialWaitMs = 35000;
  int hangUpWaitMs = 5000;
  // --format csv|json: values, hourly, daily and monthly also export their
  // data, to standard output or, with --out FILE, into FILE ("-": standard output).
  ExportFormat exportFormat = ExportFormat::None;
  std::string exportFile;
  std::vector<CliCommand> commands;
};

// Parses the arguments (without the program name). On a usage error returns
// nothing and puts the message into `error`.
std::optional<CliOptions> parseArguments(const std::vector<std::string>& args, std::string& error);

std::string usageText();

// Runs "Старт", the commands in order in that one connection, then "Стоп".
// Returns the exit status.
int run(const CliOptions& options, SerialLine& line, const PcClock& clock, std::ostream& out,
        std::ostream& err, bool progressOnTerminal, Breathe breathe = {});

// Requests the running command to stop after its current exchange (Ctrl-C).
void requestCancel();

}  // namespace vardis::cli
