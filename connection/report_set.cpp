#include "connection/report_set.h"

#include <system_error>

namespace vardis {

const char* reportSuffix(ReportKind kind) {
  switch (kind) {
    case ReportKind::Parameters:
      return "_par.txt";
    case ReportKind::Hourly:
      return "_chas.txt";
    case ReportKind::Daily:
      return "_sut.txt";
    case ReportKind::Monthly:
      return "_mes.txt";
  }
  return "";
}

void ReportSet::createAll(const std::filesystem::path& folder, const std::string& baseName) {
  for (std::size_t i = 0; i < files_.size(); ++i) {
    const auto kind = static_cast<ReportKind>(i);
    const std::filesystem::path path = folder / (baseName + reportSuffix(kind));
    // Two identifications of one meter within the same minute name the same
    // files: keep what the first one wrote rather than truncate it.
    std::error_code ec;
    const bool keep = std::filesystem::is_regular_file(path, ec) &&
                      std::filesystem::file_size(path, ec) > 0 && !ec;
    if (keep) {
      files_[i].openForAppend(path);
    } else {
      files_[i].create(path);
    }
  }
}

void ReportSet::closeAll() {
  for (auto& f : files_) f.close();
  ReportFilesOpen = false;
}

}  // namespace vardis
