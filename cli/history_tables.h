// The tables of vardis-cli's `history` and `meters`: what the store holds,
// each row naming its meter by serial number, node and node name. The numbers
// carry the decimals a terminal shows them with: the archive records' as the
// reports round them, the current values' as the window shows them.
#pragma once

#include <map>
#include <vector>

#include "cli/data_export.h"
#include "cli/table.h"
#include "params/format_table.h"
#include "store/history.h"

namespace vardis::cli {

class NodeNames;

// The field formats of each meter by serial number; a meter not in it has
// the formats of a meter whose flow limits are not known.
using MeterFormats = std::map<long long, FormatTable>;
FormatTable formatsOf(const MeterFormats& formats, long long serial);

// The terminal's decimals of a quantity of an archive record ("M1", "T2",
// "W1", "Tc", ...) and of a current value ("G1", "density1", "M1", "Q1", ...);
// -1 for a name they do not know.
int recordDecimals(const std::string& name, const FormatTable& f);
int currentDecimals(const std::string& name, const FormatTable& f);

MeterName meterName(const NodeNames& names, std::optional<long long> serial);

Table meterTable(const std::vector<store::MeterRow>& meters, const NodeNames& names);
Table visitTable(const std::vector<store::VisitRow>& visits, const NodeNames& names);
Table clockTable(const std::vector<store::ClockRow>& events, const NodeNames& names);
Table parameterTable(const std::vector<store::ParameterRow>& sets, const NodeNames& names);
Table valueTable(const std::vector<store::CurrentRow>& readings, const NodeNames& names,
                 const MeterFormats& formats);

// For a person: one line per interval record (serial, node, name, start, the
// quantities, the abnormal codes), without the day records and integrators.
Table archiveTerminalTable(const std::vector<store::MeterArchive>& meters, const NodeNames& names,
                           const MeterFormats& formats);
// Whether the archive holds day records or integrators, which the terminal's
// table leaves to the files.
bool holdsTotals(const std::vector<store::MeterArchive>& meters);

// The one table of the archive's records, as the reading's CSV export has it.
Table archiveRecordTable(const std::vector<store::MeterArchive>& meters, const NodeNames& names,
                         const std::string& kind);

}  // namespace vardis::cli
