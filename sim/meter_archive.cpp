// The meter's archives: hour, day and month records and the integrators at the
// end of a day, all derived from the generated history, and the answers to
// archive requests with the pins applied.
#include <cmath>
#include <limits>

#include "sim/meter_model.h"

namespace vardis::sim {

namespace {

std::uint32_t toUnsigned(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 4294967295.0) return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(std::llround(v));
}

struct DayAggregate {
  Amounts amounts;
  std::array<double, 4> temperature{};
  std::array<double, 4> pressure{};
  std::uint32_t abnormal = 0;
};

DayAggregate aggregateDay(std::int64_t day, std::uint64_t seed) {
  DayAggregate a;
  for (int h = 0; h < 24; ++h) {
    const HourSample s = historyHour(day, h, seed);
    a.amounts += s.amounts;
    for (std::size_t k = 0; k < 4; ++k) {
      a.temperature[k] += s.temperature[k];
      a.pressure[k] += s.pressure[k];
    }
    a.abnormal |= s.abnormal;
  }
  for (std::size_t k = 0; k < 4; ++k) {
    a.temperature[k] /= 24.0;
    a.pressure[k] /= 24.0;
  }
  return a;
}

bool isValidDay(int year, int month, int day) {
  return isValidDateTime(CivilTime{year, month, day, 0, 0, 0});
}

}  // namespace

double IntervalRecord::value(int quantity) const {
  if (quantity >= kFlow1 && quantity < kFlow1 + 4) return flow[static_cast<std::size_t>(quantity)];
  if (quantity >= kTemperature1 && quantity < kTemperature1 + 4)
    return temperature[static_cast<std::size_t>(quantity - kTemperature1)];
  if (quantity >= kPressure1 && quantity < kPressure1 + 4)
    return pressure[static_cast<std::size_t>(quantity - kPressure1)];
  switch (quantity) {
    case kHeat1:
      return heat[0];
    case kHeat2:
      return heat[1];
    case kRunTime1:
      return runTime[0];
    case kRunTime2:
      return runTime[1];
    case kMainsTime:
      return mainsTime;
    case kAbnormal:
      return abnormal;
    default:
      return 0.0;
  }
}

IntervalRecord MeterModel::recordFromHour(std::int64_t day, int hour) const {
  const HourSample s = historyHour(day, hour, historySeed_);
  IntervalRecord r;
  r.present = true;
  for (std::size_t k = 0; k < 4; ++k) {
    r.flow[k] = static_cast<float>(static_cast<double>(s.amounts.mass[k]) /
                                   flowDivisor(static_cast<int>(k) + 1));
  }
  for (std::size_t i = 0; i < 2; ++i) {
    r.heat[i] = static_cast<float>(static_cast<double>(s.amounts.heat[i]) /
                                   flowDivisor(static_cast<int>(i) + 1));
    r.runTime[i] = static_cast<std::uint32_t>(s.amounts.runTime[i]);
  }
  r.temperature = s.temperature;
  r.pressure = s.pressure;
  r.mainsTime = static_cast<std::uint32_t>(s.amounts.mainsTime);
  r.abnormal = s.abnormal;
  return r;
}

IntervalRecord MeterModel::recordFromDay(std::int64_t day) const {
  const DayAggregate a = aggregateDay(day, historySeed_);
  IntervalRecord r;
  r.present = true;
  for (std::size_t k = 0; k < 4; ++k) {
    r.flow[k] = static_cast<float>(static_cast<double>(a.amounts.mass[k]) / 24.0 /
                                   flowDivisor(static_cast<int>(k) + 1));
    r.temperature[k] = static_cast<float>(a.temperature[k]);
    r.pressure[k] = static_cast<float>(a.pressure[k]);
  }
  for (std::size_t i = 0; i < 2; ++i) {
    r.heat[i] = static_cast<float>(static_cast<double>(a.amounts.heat[i]) /
                                   flowDivisor(static_cast<int>(i) + 1));
    r.runTime[i] = static_cast<std::uint32_t>(a.amounts.runTime[i]);
  }
  r.mainsTime = static_cast<std::uint32_t>(a.amounts.mainsTime);
  r.abnormal = a.abnormal;
  return r;
}

IntervalRecord MeterModel::hourRecord(int year, int month, int day, int hour) const {
  if (!isValidDateTime(CivilTime{year, month, day, hour, 0, 0})) return {};
  const std::int64_t d = daysSince2000(year, month, day);
  if ((d * 24 + hour + 1) * 3600 > horizonSeconds()) return {};
  return recordFromHour(d, hour);
}

IntervalRecord MeterModel::dayRecord(int year, int month, int day) const {
  if (!isValidDay(year, month, day)) return {};
  const std::int64_t d = daysSince2000(year, month, day);
  if ((d + 1) * 86400 > horizonSeconds()) return {};
  return recordFromDay(d);
}

IntervalRecord MeterModel::monthRecord(int year, int month) const {
  if (!isValidDay(year, month, 1)) return {};
  const std::int64_t horizon = horizonSeconds();
  Amounts sum;
  std::array<double, 4> temperature{};
  std::array<double, 4> pressure{};
  std::uint32_t abnormal = 0;
  int days = 0;
  for (int dd = 1; dd <= daysInMonth(year, month); ++dd) {
    const std::int64_t d = daysSince2000(year, month, dd);
    if ((d + 1) * 86400 > horizon) break;
    const IntervalRecord dayRec = recordFromDay(d);
    sum += historyDay(d, historySeed_);
    for (std::size_t k = 0; k < 4; ++k) {
      temperature[k] += dayRec.temperature[k];
      pressure[k] += dayRec.pressure[k];
    }
    abnormal |= dayRec.abnormal;
    ++days;
  }
  if (days == 0) return {};
  IntervalRecord r;
  r.present = true;
  for (std::size_t k = 0; k < 4; ++k) {
    r.flow[k] = static_cast<float>(static_cast<double>(sum.mass[k]) / (24.0 * days) /
                                   flowDivisor(static_cast<int>(k) + 1));
    r.temperature[k] = static_cast<float>(temperature[k] / days);
    r.pressure[k] = static_cast<float>(pressure[k] / days);
  }
  for (std::size_t i = 0; i < 2; ++i) {
    r.heat[i] =
        static_cast<float>(static_cast<double>(sum.heat[i]) / flowDivisor(static_cast<int>(i) + 1));
    r.runTime[i] = static_cast<std::uint32_t>(sum.runTime[i]);
  }
  r.mainsTime = static_cast<std::uint32_t>(sum.mainsTime);
  r.abnormal = abnormal;
  return r;
}

std::optional<std::array<std::uint32_t, kTotalCount>> MeterModel::dayEndTotals(int year, int month,
                                                                               int day) const {
  if (!isValidDay(year, month, day)) return std::nullopt;
  const std::int64_t d = daysSince2000(year, month, day);
  if ((d + 1) * 86400 > horizonSeconds()) return std::nullopt;
  return historyTotalsAtEndOfDay(d, historySeed_);
}

Amounts MeterModel::dayAmounts(int year, int month, int day) const {
  if (!isValidDay(year, month, day)) return {};
  return historyDay(daysSince2000(year, month, day), historySeed_);
}

double MeterModel::generatedArchiveValue(RecordKind kind, std::uint32_t dateCode,
                                         int quantity) const {
  if (quantity < 0 || quantity >= kQuantityCount) return 0.0;
  const CivilTime t = unpackDateTime(dateCode);
  switch (kind) {
    case RecordKind::Hourly:
      if (!isValidDateTime(t)) return 0.0;
      return hourRecord(t.year, t.month, t.day, t.hour).value(quantity);
    case RecordKind::Daily:
      if (!isValidDateTime(t)) return 0.0;
      return dayRecord(t.year, t.month, t.day).value(quantity);
    case RecordKind::Monthly: {
      // The month's record answers for any day 0..31 of its code.
      CivilTime first = t;
      first.day = 1;
      if (t.day > 31 || !isValidDateTime(first)) return 0.0;
      return monthRecord(t.year, t.month).value(quantity);
    }
    case RecordKind::DayEndTotals: {
      if (!isValidDateTime(t) || quantity >= kTotalCount) return 0.0;
      const auto totals = dayEndTotals(t.year, t.month, t.day);
      return totals ? (*totals)[static_cast<std::size_t>(quantity)] : 0.0;
    }
  }
  return 0.0;
}

double MeterModel::archiveValue(RecordKind kind, std::uint32_t dateCode, int quantity) const {
  if (quantity >= 0 && quantity <= 255) {
    const auto it = archivePins_.find(
        {static_cast<std::uint8_t>(kind), dateCode, static_cast<std::uint8_t>(quantity)});
    if (it != archivePins_.end()) return it->second;
  }
  return generatedArchiveValue(kind, dateCode, quantity);
}

std::uint32_t MeterModel::archiveReplyBits(Command command, RecordKind kind, std::uint32_t dateCode,
                                           int quantity) const {
  const double v = archiveValue(kind, dateCode, quantity);
  if (command == Command::ReadArchiveFloat) return bitsFromFloat(static_cast<float>(v));
  return toUnsigned(v);
}

}  // namespace vardis::sim
