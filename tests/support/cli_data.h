// The pieces the command-line tests against a pinned meter share: the PC time
// they run at, the meter's clock standing at it, a data folder with its report
// folder, and the report files that a run left there.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "sim/meter_model.h"
#include "support/temp_dir.h"

namespace vardis::test {

// The PC reads 2011-04-10 12:00; the meter's clock stands still at that hour.
inline constexpr const char* kPinnedPcTime = "2011-04-10 12:00";

inline void pinMeter(sim::MeterModel& m) {
  m.setClock(1104101200, 7);
  m.setClockRunning(false);
}

// The temporary folder as a data folder, its report folder made.
inline std::filesystem::path dataDir(const TempDir& dir) {
  std::filesystem::create_directories(dir.path() / "arc");
  return dir.path();
}

// The report files of a data folder by name, with their bytes.
inline std::map<std::string, std::string> reportFiles(const std::filesystem::path& data) {
  std::map<std::string, std::string> out;
  for (const auto& f : std::filesystem::directory_iterator(data / "arc"))
    out[f.path().filename().string()] = readFile(f.path());
  return out;
}

}  // namespace vardis::test
