// The tool's copy of the meter's configuration parameters.
#pragma once

#include <array>

namespace vardis {

struct ParameterTable {
  std::array<double, 256> values{};

  // Stores a value read from the meter: widened unchanged, except that anything
  // above 1000000 (positive infinity included) is kept as 0.
  void store(int index, float value) {
    double v = value;
    values[static_cast<std::size_t>(index & 0xFF)] = (v > 1000000.0) ? 0.0 : v;
  }
};

}  // namespace vardis
