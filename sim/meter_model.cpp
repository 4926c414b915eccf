// The meter model: pins, the clock, parameters and current values, and the
// answers to requests. The archive records are in meter_archive.cpp, the
// delivered parameter table in default_parameters.cpp and the data files in
// meter_data.cpp.
#include "sim/meter_model.h"

#include <cmath>
#include <utility>

namespace vardis::sim {

namespace {

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
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

}  // namespace

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
  return historyHour(*day, *hour, historySeed_);
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
  if (day > kLastHistoryDay) return historyTotalsAtEndOfDay(kLastHistoryDay, historySeed_)[q];
  std::uint64_t v = historyTotalsAtEndOfDay(day - 1, historySeed_)[q];
  for (int h = 0; h < hour; ++h) v += historyHour(day, h, historySeed_).amounts.byQuantity(index);
  v += static_cast<std::uint64_t>(
      std::floor(static_cast<double>(s.amounts.byQuantity(index)) * share));
  return static_cast<std::uint32_t>(v);
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
