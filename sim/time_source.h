// Where the simulated meter takes the time from. The real source reads the
// host clocks; tests use the manual one and move it by hand instead of sleeping.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace vardis::sim {

class TimeSource {
 public:
  virtual ~TimeSource() = default;
  // Milliseconds on a monotonic scale; only differences count.
  virtual std::int64_t steadyMs() const = 0;
  // The host's local date and time, in milliseconds since 2000-01-01 00:00:00 local time.
  virtual std::int64_t localMs() const = 0;
};

// The host's clocks (steady clock and local time of day).
std::shared_ptr<const TimeSource> systemTimeSource();

// A clock that only moves when told to. Safe to move from one thread while
// another reads it.
class ManualTimeSource final : public TimeSource {
 public:
  explicit ManualTimeSource(std::int64_t localMs = 0) : local_(localMs) {}

  std::int64_t steadyMs() const override { return steady_.load(); }
  std::int64_t localMs() const override { return local_.load(); }

  // Moves both clocks forward.
  void advance(std::int64_t ms) {
    steady_ += ms;
    local_ += ms;
  }
  // Sets the local time without touching the steady clock (like a host clock change).
  void setLocalMs(std::int64_t ms) { local_ = ms; }

 private:
  std::atomic<std::int64_t> steady_{0};
  std::atomic<std::int64_t> local_;
};

}  // namespace vardis::sim
