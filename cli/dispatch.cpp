#include "cli/dispatch.h"

namespace vardis::cli {

bool dispatchCommand(const std::string&) {
  return false;
}

bool runDispatchCommand(store::Database&, const CliCommand&, const CliOptions&, ExportSink&,
                        std::ostream&, std::string& error) {
  error = "not built yet";
  return false;
}

}  // namespace vardis::cli
