#include "cli/history.h"

#include <ostream>

#include "cli/dates.h"
#include "cli/export_sink.h"
#include "cli/json_export.h"
#include "connection/data_dir.h"
#include "store/history.h"
#include "store/reading_store.h"
#include "store/store_reader.h"

namespace vardis::cli {

namespace {

using nlohmann::ordered_json;

// One cell of a history table: NULL (no good reply, or not known), a whole
// number, a number, a text or a truth value.
struct Cell {
  enum class Type { Null, Integer, Real, Text, Truth } type = Type::Null;
  long long integer = 0;
  double real = 0;
  std::string text;
  bool truth = false;

  Cell() = default;
  Cell(long long v) : type(Type::Integer), integer(v) {}
  Cell(double v) : type(Type::Real), real(v) {}
  Cell(std::string v) : type(Type::Text), text(std::move(v)) {}
  Cell(const char* v) : Cell(std::string(v)) {}
  Cell(bool v) : type(Type::Truth), truth(v) {}
};

struct Table {
  std::vector<std::string> header;
  std::vector<std::vector<Cell>> rows;
};

std::string cellText(const Cell& c, bool forTerminal) {
  switch (c.type) {
    case Cell::Type::Integer:
      return std::to_string(c.integer);
    case Cell::Type::Real:
      return numberText(c.real);
    case Cell::Type::Text:
      return c.text;
    case Cell::Type::Truth:
      return c.truth ? "true" : "false";
    case Cell::Type::Null:
      break;
  }
  return forTerminal ? "-" : "";
}

ordered_json cellJson(const Cell& c) {
  switch (c.type) {
    case Cell::Type::Integer:
      return c.integer;
    case Cell::Type::Real:
      return c.real;
    case Cell::Type::Text:
      return c.text;
    case Cell::Type::Truth:
      return c.truth;
    case Cell::Type::Null:
      break;
  }
  return nullptr;
}

Cell optionalCell(const std::optional<double>& v) {
  return v ? Cell(*v) : Cell();
}
Cell optionalCell(const std::optional<long long>& v) {
  return v ? Cell(*v) : Cell();
}
Cell optionalCell(const std::optional<std::string>& v) {
  return v ? Cell(*v) : Cell();
}

std::string csvTable(const Table& t) {
  std::string out;
  auto line = [&out](const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + csvField(fields[i]);
    out += "\r\n";
  };
  line(t.header);
  for (const auto& row : t.rows) {
    std::vector<std::string> fields;
    for (const auto& c : row) fields.push_back(cellText(c, false));
    line(fields);
  }
  return out;
}

ordered_json jsonTable(const Table& t) {
  ordered_json list = ordered_json::array();
  for (const auto& row : t.rows) {
    ordered_json o;
    for (std::size_t i = 0; i < row.size() && i < t.header.size(); ++i) {
      o[t.header[i]] = cellJson(row[i]);
    }
    list.push_back(std::move(o));
  }
  return list;
}

// Columns padded to their widest cell (counted in characters, UTF-8 aware).
void printTable(const Table& t, std::ostream& out) {
  auto width = [](const std::string& s) {
    std::size_t n = 0;
    for (unsigned char ch : s) n += (ch & 0xC0) != 0x80 ? 1 : 0;
    return n;
  };
  std::vector<std::vector<std::string>> lines{t.header};
  for (const auto& row : t.rows) {
    lines.emplace_back();
    for (const auto& c : row) lines.back().push_back(cellText(c, true));
  }
  std::vector<std::size_t> widths(t.header.size(), 0);
  for (const auto& l : lines) {
    for (std::size_t i = 0; i < l.size() && i < widths.size(); ++i) {
      widths[i] = std::max(widths[i], width(l[i]));
    }
  }
  for (const auto& l : lines) {
    std::string text;
    for (std::size_t i = 0; i < l.size(); ++i) {
      text += l[i];
      if (i + 1 < l.size()) text += std::string(widths[i] - width(l[i]) + 2, ' ');
    }
    out << text << "\n";
  }
}

Table visitTable(const std::vector<store::VisitRow>& visits) {
  Table t{{"visit", "serial", "started", "ended", "port", "speed", "gsm", "requests", "errors",
           "timeouts", "linkFault", "outcome"},
          {}};
  for (const auto& v : visits) {
    t.rows.push_back({static_cast<long long>(v.id), optionalCell(v.serial), v.started,
                      v.ended.empty() ? Cell() : Cell(v.ended), v.port,
                      static_cast<long long>(v.speed), v.gsm, optionalCell(v.requests),
                      optionalCell(v.errors), optionalCell(v.timeouts), v.linkFault,
                      v.outcome.empty() ? Cell() : Cell(v.outcome)});
  }
  return t;
}

Table meterTable(const std::vector<store::MeterRow>& meters) {
  Table t{{"serial", "address", "heatUnit", "volume", "firstSeen", "lastSeen", "lastVisit",
           "lastOutcome"},
          {}};
  for (const auto& m : meters) {
    const bool visited = m.lastVisit.has_value();
    t.rows.push_back(
        {m.serial, static_cast<long long>(m.address), m.heatUnit, m.volume, m.firstSeen, m.lastSeen,
         visited ? Cell(m.lastVisit->started) : Cell(),
         visited && !m.lastVisit->outcome.empty() ? Cell(m.lastVisit->outcome) : Cell()});
  }
  return t;
}

Table clockTable(const std::vector<store::ClockRow>& events) {
  Table t{
      {"serial", "readAt", "event", "meterTime", "pcTimeSent", "acknowledged", "meterTimeBefore"},
      {}};
  for (const auto& e : events) {
    const bool set = e.event == "set";
    t.rows.push_back({e.serial, e.readAt, e.event, optionalCell(e.meterTime),
                      optionalCell(e.pcTimeSent), set ? Cell(e.acknowledged) : Cell(),
                      optionalCell(e.meterTimeBefore)});
  }
  return t;
}

Table parameterTable(const std::vector<store::ParameterRow>& sets) {
  Table t{{"serial", "readAt", "index", "name", "value"}, {}};
  for (const auto& s : sets) {
    for (std::size_t i = 0; i < s.values.size(); ++i) {
      t.rows.push_back(
          {s.serial, s.readAt, static_cast<long long>(i), s.names[i], optionalCell(s.values[i])});
    }
  }
  return t;
}

Table valueTable(const std::vector<store::CurrentRow>& readings) {
  Table t{{"serial", "readAt", "meterClock"}, {}};
  if (!readings.empty()) {
    for (const auto& q : readings.front().data.quantities) {
      t.header.push_back(q.name + "[" + q.unit + "]");
    }
  }
  t.header.insert(t.header.end(), {"abnormalWord", "noReply"});
  for (const auto& r : readings) {
    std::vector<Cell> row{r.serial, r.readAt, optionalCell(r.data.meterClock)};
    for (const auto& q : r.data.quantities) row.push_back(q.noReply ? Cell() : Cell(q.value));
    row.push_back(r.data.abnormalNoReply ? Cell()
                                         : Cell(static_cast<long long>(r.data.abnormalWord)));
    row.push_back(static_cast<long long>(r.data.noReplyCount()));
    t.rows.push_back(std::move(row));
  }
  return t;
}

// The records of the archive periods, one line each, for a terminal.
Table archiveTable(const std::vector<store::MeterArchive>& meters) {
  Table t{{"serial", "dateTime", "label"}, {}};
  for (const auto& m : meters) {
    for (const auto& d : m.periods) {
      for (const auto& r : d.records) {
        if (t.header.size() == 3) {
          for (const auto& q : r.quantities) t.header.push_back(q.name + "[" + q.unit + "]");
          t.header.push_back("abnormal");
        }
        std::vector<Cell> row{m.serial, r.dateTime, r.label};
        for (const auto& q : r.quantities) row.push_back(q.noReply ? Cell() : Cell(q.value));
        std::string codes;
        for (const auto& c : r.abnormalCodes) codes += (codes.empty() ? "" : " ") + c;
        row.push_back(r.abnormalNoReply ? Cell() : Cell(codes));
        t.rows.push_back(std::move(row));
      }
    }
  }
  return t;
}

// The archive in the export's own shapes: per meter a table naming it, then
// the tables of its periods (CSV); or per meter its periods' objects (JSON).
std::string archiveText(const std::vector<store::MeterArchive>& meters, ExportFormat f,
                        const std::string& kind) {
  if (f == ExportFormat::Csv) {
    std::string out;
    for (const auto& m : meters) {
      out += "serial\r\n" + std::to_string(m.serial) + "\r\n\r\n";
      std::vector<ExportedCommand> exports;
      for (const auto& d : m.periods) exports.push_back({kind, std::nullopt, d});
      out += csvTables(exports);
    }
    return out;
  }
  ordered_json list = ordered_json::array();
  for (const auto& m : meters) {
    ordered_json periods = ordered_json::array();
    for (const auto& d : m.periods) periods.push_back(jsonExported({kind, std::nullopt, d}));
    list.push_back({{"serial", m.serial}, {"exports", std::move(periods)}});
  }
  return ordered_json{{"history", kind}, {"meters", std::move(list)}}.dump(
             2, ' ', false, ordered_json::error_handler_t::replace) +
         "\n";
}

std::string tableText(const Table& t, ExportFormat f, const std::string& kind) {
  if (f == ExportFormat::Csv) return csvTable(t);
  return ordered_json{{"history", kind}, {"rows", jsonTable(t)}}.dump(
             2, ' ', false, ordered_json::error_handler_t::replace) +
         "\n";
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

// One store-only command: its text in the chosen format, or its table.
bool runOne(store::Database& db, const CliCommand& cmd, const CliOptions& o, ExportSink& sink,
            std::ostream& out) {
  std::string error;
  const CommandArgs a = parseCommandArgs(cmd, error).value_or(CommandArgs{});
  const store::HistoryRange range = historyRange(a, o);
  const std::string kind = cmd.name == "meters" ? "meters" : a.kind;
  const bool archive = kind == "hourly" || kind == "daily" || kind == "monthly";
  std::vector<store::MeterArchive> records;
  Table t;
  if (archive) {
    records = store::archive(db, kind, range);
  } else if (kind == "meters") {
    t = meterTable(store::meters(db));
  } else if (kind == "visits") {
    t = visitTable(store::visits(db, range));
  } else if (kind == "clock") {
    t = clockTable(store::clockEvents(db, range));
  } else if (kind == "params") {
    t = parameterTable(store::parameterSets(db, range));
  } else {
    t = valueTable(store::currentValues(db, range));
  }
  if (!sink.active()) {
    printTable(archive ? archiveTable(records) : t, out);
    return true;
  }
  return sink.write(archive ? archiveText(records, o.exportFormat, kind)
                            : tableText(t, o.exportFormat, kind));
}

}  // namespace

int runStoreCommands(const CliOptions& o, ExportSink& sink, std::ostream& out, std::ostream& err) {
  const auto dataDir = o.dataDir.empty() ? defaultDataDir() : std::filesystem::path(o.dataDir);
  const auto file = store::storeFile(dataDir);
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) {
    err << "vardis-cli: there is no store at " << file.string()
        << " (nothing was read there with the store on)\n";
    return 1;
  }
  try {
    // Read-only: a user who may only read the store reads it, and nothing in
    // it is changed.
    store::StoreReader st(file);
    for (const auto& cmd : o.commands) {
      if (!runOne(st.database(), cmd, o, sink, out)) {
        err << "vardis-cli: the data could not be written"
            << (o.exportFile.empty() || o.exportFile == "-" ? "" : " to " + o.exportFile) << "\n";
        return 1;
      }
    }
  } catch (const store::StoreError& e) {
    err << "vardis-cli: " << e.what() << "\n";
    return 1;
  }
  return 0;
}

}  // namespace vardis::cli
