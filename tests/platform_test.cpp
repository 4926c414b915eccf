// What differs between the Windows and the Linux build of the core: the data
// folder and the PC's local time. (Port texts and report bytes are checked
// with the port texts and the report file; the same byte-exact report tests
// run on both builds.)
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>

#include "connection/data_dir.h"
#include "link/pc_clock.h"

namespace vardis {
namespace {

TEST(Platform, DefaultDataFolder) {
#ifdef _WIN32
  EXPECT_EQ(defaultDataDir(), std::filesystem::path("c:\\vardis"));
  EXPECT_EQ(reportDir(defaultDataDir()).string(), "c:\\vardis\\arc");
  EXPECT_EQ(nodeFile(defaultDataDir()).string(), "c:\\vardis\\gsm_csd.ini");
#else
  const char* saved = std::getenv("VARDIS_HOME");
  const std::string keep = saved ? saved : "";
  ::setenv("VARDIS_HOME", "/srv/meters", 1);
  EXPECT_EQ(defaultDataDir(), std::filesystem::path("/srv/meters"));
  ::unsetenv("VARDIS_HOME");
  if (const char* home = std::getenv("HOME"); home && *home) {
    EXPECT_EQ(defaultDataDir(), std::filesystem::path(home) / "vardis");
  }
  if (saved) ::setenv("VARDIS_HOME", keep.c_str(), 1);
#endif
}

// The PC clock gives local time with a calendar month and a full year, equal to
// what the C library says for the same second.
TEST(Platform, PcClockIsLocalTime) {
  const auto clock = makeSystemClock();
  for (int attempt = 0; attempt < 3; ++attempt) {
    // time() reads a coarse clock that can lag the real one by a tick.
    auto seconds = [] {
      return std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    };
    const std::time_t before = seconds();
    const LocalDateTime now = clock->now();
    const std::time_t after = seconds();
    if (before != after) continue;  // a second ticked over between the two readings
    const std::tm expected = *std::localtime(&before);
    EXPECT_EQ(now.year, expected.tm_year + 1900);
    EXPECT_EQ(now.month, expected.tm_mon + 1);
    EXPECT_EQ(now.day, expected.tm_mday);
    EXPECT_EQ(now.hour, expected.tm_hour);
    EXPECT_EQ(now.minute, expected.tm_min);
    EXPECT_EQ(now.second, expected.tm_sec);
    EXPECT_GE(now.millisecond, 0);
    EXPECT_LT(now.millisecond, 1000);
    return;
  }
  FAIL() << "the clock never stood still for a reading";
}

}  // namespace
}  // namespace vardis
