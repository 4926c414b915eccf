// vardis-cli's commands: one table of each command's usage line and handler.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "cli/data_export.h"
#include "cli/options.h"

namespace vardis {
class Session;
namespace store {
class Recorder;
}
}  // namespace vardis

namespace vardis::cli {

class ExportSink;

// What a command works with: the session, where it speaks, where its data goes.
struct CommandContext {
  Session& session;
  const CliOptions& options;
  std::ostream& out;
  std::ostream& err;
  ExportSink& exportSink;
  ExportRun& exportRun;
  store::Recorder& recorder;
};

struct CommandEntry {
  const char* name;
  int minArgs;
  int maxArgs;
  const char* usage;  // its line in the usage text
  // Nothing for the commands that read only the store (cli/history.h).
  void (*handler)(CommandContext& c, const CliCommand& cmd);
};

// Every command, in the order of the usage text.
const std::vector<CommandEntry>& commandTable();
// The command of that name, or nothing.
const CommandEntry* findCommand(const std::string& name);

// Runs one command of the connection: its handler, then what it read into the
// store. Returns its failure summary ("12 of 533 values had no good reply"),
// "" when every value had a good reply.
std::string runCommand(CommandContext& c, const CliCommand& cmd);

// The round's default commands for each node.
const std::vector<CliCommand>& defaultRoundCommands();

// Waits in real time, letting the window breathe; a cancel ends the wait.
void waitMs(Session& s, int ms);

}  // namespace vardis::cli
