#include "connection/report_naming.h"

#include <cmath>
#include <system_error>

#include "connection/connection.h"
#include "connection/data_dir.h"
#include "format/numtext.h"

namespace vardis {

std::string startStampText(const LocalDateTime& t) {
  return std::to_string(t.year) + "_" + twoDigits(t.month) + "_" + twoDigits(t.day) + "_" +
         twoDigits(t.hour) + "_" + twoDigits(t.minute);
}

std::optional<long long> serialNumber(double value) {
  // The default rounding mode rounds ties to even.
  const double rounded = std::nearbyint(value);
  if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) return std::nullopt;
  return static_cast<long long>(rounded);
}

namespace {

[[noreturn]] void reportFolderError(const IoError& e, const std::filesystem::path& folder) {
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    throw UserError(std::string(e.what()) + ": the report folder " + folder.string() +
                    " does not exist");
  }
  throw UserError(std::string(e.what()) + ": cannot create the report files in " + folder.string() +
                  (e.detail().empty() ? "" : " (" + e.detail() + ")"));
}

}  // namespace

void beginIdentification(Connection& s) {
  // The meter reached now may be another one (a node dialled after another).
  s.meterClockAheadSeconds.reset();
  s.showStartStamp(startStampText(s.clock().now()));
  s.showCallStatus("Считывание параметров");
  s.link.LinkFault = 0;
  s.showIdentificationCount("n=" + std::to_string(s.IdentificationCount));
  s.setOperationStatus("Считывание параметров");
  s.memo("OK=" + std::to_string(s.link.ReceiveResult));
}

void openReportFiles(Connection& s, double serialValue) {
  const auto serial = serialNumber(serialValue);
  if (!serial) {
    // A set still open belongs to the meter before this one.
    if (s.reports.ReportFilesOpen) s.reports.closeAll();
    throw UserError("the meter reports the serial number " + std::to_string(serialValue) +
                    ", which cannot name its report files; no report files were created");
  }
  const std::string prefix = std::to_string(*serial) + "D";
  const bool keep = s.keepReportBase.rfind(prefix, 0) == 0;
  const std::string base = keep ? s.keepReportBase : prefix + s.shown().startStamp;
  s.showReportBaseName(base);
  const std::filesystem::path folder = reportDir(s.config().dataDir);
  try {
    // A set still open from an earlier identification ends with all its text written.
    if (s.reports.ReportFilesOpen) s.reports.closeAll();
    s.reports.createAll(folder, base);
  } catch (const IoError& e) {
    reportFolderError(e, folder);
  }
  s.reports.ReportFilesOpen = true;
  s.IdentificationCount += 1;
}

void requireReportFiles(const Connection& s) {
  if (s.reports.ReportFilesOpen) return;
  throw UserError(
      "no report files are open: identify the meter first (\"Старт\" on a direct line, "
      "\"Соединится\" through a modem); nothing was read");
}

}  // namespace vardis
