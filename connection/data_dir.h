// Where the tool keeps its files: c:\vardis\ on Windows; elsewhere $VARDIS_HOME,
// else ~/vardis. Reports go to its arc/ folder, the node file sits in it.
#pragma once

#include <filesystem>

namespace vardis {

std::filesystem::path defaultDataDir();
inline std::filesystem::path reportDir(const std::filesystem::path& dataDir) {
  return dataDir / "arc";
}
inline std::filesystem::path nodeFile(const std::filesystem::path& dataDir) {
  return dataDir / "gsm_csd.ini";
}

}  // namespace vardis
