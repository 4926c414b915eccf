// vardis-cli's dispatcher commands over the store: `rounds`, `alarms` and
// `consumption`, and the node each meter is (from the rounds and the node file).
#pragma once

#include <iosfwd>
#include <string>

#include "cli/options.h"
#include "store/sqlite_db.h"

namespace vardis::cli {

class ExportSink;

// Runs one of `rounds`, `alarms`, `consumption` on the open store: a table to
// `out` or, with --format, the data to the sink. False, with the reason in
// `error`, on a question the store cannot answer (no such round, a range
// over the bounds) or an export that could not be written.
bool runDispatchCommand(store::Database& db, const CliCommand& cmd, const CliOptions& o,
                        ExportSink& sink, std::ostream& out, std::string& error);

// Whether `name` is one of them.
bool dispatchCommand(const std::string& name);

}  // namespace vardis::cli
