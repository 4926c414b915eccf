#include "sim/time_source.h"

#include <chrono>
#include <ctime>

#include "sim/calendar.h"

namespace vardis::sim {

namespace {

class SystemTimeSource final : public TimeSource {
 public:
  std::int64_t steadyMs() const override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  std::int64_t localMs() const override {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const time_t seconds = ts.tv_sec;
    tm local{};
    localtime_r(&seconds, &local);
    const CivilTime t{local.tm_year + 1900, local.tm_mon + 1,
                      local.tm_mday,        local.tm_hour,
                      local.tm_min,         local.tm_sec > 59 ? 59 : local.tm_sec};
    return secondsSince2000(t) * 1000 + ts.tv_nsec / 1000000;
  }
};

}  // namespace

std::shared_ptr<const TimeSource> systemTimeSource() {
  static const auto source = std::make_shared<const SystemTimeSource>();
  return source;
}

}  // namespace vardis::sim
