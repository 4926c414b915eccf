// The parts of vardis-cli's dispatcher commands (cli/dispatch.h): what one
// command has to work with, each command's own runner, and the way every one
// of them prints its table or writes its data.
#pragma once

#include <iosfwd>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cli/node_names.h"
#include "cli/options.h"
#include "cli/table.h"
#include "format/calendar.h"
#include "store/sqlite_db.h"

namespace vardis::cli {

class ExportSink;

struct DispatchRun {
  store::Database& db;
  const CommandArgs& args;
  const CliOptions& options;
  ExportSink& sink;
  std::ostream& out;
  const NodeNames& names;
  CalendarDate today;  // the PC's day
};

// Each command: true when it printed or wrote its answer (or the reader of
// standard output went away), false with the reason in `error`.
bool runRounds(DispatchRun& r, std::string& error);
bool runAlarms(DispatchRun& r, std::string& error);
bool runConsumption(DispatchRun& r, std::string& error);

// The meter of --serial N or --node N (nothing for all meters); false with
// `error` for a node no stored round reached.
bool chosenMeter(const DispatchRun& r, std::optional<long long>& serial, std::string& error);

// The node and name cells of a meter's row.
void addNodeCells(const DispatchRun& r, long long serial, std::vector<Cell>& row);

// --from/--to as dates, each defaulting to the one given; false with `error`
// when --to comes before --from.
bool dateRange(const DispatchRun& r, const char* command, CalendarDate& from, CalendarDate& to,
               std::string& error);

// Whether the answer goes to a person: no --format.
bool onTerminal(const DispatchRun& r);

// The answer in the run's shape: on a terminal the `head` lines (when not
// empty) and the table, when it has rows, with the columns --columns keeps (without it those of
// `terminalColumns`, all when that is empty); with --format csv the table
// alone; with --format json `json` (the whole data, whatever --columns keeps).
// A name of --columns that matches no column is an error.
bool answer(DispatchRun& r, Table table, const std::string& head,
            const nlohmann::ordered_json& json, std::string& error,
            const std::vector<std::string>& terminalColumns = {});

// The JSON document as it is written: two blanks a level, a line feed at the end.
std::string jsonDocument(const nlohmann::ordered_json& doc);

// A cell holding `text`, or NULL ("-" on a terminal) when it is empty.
Cell textOrNull(const std::string& text);

}  // namespace vardis::cli
