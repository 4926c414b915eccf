// vardis-cli's commands that read only the store: `history` and `meters`. No
// port is opened for them.
#pragma once

#include <iosfwd>

#include "cli/options.h"

namespace vardis::cli {

class ExportSink;

// Runs the store-only commands in order; the exit status. With --format the
// data goes to the export sink, otherwise a table goes to `out`.
int runStoreCommands(const CliOptions& options, ExportSink& sink, std::ostream& out,
                     std::ostream& err);

}  // namespace vardis::cli
