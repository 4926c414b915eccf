#include "bench/common.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <system_error>

#include "connection/data_dir.h"

namespace vardis::bench {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vardis-bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  path_ = pattern;
  std::filesystem::create_directories(reportDir(path_));
}

TempFolder::~TempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

CalendarDate yesterday() {
  const std::time_t t = std::time(nullptr) - 24 * 60 * 60;
  std::tm tm{};
  ::localtime_r(&t, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

std::string dateText(const CalendarDate& d) {
  return isoDate(d);
}

}  // namespace vardis::bench
