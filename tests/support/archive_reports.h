// The archive reports as they must read, built here from their line
// definitions (own literals, own number texts), and a fixture with a scripted
// meter that holds archive records.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "archives/session.h"
#include "connection/report_naming.h"
#include "params/identification.h"
#include "support/fake_meter.h"
#include "support/report_lines.h"
#include "support/temp_dir.h"

namespace vardis::test {

// ---------------------------------------------------------------------------
// What the meter holds.

// One interval record (hour, day or month) as the meter answers it.
struct Interval {
  std::array<float, 4> flow{};
  std::array<float, 2> heat{};
  std::array<float, 4> temperature{};
  std::array<float, 4> pressure{};
  std::array<std::uint32_t, 2> runTime{};  // 1/10000 h
  std::uint32_t mains = 0;                 // 1/10000 h
  std::uint32_t abnormal = 0;
};

// The nine integrators of one day, by quantity index: M1..M4, Q1, В1, Q2, В2, ТC.
using Integrators = std::array<std::uint32_t, 9>;

inline std::uint32_t dateCode(int year, int month, int day, int hour) {
  return static_cast<std::uint32_t>((year - 2000) * 100000000 + month * 1000000 + day * 10000 +
                                    hour * 100);
}

// Float answers for the quantities whose float the reading must drop.
inline constexpr float kDroppedFloat = 999.25f;

inline void putInterval(FakeMeter& meter, int kind, std::uint32_t code, const Interval& v) {
  auto f = [&](int q, float value) { meter.archive[{11, kind, code, q}] = bitsFromFloat(value); };
  auto i = [&](int q, std::uint32_t value) { meter.archive[{12, kind, code, q}] = value; };
  for (int k = 0; k < 4; ++k) {
    f(k, v.flow[static_cast<std::size_t>(k)]);
    f(9 + k, v.temperature[static_cast<std::size_t>(k)]);
    f(13 + k, v.pressure[static_cast<std::size_t>(k)]);
  }
  f(4, v.heat[0]);
  f(6, v.heat[1]);
  f(5, kDroppedFloat);
  f(7, kDroppedFloat);
  f(8, kDroppedFloat);
  i(5, v.runTime[0]);
  i(7, v.runTime[1]);
  i(8, v.mains);
  i(17, v.abnormal);
}

inline void putIntegrators(FakeMeter& meter, std::uint32_t code, const Integrators& v) {
  for (int q = 0; q < 9; ++q) meter.archive[{12, 3, code, q}] = v[static_cast<std::size_t>(q)];
}

// An hourly record whose values fit the fields of the pinned meter (flow
// decimals 4, 3, 2, 1).
inline Interval hourRecord(int h) {
  Interval v;
  v.flow = {static_cast<float>(1.2345 + 0.25 * h), static_cast<float>(12.345 + h),
            static_cast<float>(123.45 + 10 * h), static_cast<float>(1234.56 + 100 * h)};
  v.heat = {static_cast<float>(0.1234 + 0.01 * h), static_cast<float>(12.345 + 0.5 * h)};
  v.temperature = {static_cast<float>(70.25 + 0.5 * h), static_cast<float>(45.67 + 0.1 * h), 5.4f,
                   static_cast<float>(-1.23 - 0.1 * h)};
  v.pressure = {static_cast<float>(0.612 + 0.01 * h), 0.45f, static_cast<float>(0.333 + 0.002 * h),
                0.0f};
  v.runTime = {10000, static_cast<std::uint32_t>(9000 - 100 * h)};
  v.mains = static_cast<std::uint32_t>(10000 - 13 * h);
  return v;
}

// A daily record whose values fit the fields of the pinned meter.
inline Interval dayRecord(int d) {
  Interval v;
  v.flow = {static_cast<float>(2.3456 + 0.125 * d), static_cast<float>(23.456 + 0.5 * d),
            static_cast<float>(234.56 + d), static_cast<float>(2345.6 + 10 * d)};
  v.heat = {static_cast<float>(3.4567 + 0.1 * d), static_cast<float>(34.567 + d)};
  v.temperature = {static_cast<float>(80.11 + 0.2 * d), static_cast<float>(50.22 - 0.3 * d),
                   static_cast<float>(10.4 + d), -5.05f};
  v.pressure = {static_cast<float>(0.701 + 0.003 * d), 0.45f, 0.0f,
                static_cast<float>(1.111 + 0.01 * d)};
  v.runTime = {static_cast<std::uint32_t>(240000 - 1000 * d), static_cast<std::uint32_t>(123456)};
  v.mains = static_cast<std::uint32_t>(240000 - 7 * d);
  return v;
}

// ---------------------------------------------------------------------------
// How the reports must read.

struct FieldSlot {
  int width = 0;
  int decimals = 0;
};
using Slots = std::array<FieldSlot, 20>;

// The field table identification leaves, for flow decimals p1..p4.
inline Slots identifiedSlots(int p1, int p2, int p3, int p4) {
  const int p[4] = {p1, p2, p3, p4};
  Slots s{};
  for (std::size_t k = 0; k < 4; ++k) {
    s[k] = {6, p[k]};
    s[4 + k] = {6, 2};
    s[8 + k] = {5, 3};
    s[12 + k] = {6, p[k]};
  }
  s[16] = {7, p1};
  s[17] = {7, p2};
  s[18] = {6, 2};
  s[19] = {6, 2};
  return s;
}

// What a report depends on besides the records.
struct ReportLook {
  Slots slots = identifiedSlots(4, 3, 2, 1);
  std::string heatUnit = " Гдж";
  bool volume = false;
  std::string serial = "12345 ";  // as "%-6.0f"
};

inline double divisorFor(int decimals) {
  static const double table[6] = {0.1, 1, 10, 100, 1000, 1};
  return table[decimals];
}

// The codes of the abnormal-situation bits, in the order they are listed.
inline std::string abnormalCodeText(std::uint32_t word) {
  static const std::pair<int, const char*> table[] = {
      {12, "T1<  "}, {13, "T1>  "}, {20, "P1<  "}, {21, "P1>  "}, {0, "G1<  "},  {1, "G1>  "},
      {2, "G1o  "},  {14, "T2<  "}, {28, "T2>  "}, {22, "P2<  "}, {23, "P2>  "}, {3, "G2<  "},
      {4, "G2>  "},  {5, "G2o  "},  {16, "T3<  "}, {17, "T3>  "}, {24, "P3<  "}, {25, "P3>  "},
      {29, "G3<  "}, {7, "G3>  "},  {8, "G3o  "},  {18, "T4<  "}, {19, "T4>  "}, {26, "P4<  "},
      {27, "P4>  "}, {9, "G4<  "},  {10, "G4>  "}, {11, "G4o  "}};
  std::string out;
  for (const auto& [bit, text] : table) {
    if ((word >> bit) & 1u) out += text;
  }
  return out;
}

// The 17 value cells of a row, each followed by " | ".
inline std::string valueCells(const Slots& s, const Interval& v, int timeWidth) {
  std::string out;
  auto cell = [&](double value, int width, int decimals) {
    out += num(value, width, decimals) + " | ";
  };
  for (std::size_t k = 0; k < 4; ++k) cell(v.flow[k], s[12 + k].width, s[12 + k].decimals);
  for (std::size_t k = 0; k < 4; ++k) cell(v.temperature[k], s[4 + k].width, s[4 + k].decimals);
  for (std::size_t k = 0; k < 4; ++k) cell(v.pressure[k], s[8 + k].width, s[8 + k].decimals);
  cell(v.heat[0], s[16].width, s[16].decimals);
  cell(v.heat[1], s[17].width, s[17].decimals);
  cell(v.runTime[0] / 10000.0, timeWidth, 2);
  cell(v.runTime[1] / 10000.0, timeWidth, 2);
  cell(v.mains / 10000.0, timeWidth, 2);
  return out;
}

inline const char* kUnitsMass =
    "|     |  т/ч   |  т/ч   |  т/ч   |  т/ч   |  гр.С  |   гр.С |   гр.С |   гр.С |  Мпа  |  Мпа  "
    "|  Мпа  |  Мпа  | ";
inline const char* kUnitsVolume =
    "|     |  м3/ч  |  м3/ч  |  м3/ч  |  м3/ч  |  гр.С  |   гр.С |   гр.С |   гр.С |  Мпа  |  Мпа  "
    "|  Мпа  |  Мпа  | ";

inline void addAbnormalSection(std::vector<std::string>& out, const char* header,
                               const std::vector<std::pair<std::string, std::uint32_t>>& rows) {
  out.push_back("          Нештатные ситуации за интервал ");
  out.push_back(underscores(53));
  out.push_back(header);
  out.push_back(underscores(53));
  for (const auto& [label, word] : rows)
    out.push_back("| " + label + ": | " + abnormalCodeText(word));
  out.push_back(underscores(54));
}

// The hourly report of day d: 24 hour records, the daily record and the
// integrators at the end of that day.
inline std::vector<std::string> hourlyReport(const ReportLook& look, int year, int month, int day,
                                             const std::array<Interval, 24>& hours,
                                             const Interval& daily, const Integrators& totals) {
  const Slots& s = look.slots;
  std::vector<std::string> out;
  out.push_back("Протокол среднечасовых значений за сутки:" + four(year) + "." + two(month) + "." +
                two(day));
  out.push_back("Теплосчетчик \"ВАРДИС\":    серийный №: " + look.serial);
  out.push_back(" ");
  out.push_back(underscores(156));
  out.push_back(
      look.volume ? "| Час |   G1,  |   G2,  |   G3)  |   G4,  |   T1,  |   T2,  |   T3,  |   T4, "
                    " |   P1, |   P2, |   P3, |   P4, |   W1,   |   W2,   |  B1, |  B2, |  Тс, |"
                  : "| Час |   M1,  |   M2,  |   M3,  |   M4,  |   T1,  |   T2,  |   T3,  |   T4, "
                    " |   P1, |   P2, |   P3, |   P4, |   W1,   |   W2,   |  B1, |  B2, |  Тс, |");
  out.push_back(std::string(look.volume ? kUnitsVolume : kUnitsMass) + look.heatUnit + "/ч  | " +
                look.heatUnit + "/ч  |   ч  |   ч  |   ч  |");
  out.push_back(underscores(156));
  std::uint32_t any = 0;
  for (int h = 0; h < 24; ++h) {
    const Interval& v = hours[static_cast<std::size_t>(h)];
    out.push_back("| " + two(h) + ": | " + valueCells(s, v, 4) + (v.abnormal != 0 ? "*" : ""));
    any |= v.abnormal;
  }
  out.push_back(underscores(157));

  out.push_back("|Cут. : " + valueCells(s, daily, 4));
  out.push_back("      ");
  const double mains = daily.mains;
  const double toc = (240000 - mains) / 10000;
  const double tnc1 = (240000 - static_cast<double>(daily.runTime[0]) - (240000 - mains)) / 10000;
  const double tnc2 = (240000 - static_cast<double>(daily.runTime[1]) - (240000 - mains)) / 10000;
  out.push_back("Время отсутствия сети Toc ,час : " + num(toc, 4, 2) + "  ");
  out.push_back("Время нештатных ситуаций по 1-й системе Tнc1 , час : " + num(tnc1, 4, 2) + "  ");
  out.push_back("Время нештатных ситуаций по 2-й системе Tнc2 , час : " + num(tnc2, 4, 2) + "  ");
  out.push_back("      ");

  out.push_back("Значение интеграторов на 23 час 59 мин 59 сек");
  static const char* massLabels[4] = {"M1 , т", "M2 , т", "M3 , т", "M4 , т"};
  static const char* volumeLabels[4] = {"G1 , м3", "G2 , м3", "G3 , м3", "G4 , м3"};
  for (std::size_t k = 0; k < 4; ++k) {
    const int p = s[12 + k].decimals;
    out.push_back(std::string(look.volume ? volumeLabels[k] : massLabels[k]) + " : " +
                  num(totals[k] / divisorFor(p), 11, p) + "  ");
  }
  const int p1 = s[16].decimals;
  const int p2 = s[17].decimals;
  out.push_back("Q1 ," + look.heatUnit + " : " + num(totals[4] / divisorFor(p1), 11, p1) + "    ");
  out.push_back("В1 , час : " + num(totals[5] / 10000.0, 11, 2) + "  ");
  out.push_back("Q2 ," + look.heatUnit + " : " + num(totals[6] / divisorFor(p2), 11, p2) + "    ");
  out.push_back("В2 , час : " + num(totals[7] / 10000.0, 11, 2) + "  ");
  out.push_back("ТC , час : " + num(totals[8] / 10000.0, 11, 2) + "  ");
  out.push_back(underscores(157));

  if (static_cast<std::int32_t>(any) > 0) {
    std::vector<std::pair<std::string, std::uint32_t>> rows;
    for (int h = 0; h < 24; ++h)
      rows.emplace_back(two(h), hours[static_cast<std::size_t>(h)].abnormal);
    addAbnormalSection(out, "| Час |   Обозначение НС                             |", rows);
  }
  return out;
}

// The row dump: 24 lines of the 14 flow, temperature, pressure and heat cells.
inline std::vector<std::string> rowDump(const Slots& s, const std::array<Interval, 24>& rows) {
  std::vector<std::string> out;
  for (int h = 0; h < 24; ++h) {
    const Interval& v = rows[static_cast<std::size_t>(h)];
    std::string line = two(h);
    auto cell = [&](double value, const FieldSlot& f) {
      line += num(value, f.width, f.decimals) + " ";
    };
    for (std::size_t k = 0; k < 4; ++k) cell(v.flow[k], s[12 + k]);
    for (std::size_t k = 0; k < 4; ++k) cell(v.temperature[k], s[4 + k]);
    for (std::size_t k = 0; k < 4; ++k) cell(v.pressure[k], s[8 + k]);
    cell(v.heat[0], s[16]);
    cell(v.heat[1], s[17]);
    out.push_back(line);
  }
  return out;
}

// The nine integrator lines of the daily report (no sub-headings) or, with
// sub-headings, the increment block.
inline void addDailyIntegratorLines(std::vector<std::string>& out, const ReportLook& look,
                                    const std::array<double, 9>& v, bool withHeadings) {
  const Slots& s = look.slots;
  static const char* labels[4] = {"М1 : ", "М2 : ", "М3 : ", "М4 : "};
  if (withHeadings) out.push_back("Потребленная масса энергоносителя:");
  for (std::size_t k = 0; k < 4; ++k) {
    const int p = s[12 + k].decimals;
    out.push_back(std::string(labels[k]) + num(v[k] / divisorFor(p), 11, p) + "  ");
  }
  if (withHeadings) out.push_back("Тепловая энергия:");
  out.push_back("Q1 ," + look.heatUnit + " : " +
                num(v[4] / divisorFor(s[16].decimals), 11, s[16].decimals) + "    ");
  out.push_back("Q2 ," + look.heatUnit + " : " +
                num(v[6] / divisorFor(s[17].decimals), 11, s[17].decimals) + "    ");
  if (withHeadings) out.push_back("Время наработки:");
  out.push_back("В1 , час : " + num(v[5] / 10000, 11, 2) + "  ");
  out.push_back("В2 , час : " + num(v[7] / 10000, 11, 2) + "  ");
  if (withHeadings) out.push_back("Время сети:");
  out.push_back("ТC , час : " + num(v[8] / 10000, 11, 2) + "  ");
}

inline std::string dailyUnitLine(const ReportLook& look) {
  return std::string(look.volume ? kUnitsVolume : kUnitsMass) + look.heatUnit + "/ч  | " +
         look.heatUnit + "/ч  |   ч   |   ч   |   ч   |";
}

// The daily report of a month: days[1..N] (days[0] unused), the integrators at
// the end (snapshot day S) and at the start (last day of the month before).
// `snapshotDay` < 0 means a month other than the current one.
inline std::vector<std::string> dailyReport(const ReportLook& look, int year, int month,
                                            const std::vector<Interval>& days, int snapshotDay,
                                            const Integrators& end, const Integrators& start) {
  const int n = static_cast<int>(days.size()) - 1;
  std::vector<std::string> out;
  out.push_back("Протокол среднесуточных значений за месяц:" + four(year) + "." + two(month));
  out.push_back("Теплосчетчик \"ВАРДИС\":    серийный номер :" + look.serial);
  out.push_back(" ");
  out.push_back(underscores(156));
  out.push_back(
      look.volume
          ? "|     |   G1,  |   G2,  |   G3)  |   G4,  |   T1,  |   T2,  |   T3,  |   T4, "
            " |   P1, |   P2, |   P3, |   P4, |    W1,  |    W2,  |   B1, |   B2, |   Тс, |"
          : "| Сут |   M1,  |   M2,  |   M3,  |   M4,  |   T1,  |   T2,  |   T3,  |   T4, "
            " |   P1, |   P2, |   P3, |   P4, |    W1,  |    W2,  |   B1, |   B2, |   Тс, |");
  out.push_back(dailyUnitLine(look));
  out.push_back(underscores(156));
  std::uint32_t any = 0;
  for (int d = 1; d <= n; ++d) {
    const Interval& v = days[static_cast<std::size_t>(d)];
    out.push_back("| " + two(d) + ": | " + valueCells(look.slots, v, 5) +
                  (v.abnormal != 0 ? "*" : ""));
    any |= v.abnormal;
  }
  out.push_back(underscores(157));

  const bool current = snapshotDay >= 0;
  std::array<double, 9> endValues{};
  std::array<double, 9> increments{};
  for (std::size_t q = 0; q < 9; ++q) {
    endValues[q] = end[q];
    increments[q] = static_cast<double>(end[q]) - static_cast<double>(start[q]);
  }
  out.push_back(" ");
  out.push_back(current ? "Значение интеграторов на 23 час 59 мин 59 сек " + two(snapshotDay) +
                              " числа:"
                        : std::string("Значение интеграторов на конец месяца:"));
  addDailyIntegratorLines(out, look, endValues, false);
  out.push_back(" ");
  out.push_back(current ? "Прирост интеграторов c начала месяца на 23 час 59 мин 59 сек " +
                              two(snapshotDay) + " числа:"
                        : std::string("Прирост интеграторов за месяц:"));
  addDailyIntegratorLines(out, look, increments, true);
  out.push_back(underscores(157));

  if (static_cast<std::int32_t>(any) > 0) {
    std::vector<std::pair<std::string, std::uint32_t>> rows;
    for (int d = 1; d <= n; ++d)
      rows.emplace_back(two(d), days[static_cast<std::size_t>(d)].abnormal);
    addAbnormalSection(out, "| Сут |   Обозначение НС                             |", rows);
  }
  return out;
}

// The monthly report: one record, labelled with the report day.
inline std::vector<std::string> monthlyReport(const ReportLook& look, int year, int month,
                                              int reportDay, const Interval& record) {
  std::vector<std::string> out;
  out.push_back("Протокол среднемесячных значений за месяц:" + four(year) + "." + two(month));
  out.push_back("Теплосчетчик \"ВАРДИС\":    серийный номер :" + look.serial);
  out.push_back(" ");
  out.push_back(underscores(156));
  out.push_back(
      look.volume
          ? "|     |   G1,  |   G2,  |   G3)  |   G4,  |   T1,  |   T2,  |   T3,  |   T4, "
            " |   P1, |   P2, |   P3, |   P4, |    W1,  |    W2,  |  B1,  |  B2,  |  Тс,  |"
          : "| Сут |   M1,  |   M2,  |   M3,  |   M4,  |   T1,  |   T2,  |   T3,  |   T4, "
            " |   P1, |   P2, |   P3, |   P4, |    W1,  |    W2,  |  B1,  |  B2,  |  Тс,  |");
  out.push_back(dailyUnitLine(look));
  out.push_back(underscores(156));
  out.push_back("| " + two(reportDay) + ": | " + valueCells(look.slots, record, 5) +
                (record.abnormal != 0 ? "*" : ""));
  out.push_back(" ");
  if (record.abnormal != 0) {
    addAbnormalSection(out, "| Час |   Обозначение НС                             |",
                       {{"23", record.abnormal}});
  }
  return out;
}

// ---------------------------------------------------------------------------
// The fixture: a meter on a scripted line, identified with pinned parameters
// (serial 12345, report day 25, GJ, mass archive, flow limits 5, 50, 500, 5000
// giving flow decimals 4, 3, 2, 1).

struct SeenBySession : SessionObserver {
  std::vector<int> progress;
  std::vector<std::string> statuses;
  void progressChanged(int p) override { progress.push_back(p); }
  void operationStatusChanged(const std::string& t) override { statuses.push_back(t); }
};

// One request as the meter saw it.
struct Request {
  int command = 0;
  int quantity = 0;
  int kind = 0;
  std::uint32_t code = 0;
  bool operator==(const Request&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Request& r) {
  return os << r.command << "/" << r.quantity << " kind " << r.kind << " code " << r.code;
}

// The requests of one interval record: 11/0..16, 12/5, 12/7, 12/8 (and 12/17).
inline void addIntervalRequests(std::vector<Request>& out, int kind, std::uint32_t code,
                                bool withWord) {
  for (int q = 0; q <= 16; ++q) out.push_back({11, q, kind, code});
  for (int q : {5, 7, 8}) out.push_back({12, q, kind, code});
  if (withWord) out.push_back({12, 17, kind, code});
}

inline void addIntegratorRequests(std::vector<Request>& out, std::uint32_t code) {
  for (int q = 0; q <= 8; ++q) out.push_back({12, q, 3, code});
}

class ArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.path() / "arc");
    clock.base = LocalDateTime{2011, 4, 8, 9, 5, 0, 0};
    session = std::make_unique<Session>(line, clock, SessionConfig{dir.path(), NumberStyle{'.'}});
    session->setObserver(&seen);
    session->link.port = "1";
    line.responder = meter.responder();
    meter.parameters = {{0, 12345.0f}, {3, 25.0f},  {9, 0.0f},    {111, 0.0f},
                        {10, 5.0f},    {20, 50.0f}, {30, 500.0f}, {40, 5000.0f}};
  }

  // Identifies the meter; forgets what the identification itself sent and showed.
  void identify() {
    MeterIdentification(*session);
    ASSERT_TRUE(session->reports.ReportFilesOpen);
    meter.requests.clear();
    seen = SeenBySession{};
  }

  // Opens report files without any identification: the field table stays empty.
  void openFilesWithoutIdentification() {
    session->reports.createAll(dir.path() / "arc", "x");
    session->reports.ReportFilesOpen = true;
  }

  void pick(int year, int month, int day) { session->pickedDate = CalendarDate{year, month, day}; }

  std::string reportBytes(ReportKind kind) {
    ReportFile& f = session->reports.file(kind);
    if (f.isOpen()) f.commit();
    return readFile(f.path());
  }

  std::vector<Request> requests() const {
    std::vector<Request> out;
    for (const Frame& f : meter.requests) out.push_back({f[2], f[3], f[4], getU32(&f[5])});
    return out;
  }

  // Gives the meter these 24 hours of a day.
  void putHours(int year, int month, int day, const std::array<Interval, 24>& hours) {
    for (int h = 0; h < 24; ++h) {
      putInterval(meter, 0, dateCode(year, month, day, h), hours[static_cast<std::size_t>(h)]);
    }
  }
  // Gives the meter the standard hours of a day and returns them.
  std::array<Interval, 24> loadHours(int year, int month, int day) {
    std::array<Interval, 24> hours;
    for (int h = 0; h < 24; ++h) hours[static_cast<std::size_t>(h)] = hourRecord(h);
    putHours(year, month, day, hours);
    return hours;
  }

  // Gives the meter these daily records of a month (index 0 unused).
  void putDays(int year, int month, const std::vector<Interval>& days) {
    for (std::size_t d = 1; d < days.size(); ++d) {
      putInterval(meter, 1, dateCode(year, month, static_cast<int>(d), 23), days[d]);
    }
  }
  // Gives the meter the standard daily records of a month and returns them.
  std::vector<Interval> loadDays(int year, int month, int n) {
    std::vector<Interval> days(static_cast<std::size_t>(n) + 1);
    for (int d = 1; d <= n; ++d) days[static_cast<std::size_t>(d)] = dayRecord(d);
    putDays(year, month, days);
    return days;
  }

  TempDir dir;
  VirtualClock clock;
  FakeLine line{clock};
  FakeMeter meter;
  std::unique_ptr<Session> session;
  SeenBySession seen;
};

// Progress positions 0, step, 2 step, ... up to `last`, then 100.
inline std::vector<int> progressSteps(int step, int last) {
  std::vector<int> out;
  for (int p = 0; p <= last; p += step) out.push_back(p);
  out.push_back(100);
  return out;
}

}  // namespace vardis::test
