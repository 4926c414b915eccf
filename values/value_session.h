// A connection with the meter's parameters and its current values.
#pragma once

#include <cstdint>

#include "params/parameter_session.h"
#include "values/current_values.h"

namespace vardis {

class ValueSession : public ParameterSession {
 public:
  using ParameterSession::ParameterSession;

  CurrentValues values;
};

// Read one float value or one counter into the current values.
Reply readFloatValue(ValueSession& s, std::uint8_t index);
Reply readCounterValue(ValueSession& s, std::uint8_t index);

}  // namespace vardis
