#include "cli/history.h"

#include <algorithm>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "cli/dates.h"
#include "cli/dispatch.h"
#include "cli/export_sink.h"
#include "cli/history_tables.h"
#include "cli/json_export.h"
#include "cli/node_names.h"
#include "cli/output_pipe.h"
#include "cli/store_option.h"
#include "connection/data_dir.h"
#include "store/history.h"
#include "store/reading_store.h"
#include "store/store_reader.h"

namespace vardis::cli {

namespace {

using nlohmann::ordered_json;

// A run that ends without a word: standard output's reader went away.
constexpr int kQuietStop = -1;

// What one store command needs besides its own arguments.
struct StoreContext {
  store::Database& db;
  const CliOptions& o;
  const NodeNames& names;
  const MeterFormats& formats;
  ExportSink& sink;
  std::ostream& out;
  std::ostream& err;
};

std::string documentText(const ordered_json& doc) {
  return doc.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

// The archive as JSON: per meter its periods in the shapes of the reading's export.
std::string archiveJson(const std::vector<store::MeterArchive>& meters, const NodeNames& names,
                        const std::string& kind) {
  ordered_json list = ordered_json::array();
  for (const auto& m : meters) {
    const MeterName n = meterName(names, m.serial);
    ordered_json periods = ordered_json::array();
    for (const auto& d : m.periods) periods.push_back(jsonExported({kind, std::nullopt, d}));
    list.push_back({{"serial", m.serial},
                    {"node", n.node ? ordered_json(*n.node) : ordered_json()},
                    {"name", n.name},
                    {"exports", std::move(periods)}});
  }
  return documentText({{"history", kind}, {"meters", std::move(list)}});
}

// The field formats of every known meter, as the store keeps them; a meter
// whose formats it does not keep (stored by an older version) is left out.
MeterFormats meterFormats(store::Database& db) {
  MeterFormats formats;
  for (const auto& m : store::meters(db)) {
    const FormatTable f = store::formatTableOf(m.formatTable);
    const bool kept = std::any_of(f.slot.begin(), f.slot.end(),
                                  [](const FieldFormat& s) { return s.width != 0; });
    if (kept) formats[m.serial] = f;
  }
  return formats;
}

// The range of a history command as ISO dates, both ends whole days: the
// store's ranges compare the dates' text with the start of a record ("2026-12"
// of a month takes every date of it), which a normalised date makes exact.
store::HistoryRange historyRange(const CommandArgs& a, const CliOptions& o) {
  store::HistoryRange r{a.serial, a.from, a.to};
  if (a.from.empty() && a.to.empty()) return r;
  const CalendarDate today = pcToday(o);
  if (!a.from.empty()) r.from = isoDate(resolveDate(a.from, today));
  if (!a.to.empty()) r.to = isoDate(resolveDate(a.to, today));
  return r;
}

// 0 once the command's text reached its place (`written`: the export's).
// Else quietly kQuietStop when standard output's reader went away, or 1: with
// a message for the --out file; standard output's failure the program names
// as it ends.
int finished(const StoreContext& c, bool written = true) {
  c.out.flush();
  if (written && c.out) return 0;
  if (standardOutputReaderGone()) return kQuietStop;
  if (!written && c.sink.active() && !c.sink.onStandardOutput()) {
    c.err << "vardis-cli: the data could not be written to " << c.o.exportFile << "\n";
  }
  return 1;
}

// The table of the command's kind, with the columns --columns chose.
int writeTable(const StoreContext& c, Table t, const std::string& kind) {
  std::string error;
  if (!chooseColumns(t, c.o.columns, error)) {
    c.err << "vardis-cli: " << error << "\n";
    return 2;
  }
  if (!c.sink.active()) {
    printTable(t, c.out);
    return finished(c);
  }
  const std::string text = c.o.exportFormat == ExportFormat::Csv
                               ? csvTable(t)
                               : documentText({{"history", kind}, {"rows", jsonRows(t)}});
  return finished(c, c.sink.write(text));
}

int writeArchive(const StoreContext& c, const std::vector<store::MeterArchive>& records,
                 const std::string& kind) {
  std::string error;
  Table t = c.sink.active() ? archiveRecordTable(records, c.names, kind)
                            : archiveTerminalTable(records, c.names, c.formats);
  if (!chooseColumns(t, c.o.columns, error)) {
    c.err << "vardis-cli: " << error << "\n";
    return 2;
  }
  if (!c.sink.active()) {
    printTable(t, c.out);
    if (holdsTotals(records)) {
      c.out << "(the day records and integrators: history --format csv|json " << kind << ")\n";
    }
    return finished(c);
  }
  const std::string text =
      c.o.exportFormat == ExportFormat::Csv ? csvTable(t) : archiveJson(records, c.names, kind);
  return finished(c, c.sink.write(text));
}

bool isDispatchCommand(const std::string& name) {
  return name == "rounds" || name == "alarms" || name == "consumption";
}

// One store-only command: its text in the chosen format, or its table; the
// exit status, kQuietStop when standard output's reader went away.
int runOne(const StoreContext& c, const CliCommand& cmd) {
  if (isDispatchCommand(cmd.name)) {
    std::string error;
    if (runDispatchCommand(c.db, cmd, c.o, c.sink, c.out, error)) return finished(c);
    if (finished(c) == kQuietStop) return kQuietStop;
    c.err << "vardis-cli: " << error << "\n";
    return 1;
  }
  std::string error;
  const CommandArgs a = parseCommandArgs(cmd, error).value_or(CommandArgs{});
  store::HistoryRange range = historyRange(a, c.o);
  if (a.node) {
    range.serial = c.names.serialOfNode(*a.node);
    if (!range.serial) {
      c.err << "vardis-cli: no meter is known at node " << *a.node
            << " (no stored round reached one there)\n";
      return 1;
    }
  }
  const std::string kind = cmd.name == "meters" ? "meters" : a.kind;
  if (kind == "hourly" || kind == "daily" || kind == "monthly") {
    return writeArchive(c, store::archive(c.db, kind, range), kind);
  }
  if (kind == "meters") return writeTable(c, meterTable(store::meters(c.db), c.names), kind);
  if (kind == "visits") return writeTable(c, visitTable(store::visits(c.db, range), c.names), kind);
  if (kind == "clock") {
    return writeTable(c, clockTable(store::clockEvents(c.db, range), c.names), kind);
  }
  if (kind == "params") {
    return writeTable(c, parameterTable(store::parameterSets(c.db, range), c.names), kind);
  }
  return writeTable(c, valueTable(store::currentValues(c.db, range), c.names, c.formats), kind);
}

}  // namespace

StoreCommandAnswer answerStoreCommand(store::Database& db, const CliCommand& cmd,
                                      const CliOptions& o) {
  const auto dataDir = o.dataDir.empty() ? defaultDataDir() : std::filesystem::path(o.dataDir);
  std::ostringstream out, err;
  ExportSink sink;
  std::string error;
  sink.open(o, out, error);  // to `out`: no file is named
  const NodeNames names(db, dataDir);
  const MeterFormats formats = meterFormats(db);
  const StoreContext c{db, o, names, formats, sink, out, err};
  if (runOne(c, cmd) == 0) return {true, out.str()};
  std::string message = err.str();
  constexpr std::string_view kPrefix = "vardis-cli: ";
  if (message.rfind(kPrefix, 0) == 0) message.erase(0, kPrefix.size());
  while (!message.empty() && message.back() == '\n') message.pop_back();
  return {false, message};
}

int runStoreCommands(const CliOptions& o, ExportSink& sink, std::ostream& out, std::ostream& err) {
  const auto dataDir = o.dataDir.empty() ? defaultDataDir() : std::filesystem::path(o.dataDir);
  store::StoreLocation location;
  try {
    location = cliStoreLocation(o, dataDir);
  } catch (const std::invalid_argument& e) {
    err << "vardis-cli: " << e.what() << "\n";
    return 2;
  }
  std::error_code ec;
  if (!location.postgres() && !std::filesystem::exists(location.file, ec)) {
    err << "vardis-cli: there is no store at " << store::shownLocation(location)
        << " (nothing was read there with the store on)\n";
    return 1;
  }
  try {
    // Read-only: a user who may only read the store reads it, and nothing in
    // it is changed. The node names still come from the data folder.
    store::StoreReader st(location);
    const NodeNames names(st.database(), dataDir);
    const MeterFormats formats = meterFormats(st.database());
    const StoreContext c{st.database(), o, names, formats, sink, out, err};
    for (const auto& cmd : o.commands) {
      const int status = runOne(c, cmd);
      if (status == kQuietStop) return 0;
      if (status != 0) return status;
    }
  } catch (const store::StoreError& e) {
    // A server not reached or refusing the login is one line, its password masked.
    err << "vardis-cli: " << store::maskPasswords(e.what()) << "\n";
    return 1;
  }
  return 0;
}

}  // namespace vardis::cli
