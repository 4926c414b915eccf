#include "archives/archive_reading.h"

#include <cmath>
#include <cstdio>

#include "archives/archive_report_lines.h"
#include "archives/interval_end.h"
#include "archives/report_texts.h"
#include "archives/session.h"
#include "connection/report_naming.h"
#include "format/numtext.h"
#include "values/device_clock.h"

namespace vardis {

namespace rt = report_text;

namespace {

// Writes one report into one file: the report goes to the disk whole when the
// command completes, and not at all when it ends early (stopped, or failed).
class ReportWriter {
 public:
  ReportWriter(Session& s, ReportKind kind) : file_(s.reports.file(kind)) {}
  ~ReportWriter() { file_.discard(); }
  ReportWriter(const ReportWriter&) = delete;
  ReportWriter& operator=(const ReportWriter&) = delete;
  void line(const std::string& text) { file_.writeLine(text); }
  void lines(const Lines& texts) {
    for (const auto& text : texts) file_.writeLine(text);
  }
  // The command ended normally: its report must be on disk now.
  void finish() { file_.commit(); }

 private:
  ReportFile& file_;
};

void readInterval(Session& s, bool withAbnormalWord) {
  for (std::uint8_t q = 0; q <= 16; ++q) {
    readArchiveFloat(s, q);
  }
  for (std::uint8_t q : {5, 7, 8, 17}) {
    if (q == 17 && !withAbnormalWord) break;
    readArchiveInteger(s, q);
  }
}

void readIntegrators(Session& s) {
  for (std::uint8_t q = 0; q <= 8; ++q) {
    readIntegrator(s, q);
  }
}

// The meter's date codes hold the years 2000 to 2042 only: a date outside
// them (a PC clock set wrong, when no date was picked) would go out wrapped.
void requireArchiveDate(const Session& s) {
  const CalendarDate d = s.pickedDate;
  if (archiveDateAllowed(d.year, d.month, d.day)) return;
  throw UserError("the archive date " + isoDate(d) +
                  " is outside 2000-01-01 to 2042-12-31, which the meter's archive can be asked "
                  "for; pick a date (or set the PC clock right)");
}

// What a reading leaves for the views of it (chart, exports).
void beginLastReading(Session& s, ReadingKind kind, const CalendarDate& date) {
  const std::int64_t endedBy = s.lastReading.endedBy;
  s.lastReading = LastReading{};
  s.lastReading.endedBy = endedBy;
  s.lastReading.kind = kind;
  s.lastReading.year = date.year;
  s.lastReading.month = date.month;
  s.lastReading.day = date.day;
}

// The daily record lands in row `row`, over the hourly row of the same
// number: the hour's own values are kept aside for views of the reading.
void keepHourRow(Session& s, int row) {
  const auto r = static_cast<std::size_t>(row);
  const ArchiveStore& a = s.archive;
  IntervalRow& kept = s.lastReading.keptHour;
  for (std::size_t k = 0; k < 4; ++k) {
    kept.flow[k] = a.Flow[k][r];
    kept.temperature[k] = a.Temperature[k][r];
    kept.pressure[k] = a.Pressure[k][r];
  }
  for (std::size_t k = 0; k < 2; ++k) {
    kept.heat[k] = a.Heat[k][r];
    kept.runTime[k] = a.RunTime[k][r];
  }
  kept.mains = a.MainsTime[r];
  for (std::size_t i = 0; i < kRecordQuantities.size(); ++i) {
    kept.noReply[i] = a.intervalNoReply[kRecordQuantities[i]][r];
  }
}

void keepEndIntegrators(Session& s, int row, const Integrators& end) {
  s.lastReading.snapshotDay = row;
  for (std::size_t k = 0; k < 4; ++k) s.lastReading.endFlow[k] = end.flow[k];
  for (std::size_t k = 0; k < 2; ++k) {
    s.lastReading.endHeat[k] = end.heat[k];
    s.lastReading.endRunTime[k] = end.runTime[k];
  }
  s.lastReading.endMains = end.mains;
  for (std::size_t q = 0; q < 9; ++q) {
    s.lastReading.endNoReply[q] = s.archive.totalNoReply[q][static_cast<std::size_t>(row)];
  }
}

// Addresses one record of the archive and the row of the store it lands in.
void address(Session& s, std::uint8_t kind, std::uint32_t dateCode, int row) {
  s.link.addr.RecordKind = kind;
  s.link.addr.dateTime = dateCode;
  s.link.addr.ArchiveRow = static_cast<std::uint16_t>(row);
}

void finishReading(Session& s, ReportWriter& w) {
  w.finish();
  s.lastReading.complete = true;
  s.endCommand("Архивы записаны");
}

// Every reading starts so: the date the meter can be asked for, report
// files to write to, and its count of values.
void beginReading(Session& s, const char* name, const char* status) {
  s.beginCommand(name, true);
  requireArchiveDate(s);
  requireReportFiles(s);
  s.setOperationStatus(status);
  // What was read before this reading is no longer what the rows hold. An
  // interval is a reading only when it was over before its first request.
  s.lastReading = LastReading{};
  s.lastReading.endedBy = intervalsEndedBy(s);
}

}  // namespace

bool volumeArchive(const Session& s) {
  return s.params.values[111] > 0.5;
}

void ReadHourlyArchive(Session& s) {
  beginReading(s, "Часовые", "Считывание часовых архивов");
  const CalendarDate date = s.pickedDate;
  for (int h = 0; h <= 23; ++h) {
    address(s, 0, archiveDateCode(date.year, date.month, date.day, h), h);
    readInterval(s, true);
    s.setProgress(4 * h);
  }
  s.setProgress(100);
  beginLastReading(s, ReadingKind::Hourly, date);

  const ReportStyle st = reportStyle(s);
  const ArchiveStore& a = s.archive;
  ReportWriter w(s, ReportKind::Hourly);
  w.lines(headLines(st, {rt::kHourlyTitle + fourDigits(date.year) + "." + twoDigits(date.month) +
                             "." + twoDigits(date.day),
                         rt::kHourlySerial, rt::kHourlyHeaderMass, rt::kHourlyHeaderVolume,
                         rt::kHourlyUnitsEnd}));
  for (int h = 0; h <= 23; ++h) w.line(rowLine(st, a, h, h, 4));
  w.line(ruler(157));

  const int d = date.day;
  keepHourRow(s, d);
  address(s, 1, archiveDateCode(date.year, date.month, d, 23), d);
  readInterval(s, false);
  w.lines(dayRecordLines(st, a, d));

  address(s, 3, archiveDateCode(date.year, date.month, d, 23), d);
  readIntegrators(s);
  w.lines(dayEndIntegratorLines(st, a, d));

  if (abnormalSectionDue(abnormalWords(a, 0, 23))) {
    w.lines(abnormalSectionLines(a, rt::kAbnormalHeaderHour, 0, 23));
  }
  finishReading(s, w);
}

void WriteRowDump(Session& s) {
  requireReportFiles(s);
  const NumberStyle ns = s.config().numbers;
  const auto& a = s.archive;
  const auto& slot = s.formats.slot;
  ReportWriter w(s, ReportKind::Hourly);
  for (std::size_t h = 0; h <= 23; ++h) {
    std::string line = twoDigits(static_cast<long long>(h));
    auto cell = [&](double v, const FieldFormat& f) {
      line += fixedRight(v, f.width, f.decimals, ns);
      line += " ";
    };
    for (std::size_t k = 0; k < 4; ++k) cell(a.Flow[k][h], slot[12 + k]);
    for (std::size_t k = 0; k < 4; ++k) cell(a.Temperature[k][h], slot[4 + k]);
    for (std::size_t k = 0; k < 4; ++k) cell(a.Pressure[k][h], slot[8 + k]);
    cell(a.Heat[0][h], slot[16]);
    cell(a.Heat[1][h], slot[17]);
    w.line(line);
  }
  w.finish();
}

void ReadDailyArchive(Session& s) {
  beginReading(s, "Суточные", "Считывание суточных архивов");
  const CalendarDate date = s.pickedDate;
  const int Y = date.year;
  const int M = date.month;
  const int N = daysInMonth(Y, M);
  for (int d = 1; d <= N; ++d) {
    address(s, 1, archiveDateCode(Y, M, d, 23), d);
    readInterval(s, true);
    s.setProgress(3 * d);
  }
  s.setProgress(100);
  beginLastReading(s, ReadingKind::Daily, date);
  s.lastReading.days = N;

  const ReportStyle st = reportStyle(s);
  const ArchiveStore& a = s.archive;
  ReportWriter w(s, ReportKind::Daily);
  w.lines(headLines(st, {rt::kDailyTitle + fourDigits(Y) + "." + twoDigits(M), rt::kDailySerial,
                         rt::kDailyHeaderMass, rt::kDailyHeaderVolume, rt::kDailyUnitsEnd}));
  for (int d = 1; d <= N; ++d) w.line(rowLine(st, a, d, d, 5));
  w.line(ruler(157));

  // In the month still running, the end values are those of the day before the picked one.
  const LocalDateTime today = s.clock().now();
  const bool currentMonth = today.month == M && today.year % 100 == Y - 2000;
  const int S = currentMonth ? date.day - 1 : N;
  address(s, 3, archiveDateCode(Y, M, S, 23), S);
  readIntegrators(s);
  const Integrators end = integratorsAt(a, S);
  keepEndIntegrators(s, S, end);
  w.line(" ");
  w.line(currentMonth ? rt::kIntegratorsAtDayPrefix + twoDigits(S) + " числа:"
                      : std::string(rt::kIntegratorsAtMonthEnd));
  w.lines(dailyIntegratorLines(st, end, false));

  const int prevMonth = M == 1 ? 12 : M - 1;
  const int prevYear = M == 1 ? Y - 1 : Y;
  const int L = daysInMonth(prevYear, prevMonth);
  address(s, 3, archiveDateCode(prevYear, prevMonth, L, 23), L);
  readIntegrators(s);
  s.lastReading.startDay = L;
  w.line(" ");
  w.line(currentMonth ? rt::kIncrementsSoFarPrefix + twoDigits(S) + " числа:"
                      : std::string(rt::kIncrementsMonth));
  w.lines(dailyIntegratorLines(st, minus(end, integratorsAt(a, L)), true));
  w.line(ruler(157));

  if (abnormalSectionDue(abnormalWords(a, 1, N))) {
    w.lines(abnormalSectionLines(a, rt::kAbnormalHeaderDay, 1, N));
  }
  finishReading(s, w);
}

void ReadMonthlyArchive(Session& s) {
  beginReading(s, "Месячные", "Считывание месячных архивов");
  const CalendarDate date = s.pickedDate;
  const double reportDay = s.params.values[3];
  const int R = std::isfinite(reportDay) && std::fabs(reportDay) < 2147483647.0
                    ? static_cast<int>(std::trunc(reportDay))
                    : 0;
  address(s, 2, archiveDateCode(date.year, date.month, R, 23), 23);
  for (std::uint8_t q = 0; q <= 16; ++q) {
    readArchiveFloat(s, q);
    s.setProgress(5 * q);
  }
  const std::pair<std::uint8_t, int> integers[] = {{5, 85}, {7, 90}, {8, 95}, {17, 100}};
  for (const auto& [q, progress] : integers) {
    readArchiveInteger(s, q);
    s.setProgress(progress);
  }
  beginLastReading(s, ReadingKind::Monthly, date);
  s.lastReading.day = 0;
  s.lastReading.reportDay = R;

  const ReportStyle st = reportStyle(s);
  const ArchiveStore& a = s.archive;
  ReportWriter w(s, ReportKind::Monthly);
  w.lines(headLines(st, {rt::kMonthlyTitle + fourDigits(date.year) + "." + twoDigits(date.month),
                         rt::kDailySerial, rt::kMonthlyHeaderMass, rt::kMonthlyHeaderVolume,
                         rt::kDailyUnitsEnd}));
  w.line(rowLine(st, a, 23, R, 5));
  w.line(" ");
  if (a.AbnormalWord[23] != 0) w.lines(abnormalSectionLines(a, rt::kAbnormalHeaderHour, 23, 23));
  finishReading(s, w);
}

}  // namespace vardis
