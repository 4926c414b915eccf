// The meter's current readings as last read, one entry per value index.
#pragma once

#include <array>
#include <cstddef>

namespace vardis {

struct CurrentValues {
  std::array<double, 256> floats{};    // ReadFloatValueTransaction, widened floats
  std::array<double, 256> counters{};  // ReadCounterValueTransaction, unsigned 32-bit counts
  // The entry came from a reply that never passed the checks.
  std::array<bool, 256> floatNoReply{};
  std::array<bool, 256> counterNoReply{};
};

// Divisors of the integrators, indexed by a decimals count.
inline constexpr std::array<double, 6> IntegratorDivisor{0.1, 1, 10, 100, 1000, 1};
// The divisor for a decimals count; 1 for a count the table does not hold.
inline double integratorDivisor(int decimals) {
  if (decimals < 0 || decimals >= static_cast<int>(IntegratorDivisor.size())) return 1;
  return IntegratorDivisor[static_cast<std::size_t>(decimals)];
}

}  // namespace vardis
