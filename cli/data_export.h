// The data exports of vardis-cli: what the reading commands read, as CSV or
// JSON beside the fixed-width reports, every number as the meter holds it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "archives/archive_data.h"
#include "format/decimal_text.h"

namespace vardis::cli {

class QuantityTable;

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

// Which meter a table's rows are: its serial number, and the node of the
// node file a round found it at, with that node's name.
struct MeterName {
  std::optional<long long> serial;  // nothing when the meter was not identified
  std::optional<int> node;          // nothing when no round reached it
  std::string name;                 // "" when unknown
};

// Everything one run exports.
struct ExportRun {
  std::optional<long long> serial;  // nothing when the meter was not identified
  std::optional<int> node;          // the node a round found the meter at, if known
  std::string nodeName;
  int address = 0;
  std::vector<ExportedCommand> exports;
  LinkStatistics link;  // at the end of the run
};

// The shortest text that reads back as the same double, '.' as the decimal
// point whatever the locale: "0.10000000149011612", "12.5", "3", "1e+20".
std::string numberText(double v);

// How the meter holds a quantity: the flows, temperatures, pressures, heat
// (W1, W2), densities, enthalpies and mass flows came as floats; the
// integrators (M, G in m3, Q), run times and mains time (in h) are counts.
NumberKind numberKindOf(const Quantity& q);

// The daily reading's increments: end minus start per integrator, rounded to
// the decimals they count in (decimalDifference); NULL where an end is.
std::vector<Quantity> decimalIncrements(const ArchiveData& d);

// One CSV field, quoted (and its quotes doubled) when it holds a comma, a
// quote, a carriage return or a line feed.
std::string csvField(const std::string& text);

// The one table of records, one row per record of the exported commands:
// serial,node,name,kind,record,start,label,ended, a column NAME[UNIT] per
// quantity, then abnormal (the codes without blanks), abnormalWord, noReply.
// `record` is "values", "interval", "day", "integrators", "start" or
// "increments".
QuantityTable recordTable();
void addRecordRows(QuantityTable& t, const MeterName& meter, const ExportedCommand& e);

// The whole CSV text of a run: the one table of its records; lines end in CR LF.
std::string csvText(const ExportRun& run);

// The whole JSON document of a run, UTF-8, ending in a line feed.
std::string jsonText(const ExportRun& run);

}  // namespace vardis::cli
