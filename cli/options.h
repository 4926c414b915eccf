// vardis-cli's options and commands as the user typed them, and their checks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/data_export.h"

namespace vardis::cli {

struct CliCommand {
  std::string name;
  std::vector<std::string> args;
  bool operator==(const CliCommand&) const = default;
};

struct CliOptions {
  std::string port = "1";
  std::vector<std::string> ports;  // every --port, in order (a round uses each)
  int speedIndex = 8;
  std::string address = "0";
  std::string dataDir;  // empty: the default data folder
  bool gsm = false;
  std::string traceFile;
  char decimalSeparator = '.';
  // --date YYYY-MM-DD|today|yesterday: the date picker (empty: today).
  std::string date;
  // --fake-pc-time: a fixed PC clock, for tests and reproducible runs.
  std::string fakePcTime;
  // Modem waits; tests shorten them.
  int dialWaitMs = 60000;  // the modem's answer to a dial
  int hangUpWaitMs = 5000;
  // --format csv|json: values, hourly, daily and monthly also export their
  // data, to standard output or, with --out FILE, into FILE ("-": standard output).
  ExportFormat exportFormat = ExportFormat::None;
  std::string exportFile;
  std::vector<CliCommand> commands;
  // --no-store: the readings are not kept in the store of the data folder.
  bool store = true;
  // --store URL: the store (cli/store_option.h); empty: $VARDIS_STORE, else
  // the data folder's vardis.sqlite.
  std::string storeText;
  // --quick-drain: no drain wait after a good reply, until an exchange fails.
  bool quickDrain = false;
  // --create-dirs: the report folder is made when missing.
  bool createDirs = false;
  // --columns M1,T1,W1: the quantity columns the store commands' tables
  // keep (a terminal's table and CSV); empty: every column.
  std::vector<std::string> columns;
  // --version: print the version and do nothing else.
  bool version = false;
};

// The arguments of an archive reading (hourly|daily|monthly [DATE], or
// hourly|daily --missing [--from DATE] [--to DATE] [--max-days|--max-months N])
// and of history ([--serial N | --node N] [--from DATE] [--to DATE] KIND). A DATE is
// "YYYY-MM-DD", "today" or "yesterday", kept as given (cli/dates.h names it).
struct CommandArgs {
  std::string date;
  bool missing = false;
  std::string from;
  std::string to;
  std::optional<int> maxPeriods;  // --max-days (hourly), --max-months (daily)
  std::optional<long long> serial;
  std::string kind;
  // The store's dispatcher commands: rounds [--last | ID], alarms and
  // consumption ([--from D] [--to D] [--serial N | --node N] [--round ID]
  // [--by day|month]).
  std::optional<int> node;           // --node N: the meter a round found at node N
  std::optional<long long> roundId;  // alarms --round ID, rounds ID
  bool lastRound = false;            // rounds --last, alarms --round last
  std::string by = "day";            // consumption --by day|month
};

// The arguments of a command, checked; nothing with a message in `error`.
// An option given twice, --serial with --node, --last with an ID are refused.
std::optional<CommandArgs> parseCommandArgs(const CliCommand& cmd, std::string& error);

// An option of some commands rather than of vardis-cli (--from, --missing, ...):
// whether the word after it is its value, and the commands it belongs to.
struct CommandOption {
  std::string name;
  bool takesValue = false;
  std::vector<std::string> commands;
};
// The command option of that name, or nothing.
const CommandOption* findCommandOption(const std::string& name);

// A DATE of `what` (named in the message): "YYYY-MM-DD" within the meter's
// archive (2000-01-01 to 2042-12-31), today or yesterday, into `out` as given.
bool checkedDate(const std::string& what, const std::string& text, std::string& out,
                 std::string& error);

// round [--nodes 1,3-5] [--attempts N] [--redial-pause S]
//       [--shared NAME [--lease S] [--host NAME]]
struct RoundArgs {
  std::vector<int> nodes;  // empty: every node
  int attempts = 3;
  int redialPauseSeconds = 60;
  // --shared NAME: the round's queue is in the (PostgreSQL) store, shared
  // with every host that runs a round of that name.
  std::string shared;
  int leaseSeconds = 120;  // --lease S: how long a call holds its node unrenewed
  std::string host;        // --host NAME: this host's name in the store (default: its own)
};
std::optional<RoundArgs> parseRoundArgs(const CliCommand& cmd, std::string& error);

// Commands that read only the store: no port is opened for them.
bool storeOnlyCommand(const std::string& name);

// Parses the arguments (without the program name). On a usage error returns
// nothing and puts the message into `error`; --help gives nothing and an empty
// error; --version gives options with `version` set and nothing else looked at.
// vardis-cli's options stand anywhere; a command's option follows its word
// when that command takes it, else belongs to the command word right after it.
std::optional<CliOptions> parseArguments(const std::vector<std::string>& args, std::string& error);

std::string usageText();

// A decimal number that fits 32 bits unsigned, the whole text.
std::optional<std::uint32_t> parseUnsigned(const std::string& s);

}  // namespace vardis::cli
