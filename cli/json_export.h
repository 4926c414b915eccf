// The JSON of one exported command, for the documents that hold several
// (the run's export, the history). vardis-cli's own.
#pragma once

#include <nlohmann/json.hpp>

#include "cli/data_export.h"

namespace vardis::cli {

// The object of "values", "hourly", "daily" or "monthly" as the export writes
// it, every number as meterNumber gives it for its quantity's kind.
nlohmann::ordered_json jsonExported(const ExportedCommand& e);

}  // namespace vardis::cli
