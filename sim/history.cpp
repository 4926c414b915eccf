#include "sim/history.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <numbers>
#include <vector>

#include "sim/calendar.h"

namespace vardis::sim {

const std::int64_t kLastHistoryDay = daysSince2000(2042, 12, 31);

namespace {

std::uint64_t mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// A number in [0, 1) that depends only on the hour, the history's seed and the salt.
class HourDice {
 public:
  HourDice(std::uint64_t hourNumber, std::uint64_t seed)
      : key_(seed == 0 ? mix(hourNumber) : mix(hourNumber ^ mix(~seed))) {}
  double unit(std::uint64_t salt) const {
    return static_cast<double>(mix(key_ ^ (salt * 0xD6E8FEB86659FD93ull)) >> 11) * 0x1.0p-53;
  }
  double signedUnit(std::uint64_t salt) const { return unit(salt) * 2.0 - 1.0; }

 private:
  std::uint64_t key_;
};

double round2(double v) {
  return std::round(v * 100.0) / 100.0;
}
double round3(double v) {
  return std::round(v * 1000.0) / 1000.0;
}
std::uint64_t countOf(double v) {
  return v <= 0.0 ? 0 : static_cast<std::uint64_t>(std::llround(v));
}

// The 28 bits that name a situation.
constexpr std::array<int, 28> kAbnormalBits = {0,  1,  2,  3,  4,  5,  7,  8,  9,  10,
                                               11, 12, 13, 14, 16, 17, 18, 19, 20, 21,
                                               22, 23, 24, 25, 26, 27, 28, 29};
// Situations on channels 1 and 2 (heat system 1) and on channels 1 to 3 (heat system 2).
constexpr std::uint32_t kChannel1Bits =
    (1u << 12) | (1u << 13) | (1u << 20) | (1u << 21) | (1u << 0) | (1u << 1) | (1u << 2);
constexpr std::uint32_t kChannel2Bits =
    (1u << 14) | (1u << 28) | (1u << 22) | (1u << 23) | (1u << 3) | (1u << 4) | (1u << 5);
constexpr std::uint32_t kChannel3Bits =
    (1u << 16) | (1u << 17) | (1u << 24) | (1u << 25) | (1u << 29) | (1u << 7) | (1u << 8);
constexpr std::uint32_t kSystem1Bits = kChannel1Bits | kChannel2Bits;
constexpr std::uint32_t kSystem2Bits = kSystem1Bits | kChannel3Bits;

// --- one hour of the history, piece by piece -------------------------------------

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// 1 in the depth of winter, 0 in midsummer.
double winterShare(std::int64_t day) {
  const CivilTime date = civilFromDay(day);
  const auto dayOfYear = static_cast<double>(day - daysSince2000(date.year, 1, 1));
  return 0.5 + 0.5 * std::cos(kTwoPi * (dayOfYear - 20.0) / 365.25);
}

// Daily rhythm, highest in the early morning.
double dailyRhythm(int hour) {
  return std::cos(kTwoPi * (hour - 7) / 24.0);
}

// Channels 1..3: the supply, the return ("back") and the cold water.
struct Temperatures {
  double supply = 0.0;
  double back = 0.0;
  double cold = 0.0;
};

Temperatures temperatures(const HourDice& dice, double winter, double rhythm) {
  Temperatures t;
  t.supply = round2(68.0 + 24.0 * winter + 2.5 * rhythm + 0.6 * dice.signedUnit(1));
  t.back = round2(t.supply - (9.0 + 16.0 * winter) + 0.5 * dice.signedUnit(2));
  t.cold = round2(12.5 - 7.0 * winter + 0.3 * dice.signedUnit(3));
  return t;
}

std::array<float, 4> pressures(const HourDice& dice) {
  return {static_cast<float>(round3(0.62 + 0.015 * dice.signedUnit(4))),
          static_cast<float>(round3(0.41 + 0.015 * dice.signedUnit(5))),
          static_cast<float>(round3(0.30 + 0.01 * dice.signedUnit(6))), 0.0f};
}

// Mains power: now and then an outage takes part of an hour.
std::uint64_t mainsTime(const HourDice& dice) {
  if (dice.unit(9) < 1.0 / 500.0) return static_cast<std::uint64_t>(dice.unit(10) * 10000.0);
  return 10000;
}

// Abnormal situations in about one hour out of thirty, one or two at a time.
std::uint32_t abnormalSituations(const HourDice& dice) {
  std::uint32_t abnormal = 0;
  if (dice.unit(11) < 1.0 / 30.0) {
    const int count = dice.unit(12) < 0.3 ? 2 : 1;
    for (int i = 0; i < count; ++i) {
      const auto pick = static_cast<std::size_t>(dice.unit(20 + static_cast<std::uint64_t>(i)) *
                                                 static_cast<double>(kAbnormalBits.size()));
      abnormal |= 1u << kAbnormalBits[pick];
    }
  }
  return abnormal;
}

// A heat system counts while the mains are on, less a while when a situation of
// its channels came up in the hour.
std::uint64_t runTime(const HourDice& dice, std::uint32_t abnormal, std::uint64_t mains,
                      std::uint32_t systemBits, std::uint64_t salt) {
  if ((abnormal & systemBits) == 0 || mains == 0) return mains;
  const auto lost = 1 + static_cast<std::uint64_t>(dice.unit(salt) * static_cast<double>(mains));
  return lost >= mains ? 0 : mains - lost;
}

// Flow counts of channels 1 and 2 (supply and return), 0.01 t each.
struct MassCounts {
  std::uint64_t supply = 0;
  std::uint64_t back = 0;
};

// Supply flow in t/h; part of it is drawn off as hot water before the return.
MassCounts massCounts(const HourDice& dice, double winter, double rhythm, int hour,
                      std::uint64_t mains) {
  const double m1 = 11.0 + 9.0 * winter + 1.5 * rhythm + 0.4 * dice.signedUnit(7);
  const double draw =
      0.02 + 0.03 * std::max(0.0, std::cos(kTwoPi * (hour - 8) / 12.0)) + 0.005 * dice.unit(8);
  const double m2 = m1 * (1.0 - draw);
  const double poweredShare = static_cast<double>(mains) / 10000.0;
  return {countOf(m1 * 100.0 * poweredShare), countOf(m2 * 100.0 * poweredShare)};
}

// Heat in 0.01 Gcal: mass in 0.01 t times the temperature difference times
// 0.001, for the share of the powered time the system ran.
std::uint64_t heatCount(std::uint64_t mass, double difference, std::uint64_t run,
                        std::uint64_t mains) {
  return countOf(static_cast<double>(mass) * difference * 0.001 * static_cast<double>(run) /
                 static_cast<double>(std::max<std::uint64_t>(mains, 1)));
}

// --- the running integrator totals ----------------------------------------------

constexpr std::array<std::uint64_t, kTotalCount> kStartTotals = {
    250000, 240000, 0, 0, 5000, 1200000, 400, 1100000, 1300000};

using TotalsTable = std::vector<std::array<std::uint64_t, kTotalCount>>;

TotalsTable buildRunningTotals(std::uint64_t seed) {
  TotalsTable totals(static_cast<std::size_t>(kLastHistoryDay + 1));
  std::array<std::uint64_t, kTotalCount> sum = kStartTotals;
  for (std::int64_t day = 0; day <= kLastHistoryDay; ++day) {
    const Amounts a = historyDay(day, seed);
    for (int q = 0; q < kTotalCount; ++q) sum[static_cast<std::size_t>(q)] += a.byQuantity(q);
    totals[static_cast<std::size_t>(day)] = sum;
  }
  return totals;
}

// The table of a seed, built once; tables are never dropped, so the reference
// stays good.
const TotalsTable& runningTotals(std::uint64_t seed) {
  static std::mutex mutex;
  static std::map<std::uint64_t, std::unique_ptr<const TotalsTable>> tables;
  std::lock_guard lock(mutex);
  auto& table = tables[seed];
  if (!table) table = std::make_unique<const TotalsTable>(buildRunningTotals(seed));
  return *table;
}

std::array<std::uint32_t, kTotalCount> narrow(const std::array<std::uint64_t, kTotalCount>& v) {
  std::array<std::uint32_t, kTotalCount> out{};
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::uint32_t>(v[i]);
  return out;
}

}  // namespace

bool isIntegerQuantity(int quantity) {
  return quantity == kRunTime1 || quantity == kRunTime2 || quantity == kMainsTime ||
         quantity == kAbnormal;
}

std::uint64_t Amounts::byQuantity(int quantity) const {
  switch (quantity) {
    case 0:
    case 1:
    case 2:
    case 3:
      return mass[static_cast<std::size_t>(quantity)];
    case kHeat1:
      return heat[0];
    case kRunTime1:
      return runTime[0];
    case kHeat2:
      return heat[1];
    case kRunTime2:
      return runTime[1];
    case kMainsTime:
      return mainsTime;
    default:
      return 0;
  }
}

Amounts& Amounts::operator+=(const Amounts& other) {
  for (std::size_t i = 0; i < mass.size(); ++i) mass[i] += other.mass[i];
  for (std::size_t i = 0; i < heat.size(); ++i) heat[i] += other.heat[i];
  for (std::size_t i = 0; i < runTime.size(); ++i) runTime[i] += other.runTime[i];
  mainsTime += other.mainsTime;
  return *this;
}

HourSample historyHour(std::int64_t day, int hour, std::uint64_t seed) {
  const HourDice dice(static_cast<std::uint64_t>(day * 24 + hour), seed);
  const double winter = winterShare(day);
  const double rhythm = dailyRhythm(hour);

  HourSample s;
  const Temperatures t = temperatures(dice, winter, rhythm);
  s.temperature = {static_cast<float>(t.supply), static_cast<float>(t.back),
                   static_cast<float>(t.cold), 0.0f};
  s.pressure = pressures(dice);
  s.abnormal = abnormalSituations(dice);
  const std::uint64_t mains = mainsTime(dice);
  const std::uint64_t run1 = runTime(dice, s.abnormal, mains, kSystem1Bits, 13);
  const std::uint64_t run2 = runTime(dice, s.abnormal, mains, kSystem2Bits, 14);
  const MassCounts mass = massCounts(dice, winter, rhythm, hour, mains);

  s.amounts.mass = {mass.supply, mass.back, 0, 0};
  s.amounts.heat = {heatCount(mass.supply, t.supply - t.back, run1, mains),
                    heatCount(mass.supply - mass.back, t.back - t.cold, run2, mains)};
  s.amounts.runTime = {run1, run2};
  s.amounts.mainsTime = mains;
  return s;
}

Amounts historyDay(std::int64_t day, std::uint64_t seed) {
  Amounts sum;
  for (int h = 0; h < 24; ++h) sum += historyHour(day, h, seed).amounts;
  return sum;
}

std::array<std::uint32_t, kTotalCount> historyStartTotals() {
  return narrow(kStartTotals);
}

std::array<std::uint32_t, kTotalCount> historyTotalsAtEndOfDay(std::int64_t day,
                                                               std::uint64_t seed) {
  if (day < 0) return historyStartTotals();
  if (day > kLastHistoryDay) day = kLastHistoryDay;
  return narrow(runningTotals(seed)[static_cast<std::size_t>(day)]);
}

}  // namespace vardis::sim
