#include "sim/meter_model.h"

#include <cmath>
#include <limits>
#include <utility>

namespace vardis::sim {

namespace {

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

std::array<float, 256> buildDefaultParameters() {
  std::array<float, 256> p{};
  // General.
  p[0] = static_cast<float>(kDefaultSerialNumber);
  p[1] = 1234;  // password for changes
  p[2] = 12;    // password for resets
  p[3] = 1;     // report day
  p[4] = 1;     // automatic daylight-saving switch
  p[5] = 2;     // ultrasonic channels in use
  p[6] = 0;     // network address (follows the meter address)
  p[7] = 9600;  // line speed
  p[8] = 0;     // DCON protocol off
  p[9] = 1;     // heat unit: Gcal
  // Flow channels 1 and 2 are in use, 3 and 4 are not.
  struct FlowChannel {
    float maxFlow, minFlow, constFlow, diameter, sensorBase, averaging, zeroOffset, cable,
        correction, delay;
  };
  const FlowChannel flow[2] = {
      {50.0f, 0.5f, 0.0f, 50.0f, 70.71f, 10, 0.25f, 5.5f, 1.0f, 2.5f},
      {50.0f, 0.5f, 0.0f, 50.0f, 70.71f, 10, -0.18f, 7.0f, 0.9985f, 2.48f}};
  for (int k = 0; k < 2; ++k) {
    const FlowChannel& c = flow[k];
    const float values[10] = {c.maxFlow,   c.minFlow,    c.constFlow, c.diameter,   c.sensorBase,
                              c.averaging, c.zeroOffset, c.cable,     c.correction, c.delay};
    for (int j = 0; j < 10; ++j) p[static_cast<std::size_t>(10 * (k + 1) + j)] = values[j];
  }
  p[50] = 16384.0f;  // resistance code at 100 ohm
  p[51] = 24576.0f;  // at 150 ohm
  // Temperature channels: constant, sensor coefficient, lower and upper limits.
  const float tConst[4] = {70.0f, 45.0f, 5.0f, 0.0f};
  for (int k = 0; k < 4; ++k) {
    const auto base = static_cast<std::size_t>(52 + 4 * k);
    p[base] = tConst[k];
    p[base + 1] = 1.385f;
    p[base + 2] = 0.0f;
    p[base + 3] = 150.0f;
  }
  // Pressure channels: constant, measuring range top and bottom, limits.
  const float pressure[4][5] = {{0.6f, 1.6f, 0.0f, 1.2f, 0.1f},
                                {0.4f, 1.6f, 0.0f, 1.0f, 0.1f},
                                {0.3f, 1.0f, 0.0f, 0.8f, 0.05f},
                                {0.0f, 0.0f, 0.0f, 0.0f, 0.0f}};
  for (int k = 0; k < 4; ++k) {
    for (int j = 0; j < 5; ++j) p[static_cast<std::size_t>(68 + 5 * k + j)] = pressure[k][j];
  }
  p[88] = 6553.6f;   // converter code at 4 mA
  p[89] = 32768.0f;  // at 20 mA
  // Heat calculation of systems 1 and 2.
  const float heat1[10] = {1, 2, 0, 1, 0, 0, 0, 0, 0, 0};
  const float heat2[10] = {1, 3, 0, 1, 0, 0, 0, 0, 0, 0};
  for (int j = 0; j < 10; ++j) {
    p[static_cast<std::size_t>(90 + j)] = heat1[j];
    p[static_cast<std::size_t>(100 + j)] = heat2[j];
  }
  p[110] = 0;  // reset
  p[111] = 0;  // mass archive
  const float window[4] = {40, 40, 0, 0};
  const float width[4] = {12, 12, 0, 0};
  for (int k = 0; k < 4; ++k) {
    p[static_cast<std::size_t>(112 + k)] = window[k];
    p[static_cast<std::size_t>(116 + k)] = width[k];
  }
  p[120] = 1.25f;
  p[121] = 0.75f;
  p[122] = 1;  // double-beam chord
  // Analog outputs.
  const float outputs[12] = {1, 50, 2, 50, 4, 20, 4, 20, 1, 1, 0, 0};
  for (int j = 0; j < 12; ++j) p[static_cast<std::size_t>(123 + j)] = outputs[j];
  // Flow correction: five boundaries and five factors per channel.
  const float bounds[5] = {1, 5, 10, 25, 50};
  for (int c = 0; c < 4; ++c) {
    for (int j = 0; j < 5; ++j) {
      p[static_cast<std::size_t>(140 + 10 * c + j)] = c < 2 ? bounds[j] : 0.0f;
      p[static_cast<std::size_t>(145 + 10 * c + j)] = 1.0f;
    }
  }
  return p;
}

std::uint32_t toUnsigned(double v) {
  if (!(v > 0.0)) return 0;
  if (v >= 4294967295.0) return std::numeric_limits<std::uint32_t>::max();
  return static_cast<std::uint32_t>(std::llround(v));
}

// Flow decimals of a channel from its upper flow limit, and the divisor that
// turns integrator counts into the shown unit.
double divisorForLimit(double limit) {
  static constexpr double kDivisors[5] = {0.1, 1.0, 10.0, 100.0, 1000.0};
  int decimals = 4;
  if (limit > 10) decimals = 3;
  if (limit > 100) decimals = 2;
  if (limit > 1000) decimals = 1;
  if (limit > 10000) decimals = 0;
  return kDivisors[decimals];
}

struct DayAggregate {
  Amounts amounts;
  std::array<double, 4> temperature{};
  std::array<double, 4> pressure{};
  std::uint32_t abnormal = 0;
};

DayAggregate aggregateDay(std::int64_t day) {
  DayAggregate a;
  for (int h = 0; h < 24; ++h) {
    const HourSample s = historyHour(day, h);
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

float defaultParameter(int index) {
  static const std::array<float, 256> table = buildDefaultParameters();
  if (index < 0 || index > 255) return 0.0f;
  return table[static_cast<std::size_t>(index)];
}

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

MeterModel::MeterModel(std::shared_ptr<const TimeSource> time) : time_(std::move(time)) {
  if (!time_) time_ = systemTimeSource();
  clockBaseMs_ = time_->localMs();
  clockBaseSteadyMs_ = time_->steadyMs();
}

// --- configuration -------------------------------------------------------------

void MeterModel::pinParameter(int index, float value) {
  parameterPins_.at(static_cast<std::size_t>(index)) = value;
}

void MeterModel::pinFloatValue(int index, float value) {
  floatPins_.at(static_cast<std::size_t>(index)) = value;
}

void MeterModel::pinCounter(int index, std::uint32_t value) {
  counterPins_.at(static_cast<std::size_t>(index)) = value;
}

void MeterModel::pinArchive(RecordKind kind, std::uint32_t dateCode, int quantity, double value) {
  if (quantity < 0 || quantity > 255) throw std::out_of_range("archive quantity out of 0..255");
  archivePins_[{static_cast<std::uint8_t>(kind), dateCode, static_cast<std::uint8_t>(quantity)}] =
      value;
}

void MeterModel::setClock(std::uint32_t packed, int seconds) {
  CivilTime t = unpackDateTime(packed);
  t.second = seconds;
  if (!isValidDateTime(t)) throw std::invalid_argument("not a valid meter date and time");
  clockBaseMs_ = secondsSince2000(t) * 1000;
  clockBaseSteadyMs_ = time_->steadyMs();
}

void MeterModel::setClockRunning(bool running) {
  if (running == clockRunning_) return;
  clockBaseMs_ = clockMs();
  clockBaseSteadyMs_ = time_->steadyMs();
  clockRunning_ = running;
}

void MeterModel::setArchiveHorizon(std::optional<std::uint32_t> packed) {
  if (!packed) {
    archiveHorizonSeconds_.reset();
    return;
  }
  const CivilTime t = unpackDateTime(*packed);
  if (!isValidDateTime(t)) throw std::invalid_argument("not a valid meter date and time");
  archiveHorizonSeconds_ = secondsSince2000(t);
}

// --- clock -------------------------------------------------------------------

std::int64_t MeterModel::clockMs() const {
  if (!clockRunning_) return clockBaseMs_;
  return clockBaseMs_ + (time_->steadyMs() - clockBaseSteadyMs_);
}

ClockReading MeterModel::clock() const {
  const CivilTime t = civilFromSeconds(floorDiv(clockMs(), 1000));
  return ClockReading{packDateTime(t), static_cast<std::uint8_t>(t.second)};
}

std::int64_t MeterModel::horizonSeconds() const {
  if (archiveHorizonSeconds_) return *archiveHorizonSeconds_;
  return floorDiv(clockMs(), 1000);
}

// --- parameters and current values ---------------------------------------------

float MeterModel::parameter(int index) const {
  if (index < 0 || index > 255) return 0.0f;
  if (const auto& pin = parameterPins_[static_cast<std::size_t>(index)]) return *pin;
  if (index == 6) return static_cast<float>(address_);
  return defaultParameter(index);
}

double MeterModel::flowDivisor(int channel) const {
  if (channel < 1 || channel > 4) return 1.0;
  return divisorForLimit(parameter(10 * channel));
}

HourSample MeterModel::currentHour(std::int64_t* day, int* hour, double* elapsedShare) const {
  const std::int64_t ms = clockMs();
  const std::int64_t seconds = floorDiv(ms, 1000);
  *day = floorDiv(seconds, 86400);
  const std::int64_t inDay = seconds - *day * 86400;
  *hour = static_cast<int>(inDay / 3600);
  *elapsedShare =
      (static_cast<double>(inDay % 3600) + static_cast<double>(ms - seconds * 1000) / 1000.0) /
      3600.0;
  if (*day < 0 || *day > kLastHistoryDay) return HourSample{};
  return historyHour(*day, *hour);
}

float MeterModel::floatValue(int index) const {
  if (index < 0 || index > 255) return 0.0f;
  if (const auto& pin = floatPins_[static_cast<std::size_t>(index)]) return *pin;

  std::int64_t day = 0;
  int hour = 0;
  double share = 0.0;
  const HourSample s = currentHour(&day, &hour, &share);
  const auto k = static_cast<std::size_t>(index % 4);
  const auto massFlow = [&](std::size_t ch) {
    return static_cast<double>(s.amounts.mass[ch]) / flowDivisor(static_cast<int>(ch) + 1);
  };
  const auto density = [&](std::size_t ch) {
    if (ch == 3) return 0.0;  // no sensor on channel 4
    const double t = s.temperature[ch];
    return 1000.0 - 0.0047 * (t - 4.0) * (t - 4.0);
  };
  const auto enthalpy = [&](std::size_t ch) {
    if (ch == 3) return 0.0;
    return 4.1868 * s.temperature[ch] + 0.9 * s.pressure[ch];
  };

  double v = 0.0;
  if (index <= 3) {
    const double rho = density(k);
    v = rho > 0.0 ? massFlow(k) * 1000.0 / rho : 0.0;
  } else if (index <= 7) {
    v = s.temperature[k];
  } else if (index <= 11) {
    v = s.pressure[k];
  } else if (index <= 15) {
    v = massFlow(k);
  } else if (index == 16) {
    v = static_cast<double>(s.amounts.heat[0]) / flowDivisor(1);
  } else if (index == 17) {
    v = static_cast<double>(s.amounts.heat[1]) / flowDivisor(2);
  } else if (index >= 18 && index <= 21) {
    v = enthalpy(static_cast<std::size_t>(index - 18));
  } else if (index >= 24 && index <= 27) {
    v = density(static_cast<std::size_t>(index - 24));
  }
  return static_cast<float>(v);
}

std::uint32_t MeterModel::counter(int index) const {
  if (index < 0 || index > 255) return 0;
  if (const auto& pin = counterPins_[static_cast<std::size_t>(index)]) return *pin;
  if (index >= kTotalCount && index != 24) return 0;

  std::int64_t day = 0;
  int hour = 0;
  double share = 0.0;
  const HourSample s = currentHour(&day, &hour, &share);
  if (index == 24) return s.abnormal;
  const auto q = static_cast<std::size_t>(index);
  if (day < 0) return historyStartTotals()[q];
  if (day > kLastHistoryDay) return historyTotalsAtEndOfDay(kLastHistoryDay)[q];
  std::uint64_t v = historyTotalsAtEndOfDay(day - 1)[q];
  for (int h = 0; h < hour; ++h) v += historyHour(day, h).amounts.byQuantity(index);
  v += static_cast<std::uint64_t>(
      std::floor(static_cast<double>(s.amounts.byQuantity(index)) * share));
  return static_cast<std::uint32_t>(v);
}

// --- archives ------------------------------------------------------------------

IntervalRecord MeterModel::recordFromHour(std::int64_t day, int hour) const {
  const HourSample s = historyHour(day, hour);
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
  const DayAggregate a = aggregateDay(day);
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
    sum += historyDay(d);
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
  return historyTotalsAtEndOfDay(d);
}

Amounts MeterModel::dayAmounts(int year, int month, int day) const {
  if (!isValidDay(year, month, day)) return {};
  return historyDay(daysSince2000(year, month, day));
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

// --- protocol ------------------------------------------------------------------

std::optional<Frame> MeterModel::answer(const Frame& request) {
  if (request[1] != address_) return std::nullopt;
  const std::uint8_t command = request[2];
  const std::uint8_t index1 = request[3];
  const std::uint8_t index2 = request[4];
  const std::uint32_t argument = getU32(&request[5]);

  switch (static_cast<Command>(command)) {
    case Command::SetClock: {
      CivilTime t = unpackDateTime(argument);
      t.second = index1;
      if (isValidDateTime(t)) setClock(argument, index1);
      return request;
    }
    case Command::ReadClock: {
      const ClockReading c = clock();
      return buildFrame(address_, command, c.seconds, index2, c.packed);
    }
    case Command::ReadFloatValue:
      return buildFrame(address_, command, index1, index2, bitsFromFloat(floatValue(index1)));
    case Command::ReadParameter:
      return buildFrame(address_, command, index1, index2, bitsFromFloat(parameter(index1)));
    case Command::ReadCounterValue:
      return buildFrame(address_, command, index1, index2, counter(index1));
    case Command::ReadArchiveFloat:
    case Command::ReadArchiveInteger:
      return buildFrame(address_, command, index1, index2,
                        archiveReplyBits(static_cast<Command>(command),
                                         static_cast<RecordKind>(index2), argument, index1));
  }
  return std::nullopt;
}

}  // namespace vardis::sim
