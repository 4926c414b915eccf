// What the parts of the benchmark share: the size of a reading, a folder of
// its own for each run, the day read and the arithmetic of times.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "bench/timing_line.h"
#include "connection/connection.h"

namespace vardis::bench {

constexpr int kTransactionsPerReading = 533;

// A fresh folder with the report folder in it, removed at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

inline double processorSeconds(const rusage& u) {
  return seconds(u.ru_utime) + seconds(u.ru_stime);
}

inline double ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Yesterday by the PC's calendar: its hour records have all ended.
CalendarDate yesterday();
std::string dateText(const CalendarDate& d);

}  // namespace vardis::bench
