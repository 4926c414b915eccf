#include "archives/archive_reading.h"

#include <cmath>
#include <cstdio>

#include "archives/report_texts.h"
#include "archives/session.h"
#include "format/numtext.h"
#include "values/current_values_read.h"
#include "values/device_clock.h"

namespace vardis {

namespace rt = report_text;

namespace {

std::string ruler(int n) {
  return std::string(static_cast<std::size_t>(n), '_');
}

// The label with its channel digit: the first '1' of the text becomes k.
std::string withDigit(const char* label, int k) {
  std::string s = label;
  const auto pos = s.find('1');
  if (pos != std::string::npos) s[pos] = static_cast<char>('0' + k);
  return s;
}

// Writes one report into one file: the report goes to the disk whole when the
// command completes, and not at all when it ends early (stopped, or failed).
class ReportWriter {
 public:
  ReportWriter(Session& s, ReportKind kind) : file_(s.reports.file(kind)) {}
  ~ReportWriter() { file_.discard(); }
  ReportWriter(const ReportWriter&) = delete;
  ReportWriter& operator=(const ReportWriter&) = delete;
  void line(const std::string& text) { file_.writeLine(text); }
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

std::string serialText(const Session& s) {
  return fixedLeft(s.params.values[0], 6, 0, s.config().numbers);
}

std::string unitLine(const Session& s, const char* end) {
  return std::string(volumeArchive(s) ? rt::kUnitsVolume : rt::kUnitsMass) + s.HeatUnitText +
         rt::kUnitsHeatJoin + s.HeatUnitText + end;
}

// The head every archive report starts with: title, serial number, a blank
// line, and the column header and unit line between rulers.
struct TableHead {
  std::string title;
  const char* serial;
  const char* headerMass;
  const char* headerVolume;
  const char* unitsEnd;
};

void writeHead(ReportWriter& w, const Session& s, const TableHead& h) {
  w.line(h.title);
  w.line(h.serial + serialText(s));
  w.line(" ");
  w.line(ruler(156));
  w.line(volumeArchive(s) ? h.headerVolume : h.headerMass);
  w.line(unitLine(s, h.unitsEnd));
  w.line(ruler(156));
}

void abnormalSection(ReportWriter& w, const char* header, int first, int last,
                     const std::function<std::uint32_t(int)>& word,
                     const std::function<std::string(int)>& label) {
  w.line(rt::kAbnormalTitle);
  w.line(ruler(53));
  w.line(header);
  w.line(ruler(53));
  for (int r = first; r <= last; ++r) w.line("| " + label(r) + ": | " + abnormalCodes(word(r)));
  w.line(ruler(54));
}

// The nine integrator values of one row, as copied aside for the increments.
struct Integrators {
  std::array<double, 4> flow{};
  std::array<double, 2> heat{};
  std::array<double, 2> runTime{};
  double mains = 0;
};

Integrators integratorsAt(const ArchiveStore& a, int row) {
  const auto r = static_cast<std::size_t>(row);
  Integrators v;
  for (std::size_t k = 0; k < 4; ++k) v.flow[k] = a.FlowTotal[k][r];
  for (std::size_t k = 0; k < 2; ++k) {
    v.heat[k] = a.HeatTotal[k][r];
    v.runTime[k] = a.RunTimeTotal[k][r];
  }
  v.mains = a.MainsTimeTotal[r];
  return v;
}

Integrators minus(const Integrators& a, const Integrators& b) {
  Integrators d;
  for (std::size_t k = 0; k < 4; ++k) d.flow[k] = a.flow[k] - b.flow[k];
  for (std::size_t k = 0; k < 2; ++k) {
    d.heat[k] = a.heat[k] - b.heat[k];
    d.runTime[k] = a.runTime[k] - b.runTime[k];
  }
  d.mains = a.mains - b.mains;
  return d;
}

// The daily report's lines of integrator values (М1..М4, Q1, Q2, В1, В2, ТC).
void dailyIntegratorLines(ReportWriter& w, const Session& s, const Integrators& v,
                          bool withHeadings) {
  const NumberStyle ns = s.config().numbers;
  const auto& slot = s.formats.slot;
  auto flowLine = [&](int k) {
    const int p = slot[static_cast<std::size_t>(11 + k)].decimals;
    return withDigit(rt::kMonthlyMassLabel1, k) +
           fixedRight(v.flow[static_cast<std::size_t>(k - 1)] / integratorDivisor(p), 11, p, ns) +
           "  ";
  };
  auto heatLine = [&](int k) {
    const int p = slot[static_cast<std::size_t>(15 + k)].decimals;
    return std::string(k == 1 ? "Q1 ," : "Q2 ,") + s.HeatUnitText + " : " +
           fixedRight(v.heat[static_cast<std::size_t>(k - 1)] / integratorDivisor(p), 11, p, ns) +
           "    ";
  };
  auto runLine = [&](int k) {
    return withDigit(rt::kRunTime1, k) +
           fixedRight(v.runTime[static_cast<std::size_t>(k - 1)] / 10000, 11, 2, ns) + "  ";
  };
  const std::string mainsLine =
      std::string(rt::kMainsTimeTotal) + fixedRight(v.mains / 10000, 11, 2, ns) + "  ";
  if (withHeadings) w.line(rt::kMassHeading);
  for (int k = 1; k <= 4; ++k) w.line(flowLine(k));
  if (withHeadings) w.line(rt::kHeatHeading);
  w.line(heatLine(1));
  w.line(heatLine(2));
  if (withHeadings) w.line(rt::kRunTimeHeading);
  w.line(runLine(1));
  w.line(runLine(2));
  if (withHeadings) w.line(rt::kMainsHeading);
  w.line(mainsLine);
}

// The meter's date codes hold the years 2000 to 2042 only: a date outside
// them (a PC clock set wrong, when no date was picked) would go out wrapped.
void requireArchiveDate(const Session& s) {
  const PickedDate d = s.pickedDate;
  if (archiveDateAllowed(d.year, d.month, d.day)) return;
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
  throw UserError(std::string("the archive date ") + text +
                  " is outside 2000-01-01 to 2042-12-31, which the meter's archive can be asked "
                  "for; pick a date (or set the PC clock right)");
}

}  // namespace

bool volumeArchive(const Session& s) {
  return s.params.values[111] > 0.5;
}

std::string abnormalCodes(std::uint32_t word) {
  std::string out;
  for (const auto& f : abnormalFlagTable()) {
    if ((word >> f.bit) & 1u) out += f.text;
  }
  return out;
}

bool abnormalSectionDue(std::uint32_t orOfWords) {
  return static_cast<std::int32_t>(orOfWords) > 0;
}

std::string valueColumns(const Session& s, int row, int timeWidth) {
  const NumberStyle ns = s.config().numbers;
  const auto& a = s.archive;
  const auto& slot = s.formats.slot;
  const auto r = static_cast<std::size_t>(row);
  std::string out;
  auto cell = [&](double v, int width, int decimals) {
    out += fixedRight(v, width, decimals, ns);
    out += " | ";
  };
  for (std::size_t k = 0; k < 4; ++k) cell(a.Flow[k][r], slot[12 + k].width, slot[12 + k].decimals);
  for (std::size_t k = 0; k < 4; ++k) {
    cell(a.Temperature[k][r], slot[4 + k].width, slot[4 + k].decimals);
  }
  for (std::size_t k = 0; k < 4; ++k)
    cell(a.Pressure[k][r], slot[8 + k].width, slot[8 + k].decimals);
  cell(a.Heat[0][r], slot[16].width, slot[16].decimals);
  cell(a.Heat[1][r], slot[17].width, slot[17].decimals);
  cell(a.RunTime[0][r] / 10000, timeWidth, 2);
  cell(a.RunTime[1][r] / 10000, timeWidth, 2);
  cell(a.MainsTime[r] / 10000, timeWidth, 2);
  return out;
}

void ReadHourlyArchive(Session& s) {
  requireArchiveDate(s);
  s.setOperationStatus("Считывание часовых архивов");
  const PickedDate date = s.pickedDate;
  auto& addr = s.link.addr;
  addr.RecordKind = 0;
  for (int h = 0; h <= 23; ++h) {
    addr.dateTime = archiveDateCode(date.year, date.month, date.day, h);
    addr.ArchiveRow = static_cast<std::uint16_t>(h);
    readInterval(s, true);
    s.setProgress(4 * h);
  }
  s.setProgress(100);
  s.lastReading = LastReading{};
  s.lastReading.kind = ReadingKind::Hourly;
  s.lastReading.year = date.year;
  s.lastReading.month = date.month;
  s.lastReading.day = date.day;

  const NumberStyle ns = s.config().numbers;
  const auto& a = s.archive;
  ReportWriter w(s, ReportKind::Hourly);
  writeHead(
      w, s,
      {rt::kHourlyTitle + fourDigits(date.year) + "." + twoDigits(date.month) + "." +
           twoDigits(date.day),
       rt::kHourlySerial, rt::kHourlyHeaderMass, rt::kHourlyHeaderVolume, rt::kHourlyUnitsEnd});
  for (int h = 0; h <= 23; ++h) {
    w.line("| " + twoDigits(h) + ": | " + valueColumns(s, h, 4) +
           (a.AbnormalWord[static_cast<std::size_t>(h)] != 0 ? "*" : ""));
  }
  w.line(ruler(157));

  // The daily record lands in row d, over the hourly row of the same number;
  // the hour's own values are kept aside for views of the reading.
  const int d = date.day;
  {
    const auto r = static_cast<std::size_t>(d);
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
  }
  addr.RecordKind = 1;
  addr.dateTime = archiveDateCode(date.year, date.month, d, 23);
  addr.ArchiveRow = static_cast<std::uint16_t>(d);
  readInterval(s, false);

  const auto row = static_cast<std::size_t>(d);
  w.line(rt::kDayLabel + valueColumns(s, d, 4));
  w.line("      ");
  const double noMains = (240000 - a.MainsTime[row]) / 10000;
  const double abnormal1 = (240000 - a.RunTime[0][row] - (240000 - a.MainsTime[row])) / 10000;
  const double abnormal2 = (240000 - a.RunTime[1][row] - (240000 - a.MainsTime[row])) / 10000;
  w.line(rt::kNoMainsTime + fixedRight(noMains, 4, 2, ns) + "  ");
  w.line(rt::kAbnormalTime1 + fixedRight(abnormal1, 4, 2, ns) + "  ");
  w.line(rt::kAbnormalTime2 + fixedRight(abnormal2, 4, 2, ns) + "  ");
  w.line("      ");

  addr.RecordKind = 3;
  addr.dateTime = archiveDateCode(date.year, date.month, d, 23);
  addr.ArchiveRow = static_cast<std::uint16_t>(d);
  readIntegrators(s);

  const auto& slot = s.formats.slot;
  const bool volume = volumeArchive(s);
  w.line(rt::kIntegratorsAtDayEnd);
  for (int k = 1; k <= 4; ++k) {
    const int p = slot[static_cast<std::size_t>(11 + k)].decimals;
    w.line(withDigit(volume ? rt::kVolumeLabel : rt::kMassLabel, k) + " : " +
           fixedRight(a.FlowTotal[static_cast<std::size_t>(k - 1)][row] / integratorDivisor(p), 11,
                      p, ns) +
           "  ");
  }
  const int p1 = slot[16].decimals;
  const int p2 = slot[17].decimals;
  w.line("Q1 ," + s.HeatUnitText + " : " +
         fixedRight(a.HeatTotal[0][row] / integratorDivisor(p1), 11, p1, ns) + "    ");
  w.line(rt::kRunTime1 + fixedRight(a.RunTimeTotal[0][row] / 10000, 11, 2, ns) + "  ");
  w.line("Q2 ," + s.HeatUnitText + " : " +
         fixedRight(a.HeatTotal[1][row] / integratorDivisor(p2), 11, p2, ns) + "    ");
  w.line(withDigit(rt::kRunTime1, 2) + fixedRight(a.RunTimeTotal[1][row] / 10000, 11, 2, ns) +
         "  ");
  w.line(rt::kMainsTimeTotal + fixedRight(a.MainsTimeTotal[row] / 10000, 11, 2, ns) + "  ");
  w.line(ruler(157));

  std::uint32_t any = 0;
  for (int h = 0; h <= 23; ++h) any |= a.AbnormalWord[static_cast<std::size_t>(h)];
  if (abnormalSectionDue(any)) {
    abnormalSection(
        w, rt::kAbnormalHeaderHour, 0, 23,
        [&](int h) { return a.AbnormalWord[static_cast<std::size_t>(h)]; },
        [](int h) { return twoDigits(h); });
  }
  w.finish();
  s.lastReading.complete = true;
  s.setOperationStatus("Архивы записаны");
}

void WriteRowDump(Session& s) {
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
  requireArchiveDate(s);
  s.setOperationStatus("Считывание суточных архивов");
  const PickedDate date = s.pickedDate;
  const int Y = date.year;
  const int M = date.month;
  const int D = date.day;
  const int N = daysInMonth(Y, M);
  auto& addr = s.link.addr;
  addr.RecordKind = 1;
  for (int d = 1; d <= N; ++d) {
    addr.dateTime = archiveDateCode(Y, M, d, 23);
    addr.ArchiveRow = static_cast<std::uint16_t>(d);
    readInterval(s, true);
    s.setProgress(3 * d);
  }
  s.setProgress(100);
  s.lastReading = LastReading{};
  s.lastReading.kind = ReadingKind::Daily;
  s.lastReading.year = Y;
  s.lastReading.month = M;
  s.lastReading.day = D;
  s.lastReading.days = N;

  const auto& a = s.archive;
  ReportWriter w(s, ReportKind::Daily);
  writeHead(w, s,
            {rt::kDailyTitle + fourDigits(Y) + "." + twoDigits(M), rt::kDailySerial,
             rt::kDailyHeaderMass, rt::kDailyHeaderVolume, rt::kDailyUnitsEnd});
  for (int d = 1; d <= N; ++d) {
    w.line("| " + twoDigits(d) + ": | " + valueColumns(s, d, 5) +
           (a.AbnormalWord[static_cast<std::size_t>(d)] != 0 ? "*" : ""));
  }
  w.line(ruler(157));

  const LocalDateTime today = s.clock().now();
  const bool currentMonth = today.month == M && today.year % 100 == Y - 2000;
  const int S = currentMonth ? D - 1 : N;
  addr.RecordKind = 3;
  addr.dateTime = archiveDateCode(Y, M, S, 23);
  addr.ArchiveRow = static_cast<std::uint16_t>(S);
  readIntegrators(s);
  const Integrators end = integratorsAt(a, S);
  s.lastReading.snapshotDay = S;
  for (std::size_t k = 0; k < 4; ++k) s.lastReading.endFlow[k] = end.flow[k];
  for (std::size_t k = 0; k < 2; ++k) {
    s.lastReading.endHeat[k] = end.heat[k];
    s.lastReading.endRunTime[k] = end.runTime[k];
  }
  s.lastReading.endMains = end.mains;

  w.line(" ");
  w.line(currentMonth ? rt::kIntegratorsAtDayPrefix + twoDigits(S) + " числа:"
                      : std::string(rt::kIntegratorsAtMonthEnd));
  dailyIntegratorLines(w, s, end, false);

  const int prevMonth = M == 1 ? 12 : M - 1;
  const int prevYear = M == 1 ? Y - 1 : Y;
  const int L = daysInMonth(prevYear, prevMonth);
  addr.dateTime = archiveDateCode(prevYear, prevMonth, L, 23);
  addr.ArchiveRow = static_cast<std::uint16_t>(L);
  readIntegrators(s);
  const Integrators start = integratorsAt(a, L);
  s.lastReading.startDay = L;

  w.line(" ");
  w.line(currentMonth ? rt::kIncrementsSoFarPrefix + twoDigits(S) + " числа:"
                      : std::string(rt::kIncrementsMonth));
  dailyIntegratorLines(w, s, minus(end, start), true);
  w.line(ruler(157));

  std::uint32_t any = 0;
  for (int d = 1; d <= N; ++d) any |= a.AbnormalWord[static_cast<std::size_t>(d)];
  if (abnormalSectionDue(any)) {
    abnormalSection(
        w, rt::kAbnormalHeaderDay, 1, N,
        [&](int d) { return a.AbnormalWord[static_cast<std::size_t>(d)]; },
        [](int d) { return twoDigits(d); });
  }
  w.finish();
  s.lastReading.complete = true;
  s.setOperationStatus("Архивы записаны");
}

void ReadMonthlyArchive(Session& s) {
  requireArchiveDate(s);
  s.setOperationStatus("Считывание месячных архивов");
  const PickedDate date = s.pickedDate;
  const int Y = date.year;
  const int M = date.month;
  auto& addr = s.link.addr;
  addr.RecordKind = 2;
  const double reportDay = s.params.values[3];
  const int R = std::isfinite(reportDay) && std::fabs(reportDay) < 2147483647.0
                    ? static_cast<int>(std::trunc(reportDay))
                    : 0;
  addr.dateTime = archiveDateCode(Y, M, R, 23);
  addr.ArchiveRow = 23;
  for (std::uint8_t q = 0; q <= 16; ++q) {
    readArchiveFloat(s, q);
    s.setProgress(5 * q);
  }
  const std::pair<std::uint8_t, int> integers[] = {{5, 85}, {7, 90}, {8, 95}, {17, 100}};
  for (const auto& [q, progress] : integers) {
    readArchiveInteger(s, q);
    s.setProgress(progress);
  }

  s.lastReading = LastReading{};
  s.lastReading.kind = ReadingKind::Monthly;
  s.lastReading.year = Y;
  s.lastReading.month = M;
  s.lastReading.reportDay = R;

  const auto& a = s.archive;
  ReportWriter w(s, ReportKind::Monthly);
  writeHead(w, s,
            {rt::kMonthlyTitle + fourDigits(Y) + "." + twoDigits(M), rt::kDailySerial,
             rt::kMonthlyHeaderMass, rt::kMonthlyHeaderVolume, rt::kDailyUnitsEnd});
  w.line("| " + twoDigits(R) + ": | " + valueColumns(s, 23, 5) +
         (a.AbnormalWord[23] != 0 ? "*" : ""));
  w.line(" ");
  if (a.AbnormalWord[23] != 0) {
    abnormalSection(
        w, rt::kAbnormalHeaderHour, 23, 23, [&](int) { return a.AbnormalWord[23]; },
        [](int) { return std::string("23"); });
  }
  w.finish();
  s.lastReading.complete = true;
  s.setOperationStatus("Архивы записаны");
}

}  // namespace vardis
