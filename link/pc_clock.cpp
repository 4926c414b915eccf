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

namespace {

// `count` digits at `pos`, into `out`; false when they are not all there.
bool fixedDigits(const std::string& text, std::size_t pos, std::size_t count, int& out) {
  if (pos + count > text.size()) return false;
  out = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

bool parseLocalDateTime(const std::string& text, LocalDateTime& out) {
  const auto date =
      text.size() >= 16 ? parseIsoDate(std::string_view(text).substr(0, 10)) : std::nullopt;
  if (!date || (text[10] != ' ' && text[10] != 'T') || text[13] != ':') return false;
  LocalDateTime t;
  t.year = date->year;
  t.month = date->month;
  t.day = date->day;
  if (!fixedDigits(text, 11, 2, t.hour) || !fixedDigits(text, 14, 2, t.minute)) return false;
  std::size_t pos = 16;
  if (pos < text.size() && (text[pos] != ':' || !fixedDigits(text, pos + 1, 2, t.second))) {
    return false;
  }
  if (pos < text.size()) pos += 3;
  if (pos < text.size() && (text[pos] != '.' || !fixedDigits(text, pos + 1, 3, t.millisecond))) {
    return false;
  }
  if (pos < text.size()) pos += 4;
  if (pos != text.size() || t.hour > 23 || t.minute > 59 || t.second > 59) return false;
  out = t;
  return true;
}

}  // namespace vardis
