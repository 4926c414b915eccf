#include "connection/data_dir.h"

#include <cstdlib>

namespace vardis {

std::filesystem::path defaultDataDir() {
#ifdef _WIN32
  return std::filesystem::path("c:\\vardis");
#else
  if (const char* home = std::getenv("VARDIS_HOME"); home && *home) return home;
  if (const char* user = std::getenv("HOME"); user && *user) {
    return std::filesystem::path(user) / "vardis";
  }
  return std::filesystem::path("vardis");
#endif
}

}  // namespace vardis
