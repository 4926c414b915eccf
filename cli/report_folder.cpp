#include "cli/report_folder.h"

#include <ostream>
#include <string>
#include <system_error>

#include "connection/data_dir.h"

namespace vardis::cli {

namespace {

// The path as a shell word: in single quotes unless it needs none.
std::string shellWord(const std::string& path) {
  if (path.find_first_not_of(
          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+") ==
      std::string::npos) {
    return path;
  }
  std::string word = "'";
  for (const char c : path) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

}  // namespace

bool prepareReportFolder(const std::filesystem::path& dataDir, bool create, std::ostream& err) {
  if (!create) return true;
  const std::filesystem::path folder = reportDir(dataDir);
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return true;
  std::filesystem::create_directories(folder, ec);
  if (!ec) return true;
  err << "vardis-cli: --create-dirs: cannot make the report folder " << folder.string() << " ("
      << ec.message() << ")\n";
  return false;
}

void hintReportFolder(const std::filesystem::path& dataDir, std::ostream& err) {
  const std::filesystem::path folder = reportDir(dataDir);
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return;
  err << "vardis-cli: make the report folder with: mkdir -p " << shellWord(folder.string())
      << " (or run again with --create-dirs)\n";
}

}  // namespace vardis::cli
