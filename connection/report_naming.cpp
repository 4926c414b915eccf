#include "connection/identification.h"

#include <cmath>
#include <system_error>

#include "connection/data_dir.h"
#include "connection/session.h"
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

void readParameter(Session& s, std::uint8_t index) {
  s.link.addr.valueIndex = index;
  s.link.ReadParameterTransaction();
}

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

void MeterIdentification(Session& s) {
  const LocalDateTime now = s.clock().now();
  const std::string stamp = startStampText(now);
  s.setCaption("Edit3", stamp);
  s.setCaption("Label47", "Считывание параметров");
  s.link.LinkFault = 0;
  s.setCaption("Label1", "n=" + std::to_string(s.IdentificationCount));
  s.setOperationStatus("Считывание параметров");
  s.memo("OK=" + std::to_string(s.link.ReceiveResult));

  readParameter(s, 0);
  s.setProgress(10);
  readParameter(s, 3);
  s.setProgress(15);
  readParameter(s, 9);
  s.HeatUnitText = s.params.values[9] == 0 ? " Гдж" : "Гкал";
  readParameter(s, 111);
  s.setProgress(20);
  readParameter(s, 10);
  s.setProgress(25);
  readParameter(s, 20);
  s.setProgress(50);
  readParameter(s, 30);
  s.setProgress(75);
  readParameter(s, 40);
  s.setProgress(100);

  if (s.link.LinkFault == 0) {
    const auto serial = serialNumber(s.params.values[0]);
    if (!serial) {
      // A set still open belongs to the meter before this one.
      if (s.reports.ReportFilesOpen) s.reports.closeAll();
      throw UserError("the meter reports the serial number " + std::to_string(s.params.values[0]) +
                      ", which cannot name its report files; no report files were created");
    }
    const std::string base = std::to_string(*serial) + "D" + s.caption("Edit3");
    s.setCaption("Edit2", base);
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

  s.setOperationStatus("Параметры записаны");
  s.observer().identificationEnded();
  s.formats = computeFormatTable(s.params);
}

}  // namespace vardis
