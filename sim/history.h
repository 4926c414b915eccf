// The simulated meter's measurement history: what it measured in every hour
// since 2000-01-01. Everything is a pure function of the date, so any record can
// be produced on demand and is the same in every run.
//
// Amounts are kept in the integral units of the meter's integrators: a flow
// count is 0.01 t and a heat count 0.01 Gcal at the delivered configuration
// (upper flow limit 50 m3/h), times are in 1/10000 h. The archive values shown
// to the outside are derived from these counts, so interval records and
// integrators always agree exactly.
#pragma once

#include <array>
#include <cstdint>

namespace vardis::sim {

// Archive quantity indices (byte 3 of an archive request).
enum Quantity : int {
  kFlow1 = 0,  // 0..3: flow of channels 1..4
  kHeat1 = 4,
  kRunTime1 = 5,
  kHeat2 = 6,
  kRunTime2 = 7,
  kMainsTime = 8,
  kTemperature1 = 9,  // 9..12
  kPressure1 = 13,    // 13..16
  kAbnormal = 17,
};
inline constexpr int kQuantityCount = 18;
// Integrators exist for quantities 0..8.
inline constexpr int kTotalCount = 9;

// Quantities that the meter keeps as unsigned integers in its interval records.
bool isIntegerQuantity(int quantity);

// Bits of the abnormal-situation word that name no situation.
inline constexpr std::uint32_t kUnusedAbnormalBits =
    (1u << 6) | (1u << 15) | (1u << 30) | (1u << 31);

// What was measured over an interval, in integrator units.
struct Amounts {
  std::array<std::uint64_t, 4> mass{};     // per channel
  std::array<std::uint64_t, 2> heat{};     // per heat system
  std::array<std::uint64_t, 2> runTime{};  // per heat system, 1/10000 h
  std::uint64_t mainsTime = 0;             // 1/10000 h

  // The amount of integrator quantity 0..8 (0 for other indices).
  std::uint64_t byQuantity(int quantity) const;
  Amounts& operator+=(const Amounts& other);
};

// One hour of the history.
struct HourSample {
  Amounts amounts;
  std::array<float, 4> temperature{};  // mean, degrees C
  std::array<float, 4> pressure{};     // mean, MPa
  std::uint32_t abnormal = 0;          // abnormal-situation bits seen in the hour
};

// Day numbers are days since 2000-01-01; the history covers days 0..kLastHistoryDay
// (2000-01-01 to 2042-12-31), the dates the packed date code can name.
extern const std::int64_t kLastHistoryDay;

// A seed picks one of many histories of the same kind (seasons, daily rhythm,
// rates of abnormal situations) that differ in their hour-to-hour scatter;
// seed 0 is the meter's usual history.
HourSample historyHour(std::int64_t day, int hour, std::uint64_t seed = 0);
// The sum of the day's 24 hours.
Amounts historyDay(std::int64_t day, std::uint64_t seed = 0);
// Integrator values at the end of a day (quantities 0..8): the values the meter
// started with on 2000-01-01 plus every day up to and including this one. Day -1
// gives the starting values; days past the history give the last day's values.
// The table of a seed is built on its first use (a fraction of a second).
std::array<std::uint32_t, kTotalCount> historyTotalsAtEndOfDay(std::int64_t day,
                                                               std::uint64_t seed = 0);
std::array<std::uint32_t, kTotalCount> historyStartTotals();

}  // namespace vardis::sim
