// The data exports of vardis-cli: what the reading commands read, as CSV or
// JSON beside the fixed-width reports, with every number at full precision.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archives/archive_data.h"

namespace vardis::cli {

enum class ExportFormat { None, Csv, Json };

// The data of one exported command: "values" carries `current`, "hourly",
// "daily" and "monthly" carry `archive`.
struct ExportedCommand {
  std::string kind;
  std::optional<CurrentData> current;
  std::optional<ArchiveData> archive;
};

struct LinkStatistics {
  long long requests = 0;
  long long errors = 0;
  long long timeouts = 0;
  bool linkFault = false;
};

// Everything one run exports.
struct ExportRun {
  std::optional<long long> serial;  // nothing when the meter was not identified
  int address = 0;
  std::vector<ExportedCommand> exports;
  LinkStatistics link;  // at the end of the run
};

// The shortest text that reads back as the same double, '.' as the decimal
// point whatever the locale: "0.10000000149011612", "12.5", "3", "1e+20".
std::string numberText(double v);

// One CSV field, quoted (and its quotes doubled) when it holds a comma, a
// quote, a carriage return or a line feed.
std::string csvField(const std::string& text);

// The CSV tables of exported commands, each led by its header line and
// followed by an empty line; lines end in CR LF.
std::string csvTables(const std::vector<ExportedCommand>& exports);

// The whole CSV text of a run: one table per exported command, each led by its
// header line, tables separated by an empty line; lines end in CR LF.
std::string csvText(const ExportRun& run);

// The whole JSON document of a run, UTF-8, ending in a line feed.
std::string jsonText(const ExportRun& run);

}  // namespace vardis::cli
