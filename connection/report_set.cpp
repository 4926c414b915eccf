#include "connection/report_set.h"

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
    // Files are never truncated: two identifications (or two programs) that
    // name the same files in the same minute append to them.
    files_[i].open(folder / (baseName + reportSuffix(kind)));
  }
}

void ReportSet::closeAll() {
  for (auto& f : files_) f.close();
  ReportFilesOpen = false;
}

}  // namespace vardis
