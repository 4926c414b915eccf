// Where the readings go: the meter identified and its report files shown,
// the report folder made on request and opened in the file manager, and the
// report each command wrote named in the memo.
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QUrl>
#include <filesystem>
#include <system_error>

#include "app/kros.h"
#include "app/window_texts.h"
#include "connection/data_dir.h"
#include "connection/report_naming.h"
#include "connection/report_set.h"

namespace {

// The caption of the form; what the window adds about the meter follows it.
const QString kFormCaption = QStringLiteral("ВАРДИС АРХИВ V2.1 2011.04.08");

QString shown(const std::filesystem::path& p) {
  return QDir::toNativeSeparators(QString::fromStdU16String(p.u16string()));
}

// The report a completed command appended to.
std::optional<vardis::ReportKind> reportOf(vardis::store::StoredReading reading) {
  using vardis::store::StoredReading;
  switch (reading) {
    case StoredReading::Hourly:
      return vardis::ReportKind::Hourly;
    case StoredReading::Daily:
      return vardis::ReportKind::Daily;
    case StoredReading::Monthly:
      return vardis::ReportKind::Monthly;
    case StoredReading::Parameters:
      return vardis::ReportKind::Parameters;
    default:
      return std::nullopt;
  }
}

}  // namespace

QString TForm1::reportFolder() const {
  return shown(vardis::reportDir(session_.config().dataDir));
}

void TForm1::openReportFolder() {
  const QString folder = reportFolder();
  if (!QDir(folder).exists()) {
    showError(QStringLiteral("Папка отчётов %1 не найдена").arg(folder));
    return;
  }
  if (!openFolder(folder)) {
    showError(QStringLiteral("Не удалось открыть папку отчётов %1").arg(folder));
  }
}

bool TForm1::openFolder(const QString& folder) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void TForm1::offerReportFolder() {
  const std::filesystem::path folder = vardis::reportDir(session_.config().dataDir);
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return;
  if (!ask(QStringLiteral("Папка отчётов %1 не найдена. Создать?").arg(shown(folder)))) return;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    // The identification then ends at its first file, as without the question.
    Memo1->appendPlainText(QStringLiteral("Не удалось создать папку отчётов %1 (%2)")
                               .arg(shown(folder), vardis::systemReasonText(ec.message())));
    return;
  }
  Memo1->appendPlainText(QStringLiteral("Создана папка отчётов %1").arg(shown(folder)));
}

void TForm1::showMeterFiles() {
  if (!session_.reports.ReportFilesOpen) return;
  const auto serial = vardis::serialNumber(session_.params.values[0]);
  const QString base = QString::fromStdString(session_.shown().reportBaseName);
  const QString number = serial ? QString::number(*serial) : QStringLiteral("?");
  setWindowTitle(QStringLiteral("%1 — прибор № %2, отчёты %3").arg(kFormCaption, number, base));
  const QString files = QDir(reportFolder()).filePath(base + QStringLiteral("_*.txt"));
  const QString tip =
      QStringLiteral("Прибор № %1\nОтчёты: %2").arg(number, QDir::toNativeSeparators(files));
  for (QLabel* panel : StatusBar1Panels) panel->setToolTip(tip);
  Memo1->appendPlainText(QStringLiteral("Прибор № %1: отчёты в %2").arg(number, files));
}

void TForm1::forgetMeterFiles() {
  setWindowTitle(kFormCaption);
  for (QLabel* panel : StatusBar1Panels) panel->setToolTip(QString());
}

void TForm1::sayReportWritten(vardis::store::StoredReading reading) {
  if (reading == vardis::store::StoredReading::Identification) {
    showMeterFiles();
    return;
  }
  const auto kind = reportOf(reading);
  if (!kind || !session_.reports.ReportFilesOpen) return;
  Memo1->appendPlainText(
      QStringLiteral("Отчёт дописан в %1").arg(shown(session_.reports.file(*kind).path())));
}
