// The four report files of one identified meter.
#pragma once

#include <array>
#include <filesystem>
#include <string>

#include "format/report_file.h"

namespace vardis {

enum class ReportKind { Parameters = 0, Hourly = 1, Daily = 2, Monthly = 3 };

// "_par.txt", "_chas.txt", "_sut.txt", "_mes.txt".
const char* reportSuffix(ReportKind kind);

class ReportSet {
 public:
  ReportFile& file(ReportKind kind) { return files_[static_cast<std::size_t>(kind)]; }
  const ReportFile& file(ReportKind kind) const { return files_[static_cast<std::size_t>(kind)]; }

  // Creates the four files empty, in the order par, chas, sut, mes. A file of
  // that name that already holds reports is kept and appended to, never
  // truncated. Throws IoError at the first file that cannot be created.
  void createAll(const std::filesystem::path& folder, const std::string& baseName);

  // Closes the four files in the order par, chas, sut, mes with all their text
  // written. Throws IoError at the first that fails; ReportFilesOpen stays then.
  void closeAll();

  bool ReportFilesOpen = false;

 private:
  std::array<ReportFile, 4> files_;
};

}  // namespace vardis
