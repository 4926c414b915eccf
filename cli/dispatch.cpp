#include "cli/dispatch.h"

#include <ostream>

#include "cli/dates.h"
#include "cli/dispatch_parts.h"
#include "cli/export_sink.h"
#include "cli/output_pipe.h"
#include "connection/data_dir.h"

namespace vardis::cli {

bool dispatchCommand(const std::string& name) {
  return name == "rounds" || name == "alarms" || name == "consumption";
}

bool runDispatchCommand(store::Database& db, const CliCommand& cmd, const CliOptions& o,
                        ExportSink& sink, std::ostream& out, std::string& error) {
  const std::optional<CommandArgs> args = parseCommandArgs(cmd, error);
  if (!args) return false;
  const auto dataDir = o.dataDir.empty() ? defaultDataDir() : std::filesystem::path(o.dataDir);
  const NodeNames names(db, dataDir);
  DispatchRun r{db, *args, o, sink, out, names, pcToday(o)};
  if (cmd.name == "rounds") return runRounds(r, error);
  if (cmd.name == "alarms") return runAlarms(r, error);
  if (cmd.name == "consumption") return runConsumption(r, error);
  error = "'" + cmd.name + "' is no command of the store";
  return false;
}

bool chosenMeter(const DispatchRun& r, std::optional<long long>& serial, std::string& error) {
  serial = r.args.serial;
  if (!r.args.node) return true;
  serial = r.names.serialOfNode(*r.args.node);
  if (serial) return true;
  error = "no meter is known at node " + std::to_string(*r.args.node) +
          ": no round in the store reached it";
  return false;
}

void addNodeCells(const DispatchRun& r, long long serial, std::vector<Cell>& row) {
  const NodeName n = r.names.of(serial);
  row.push_back(n.node ? Cell(*n.node) : Cell());
  row.push_back(n.name);
}

bool dateRange(const DispatchRun& r, const char* command, CalendarDate& from, CalendarDate& to,
               std::string& error) {
  if (!r.args.from.empty()) from = resolveDate(r.args.from, r.today);
  if (!r.args.to.empty()) to = resolveDate(r.args.to, r.today);
  if (!(to < from)) return true;
  error = std::string(command) + ": --to " + isoDate(to) + " is before --from " + isoDate(from);
  return false;
}

bool onTerminal(const DispatchRun& r) {
  return !r.sink.active();
}

namespace {

// Whether the answer reached its place; a reader of standard output that
// went away is no failure: the run ends quietly.
bool delivered(const DispatchRun& r, bool ok, std::string& error) {
  if (ok || standardOutputReaderGone()) return true;
  const std::string& file = r.options.exportFile;
  error = "the data could not be written" + (file.empty() || file == "-" ? "" : " to " + file);
  return false;
}

}  // namespace

bool answer(DispatchRun& r, Table table, const std::string& head,
            const nlohmann::ordered_json& json, std::string& error,
            const std::vector<std::string>& terminalColumns) {
  const bool terminal = onTerminal(r);
  const std::vector<std::string>& chosen =
      r.options.columns.empty() && terminal ? terminalColumns : r.options.columns;
  if (!chooseColumns(table, chosen, error)) return false;
  if (terminal) {
    if (!head.empty()) r.out << head << "\n";
    if (!table.rows.empty()) printTable(table, r.out);
    r.out.flush();
    return delivered(r, static_cast<bool>(r.out), error);
  }
  const bool csv = r.options.exportFormat == ExportFormat::Csv;
  return delivered(r, r.sink.write(csv ? csvTable(table) : jsonDocument(json)), error);
}

std::string jsonDocument(const nlohmann::ordered_json& doc) {
  return doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

Cell textOrNull(const std::string& text) {
  return text.empty() ? Cell() : Cell(text);
}

}  // namespace vardis::cli
