// The tool's copy of the meter's configuration parameters.
#pragma once

#include <array>

namespace vardis {

struct ParameterTable {
  std::array<double, 256> values{};
  // The value came from a reply that never passed the checks: it is whatever
  // the reply buffer held, not the meter's.
  std::array<bool, 256> noReply{};

  // Stores a value read from the meter: widened unchanged, except that anything
  // above 1000000 (positive infinity included) is kept as 0.
  void store(int index, float value, bool good = true) {
    double v = value;
    const auto i = static_cast<std::size_t>(index & 0xFF);
    values[i] = (v > 1000000.0) ? 0.0 : v;
    noReply[i] = !good;
  }
};

}  // namespace vardis
