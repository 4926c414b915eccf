#include "link/pc_clock.h"

#include <chrono>
#include <ctime>

namespace vardis {

namespace {

class SystemClock final : public PcClock {
 public:
  LocalDateTime now() const override {
    using namespace std::chrono;
    const auto tp = system_clock::now();
    const std::time_t secs = system_clock::to_time_t(tp);
    const auto ms = duration_cast<milliseconds>(tp.time_since_epoch()).count() % 1000;
    std::tm tm{};
    localtime_r(&secs, &tm);
    LocalDateTime t;
    t.year = tm.tm_year + 1900;
    t.month = tm.tm_mon + 1;
    t.day = tm.tm_mday;
    t.hour = tm.tm_hour;
    t.minute = tm.tm_min;
    t.second = tm.tm_sec;
    t.millisecond = static_cast<int>(ms < 0 ? ms + 1000 : ms);
    return t;
  }
  std::int64_t steadyMs() const override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }
};

}  // namespace

std::unique_ptr<PcClock> makeSystemClock() {
  return std::make_unique<SystemClock>();
}

}  // namespace vardis
