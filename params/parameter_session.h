// A connection with the meter's parameters: the table the parameter readings
// fill, and what identification derives from it.
#pragma once

#include <cstdint>
#include <string>

#include "connection/connection.h"
#include "params/format_table.h"
#include "params/parameter_table.h"

namespace vardis {

class ParameterSession : public Connection {
 public:
  using Connection::Connection;

  ParameterTable params;
  // What identification leaves for the readings and reports.
  FormatTable formats;
  std::string HeatUnitText;
};

// Reads one parameter into the table.
Reply readParameter(ParameterSession& s, std::uint8_t index);

}  // namespace vardis
