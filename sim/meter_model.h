// The simulated meter: its parameters, current values, clock and archives, and
// its answers to request frames.
//
// Values come from a deterministic history (see history.h) unless pinned: a
// pinned parameter, current value, clock or archive value is answered as given.
// The model is not synchronised; the Simulator guards its copy with a mutex.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>

#include "link/frame.h"
#include "sim/calendar.h"
#include "sim/history.h"
#include "sim/time_source.h"

namespace vardis::sim {

// Byte 4 of an archive request.
enum class RecordKind : std::uint8_t {
  Hourly = 0,
  Daily = 1,
  Monthly = 2,
  DayEndTotals = 3,  // integrators at the end of a day
};

// A meter data file or text that cannot be used; the text says what and where.
class DataError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One interval record as the meter reports it.
struct IntervalRecord {
  bool present = false;                    // false: no record for that interval, every value 0
  std::array<float, 4> flow{};             // mean flow, t/h
  std::array<float, 2> heat{};             // heat of the interval, Gcal
  std::array<float, 4> temperature{};      // mean, degrees C
  std::array<float, 4> pressure{};         // mean, MPa
  std::array<std::uint32_t, 2> runTime{};  // 1/10000 h
  std::uint32_t mainsTime = 0;             // 1/10000 h
  std::uint32_t abnormal = 0;

  // The value of archive quantity 0..17, floats widened; 0 for other indices.
  double value(int quantity) const;
};

struct ClockReading {
  std::uint32_t packed = 0;  // date and time to the minute
  std::uint8_t seconds = 0;
};

inline constexpr std::uint32_t kDefaultSerialNumber = 12345;

class MeterModel {
 public:
  explicit MeterModel(std::shared_ptr<const TimeSource> time = systemTimeSource());

  // --- configuration and pinning --------------------------------------------
  std::uint8_t address() const { return address_; }
  void setAddress(std::uint8_t address) { address_ = address; }

  void pinParameter(int index, float value);
  void pinFloatValue(int index, float value);
  void pinCounter(int index, std::uint32_t value);
  // Pins the answer to an archive request: floats for command 11, the value
  // rounded to an unsigned 32-bit number for command 12.
  void pinArchive(RecordKind kind, std::uint32_t dateCode, int quantity, double value);
  // Sets the clock (what the set-clock command does); it runs on from here.
  void setClock(std::uint32_t packed, int seconds);
  // A stopped clock keeps reading the last value set.
  void setClockRunning(bool running);
  // Archive records exist for intervals that ended by this time; by default
  // (nullopt) the meter clock decides.
  void setArchiveHorizon(std::optional<std::uint32_t> packed);
  // Which generated history the meter has (see history.h); 0 by default.
  std::uint64_t historySeed() const { return historySeed_; }
  void setHistorySeed(std::uint64_t seed) { historySeed_ = seed; }

  // Reads meter data (see README.md for the layout) and applies it on top of
  // the current state. Throws DataError; on error nothing is applied.
  void loadJson(std::string_view text);
  void loadJsonFile(const std::string& path);

  // --- values ----------------------------------------------------------------
  float parameter(int index) const;
  float floatValue(int index) const;
  std::uint32_t counter(int index) const;
  ClockReading clock() const;
  // The meter clock in milliseconds since 2000-01-01 00:00:00.
  std::int64_t clockMs() const;

  // Generated records (pins not applied). A record is present when its interval
  // ended at the archive horizon; the monthly record covers the month's days
  // that ended.
  IntervalRecord hourRecord(int year, int month, int day, int hour) const;
  IntervalRecord dayRecord(int year, int month, int day) const;
  IntervalRecord monthRecord(int year, int month) const;
  // Integrators at the end of the day; nullopt when the day has not ended.
  std::optional<std::array<std::uint32_t, kTotalCount>> dayEndTotals(int year, int month,
                                                                     int day) const;
  // The day's integral amounts, in integrator counts (independent of the horizon).
  Amounts dayAmounts(int year, int month, int day) const;

  // The value an archive request is answered with (pins applied): the float
  // widened, or the unsigned integer. 0 for a record that does not exist.
  double archiveValue(RecordKind kind, std::uint32_t dateCode, int quantity) const;
  // Reply bytes 5..8 for command 11 (float) or 12 (unsigned integer).
  std::uint32_t archiveReplyBits(Command command, RecordKind kind, std::uint32_t dateCode,
                                 int quantity) const;

  // Divisor from integrator counts to the shown unit for a channel 1..4: 0.1,
  // 1, 10, 100 or 1000, chosen by the channel's upper flow limit.
  double flowDivisor(int channel) const;

  // --- protocol --------------------------------------------------------------
  // The reply to a well-formed request addressed to this meter, or nullopt for
  // other addresses and unknown commands. Set clock changes the clock.
  std::optional<Frame> answer(const Frame& request);

 private:
  std::int64_t horizonSeconds() const;
  IntervalRecord recordFromHour(std::int64_t day, int hour) const;
  IntervalRecord recordFromDay(std::int64_t day) const;
  double generatedArchiveValue(RecordKind kind, std::uint32_t dateCode, int quantity) const;
  HourSample currentHour(std::int64_t* day, int* hour, double* elapsedShare) const;

  std::shared_ptr<const TimeSource> time_;
  std::uint8_t address_ = 0;
  std::array<std::optional<float>, 256> parameterPins_{};
  std::array<std::optional<float>, 256> floatPins_{};
  std::array<std::optional<std::uint32_t>, 256> counterPins_{};
  std::map<std::tuple<std::uint8_t, std::uint32_t, std::uint8_t>, double> archivePins_;
  // The clock reads clockBaseMs_ at steady time clockBaseSteadyMs_.
  std::int64_t clockBaseMs_ = 0;
  std::int64_t clockBaseSteadyMs_ = 0;
  bool clockRunning_ = true;
  std::optional<std::int64_t> archiveHorizonSeconds_;
  std::uint64_t historySeed_ = 0;
};

// Parameter values of a newly delivered meter (indices 0..255).
float defaultParameter(int index);

}  // namespace vardis::sim
