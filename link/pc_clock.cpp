#include "link/pc_clock.h"

#include <chrono>
#include <cstdio>
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
#ifdef _WIN32
    localtime_s(&tm, &secs);
#else
    localtime_r(&secs, &tm);
#endif
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

class FixedClock final : public PcClock {
 public:
  explicit FixedClock(const LocalDateTime& at) : at_(at) {}
  LocalDateTime now() const override { return at_; }
  std::int64_t steadyMs() const override { return real_.steadyMs(); }

 private:
  LocalDateTime at_;
  SystemClock real_;
};

}  // namespace

std::unique_ptr<PcClock> makeSystemClock() {
  return std::make_unique<SystemClock>();
}

std::unique_ptr<PcClock> makeFixedClock(const LocalDateTime& at) {
  return std::make_unique<FixedClock>(at);
}

bool parseLocalDateTime(const std::string& text, LocalDateTime& out) {
  LocalDateTime t;
  char sep = 0;
  int n = 0;
  const int fields = std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d%n", &t.year, &t.month, &t.day,
                                 &sep, &t.hour, &t.minute, &n);
  if (fields != 6 || (sep != ' ' && sep != 'T')) return false;
  std::size_t pos = static_cast<std::size_t>(n);
  if (pos < text.size()) {
    int m = 0;
    if (std::sscanf(text.c_str() + pos, ":%2d%n", &t.second, &m) != 1) return false;
    pos += static_cast<std::size_t>(m);
    if (pos < text.size() && text[pos] == '.') {
      int ms = 0;
      if (std::sscanf(text.c_str() + pos, ".%3d%n", &t.millisecond, &ms) != 1) return false;
      pos += static_cast<std::size_t>(ms);
    }
  }
  if (pos != text.size()) return false;
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour < 0 || t.hour > 23 ||
      t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59) {
    return false;
  }
  out = t;
  return true;
}

}  // namespace vardis
