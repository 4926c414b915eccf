// vardis-cli's commands that read only the store: `history`, `meters` and the
// dispatcher's `rounds`, `alarms`, `consumption`. No port is opened for them.
#pragma once

#include <iosfwd>
#include <string>

#include "cli/options.h"
#include "store/database.h"

namespace vardis::cli {

class ExportSink;

// Runs the store-only commands in order; the exit status (2 for a --columns
// name that names no column). With --format the data goes to the export sink,
// otherwise a table goes to `out`. When standard output's reader went away
// the run stops there, quietly, with status 0.
int runStoreCommands(const CliOptions& options, ExportSink& sink, std::ostream& out,
                     std::ostream& err);

// One store-only command on an open store, its answer in the shape
// `o.exportFormat` asks (CSV or JSON): the text the command writes, or, when
// it fails, its message. Throws store::StoreError when the store fails.
struct StoreCommandAnswer {
  bool answered = false;
  std::string text;
};
StoreCommandAnswer answerStoreCommand(store::Database& db, const CliCommand& cmd,
                                      const CliOptions& o);

}  // namespace vardis::cli
