// The meter's current readings as last read, one entry per value index.
#pragma once

#include <array>

namespace vardis {

struct CurrentValues {
  std::array<double, 256> floats{};    // ReadFloatValueTransaction, widened floats
  std::array<double, 256> counters{};  // ReadCounterValueTransaction, unsigned 32-bit counts
};

}  // namespace vardis
