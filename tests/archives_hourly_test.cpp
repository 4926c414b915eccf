// The hourly archive reading, its report and the row dump, byte for byte.
#include <gtest/gtest.h>

#include "archives/archive_reading.h"
#include "connection/status_line.h"
#include "support/archive_reports.h"

namespace vardis {
namespace {

using test::ArchiveTest;
using test::dateCode;
using test::fileLines;
using test::fromCp1251;
using test::hourlyReport;
using test::Integrators;
using test::Interval;
using test::putIntegrators;
using test::putInterval;
using test::reportIs;
using test::ReportLook;
using test::Request;
using test::rowDump;
using test::slice;

class HourlyArchive : public ArchiveTest {};

// The integrators of the report day used by most cases.
const Integrators kTotals = {123456, 123456, 123456, 123456,  5000000,
                             876543, 777777, 12345,  99999999};

TEST_F(HourlyArchive, MassReportInGigajoulesWithAbnormalSection) {
  identify();
  auto hours = loadHours(2011, 4, 8);
  hours[3].abnormal = (1u << 12) | 1u;  // T1< and G1<: listed in table order
  hours[7].abnormal = 1u << 28;         // T2>
  hours[11].abnormal = 0x7FFFFFFFu;     // every code
  hours[20].abnormal = 1u << 6;         // a bit without a code
  putHours(2011, 4, 8, hours);
  Interval daily = test::dayRecord(8);
  daily.mains = 240000;
  daily.runTime = {180000, 60000};
  putInterval(meter, 1, dateCode(2011, 4, 8, 23), daily);
  putIntegrators(meter, dateCode(2011, 4, 8, 23), kTotals);
  pick(2011, 4, 8);

  ReadHourlyArchive(*session);

  const std::string bytes = reportBytes(ReportKind::Hourly);
  EXPECT_TRUE(reportIs(bytes, hourlyReport(ReportLook{}, 2011, 4, 8, hours, daily, kTotals)));

  // Lines written out in full.
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 78u);
  auto line = [&](std::size_t i) { return fromCp1251(lines[i]); };
  EXPECT_EQ(line(0), "Протокол среднечасовых значений за сутки:2011.04.08");
  EXPECT_EQ(line(1), "Теплосчетчик \"ВАРДИС\":    серийный №: 12345 ");
  EXPECT_EQ(line(2), " ");
  EXPECT_EQ(line(3), std::string(156, '_'));
  EXPECT_EQ(line(4),
            "| Час |   M1,  |   M2,  |   M3,  |   M4,  |   T1,  |   T2,  |   T3,  |   T4,  |   P1, "
            "|   P2, |   P3, |   P4, |   W1,   |   W2,   |  B1, |  B2, |  Тс, |");
  EXPECT_EQ(line(5),
            "|     |  т/ч   |  т/ч   |  т/ч   |  т/ч   |  гр.С  |   гр.С |   гр.С |   гр.С |  Мпа  "
            "|  Мпа  |  Мпа  |  Мпа  |  Гдж/ч  |  Гдж/ч  |   ч  |   ч  |   ч  |");
  EXPECT_EQ(lines[4].size(), 152u);
  EXPECT_EQ(lines[5].size(), 152u);
  EXPECT_EQ(line(6), std::string(156, '_'));
  EXPECT_EQ(line(7),
            "| 00: | 1.2345 | 12.345 | 123.45 | 1234.6 |  70.25 |  45.67 |   5.40 |  -1.23 | 0.612 "
            "| 0.450 | 0.333 | 0.000 |  0.1234 |  12.345 | 1.00 | 0.90 | 1.00 | ");
  EXPECT_EQ(line(10).substr(0, 8), "| 03: | ");
  EXPECT_EQ(line(10).back(), '*');
  for (int h = 0; h < 24; ++h) {
    const bool marked = hours[static_cast<std::size_t>(h)].abnormal != 0;
    EXPECT_EQ(lines[static_cast<std::size_t>(7 + h)].size(), marked ? 154u : 153u) << "hour " << h;
  }
  EXPECT_EQ(line(31), std::string(157, '_'));
  EXPECT_EQ(line(32),
            "|Cут. : 3.3456 | 27.456 | 242.56 | 2425.6 |  81.71 |  47.82 |  18.40 |  -5.05 | 0.725 "
            "| 0.450 | 0.000 | 1.191 |  4.2567 |  42.567 | 18.00 | 6.00 | 24.00 | ");
  EXPECT_EQ(line(33), "      ");
  EXPECT_EQ(line(34), "Время отсутствия сети Toc ,час : 0.00  ");
  EXPECT_EQ(line(35), "Время нештатных ситуаций по 1-й системе Tнc1 , час : 6.00  ");
  EXPECT_EQ(line(36), "Время нештатных ситуаций по 2-й системе Tнc2 , час : 18.00  ");
  EXPECT_EQ(line(37), "      ");
  EXPECT_EQ(line(38), "Значение интеграторов на 23 час 59 мин 59 сек");
  EXPECT_EQ(line(39), "M1 , т :    123.4560  ");
  EXPECT_EQ(line(40), "M2 , т :    1234.560  ");
  EXPECT_EQ(line(41), "M3 , т :    12345.60  ");
  EXPECT_EQ(line(42), "M4 , т :    123456.0  ");
  EXPECT_EQ(line(43), "Q1 , Гдж :   5000.0000    ");
  EXPECT_EQ(line(44), "В1 , час :       87.65  ");
  EXPECT_EQ(line(45), "Q2 , Гдж :    7777.770    ");
  EXPECT_EQ(line(46), "В2 , час :        1.23  ");
  EXPECT_EQ(line(47), "ТC , час :    10000.00  ");
  EXPECT_EQ(line(48), std::string(157, '_'));
  EXPECT_EQ(line(49), "          Нештатные ситуации за интервал ");
  EXPECT_EQ(line(50), std::string(53, '_'));
  EXPECT_EQ(line(51), "| Час |   Обозначение НС                             |");
  EXPECT_EQ(line(52), std::string(53, '_'));
  EXPECT_EQ(line(53), "| 00: | ");
  EXPECT_EQ(line(56), "| 03: | T1<  G1<  ");
  EXPECT_EQ(line(60), "| 07: | T2>  ");
  EXPECT_EQ(
      line(64),
      "| 11: | T1<  T1>  P1<  P1>  G1<  G1>  G1o  T2<  T2>  P2<  P2>  G2<  G2>  G2o  T3<  T3>  "
      "P3<  P3>  G3<  G3>  G3o  T4<  T4>  P4<  P4>  G4<  G4>  G4o  ");
  EXPECT_EQ(line(73), "| 20: | ");
  EXPECT_EQ(line(76), "| 23: | ");
  EXPECT_EQ(line(77), std::string(54, '_'));

  // The look-alike letters, as code page 1251 bytes.
  EXPECT_EQ(lines[32].substr(0, 4), "|C\xF3\xF2");  // Latin C, Cyrillic ут
  EXPECT_EQ(lines[34].substr(22, 3), "Toc");        // all Latin
  EXPECT_EQ(lines[35].substr(40, 4),
            "T\xED"
            "c1");  // Latin T and c around н
  EXPECT_EQ(lines[47].substr(0, 2),
            "\xD2"
            "C");                                                  // Cyrillic Т, Latin C
  EXPECT_EQ(lines[44].substr(0, 1), "\xC2");                       // Cyrillic В
  EXPECT_EQ(lines[39].substr(0, 6), "M1 , \xF2");                  // Latin M, Cyrillic т
  EXPECT_EQ(lines[4].substr(lines[4].size() - 5), "\xD2\xF1, |");  // Cyrillic Тс

  EXPECT_EQ(session->operationStatus(), "Архивы записаны");
}

TEST_F(HourlyArchive, VolumeReportInGigacalories) {
  meter.parameters[9] = 1;
  meter.parameters[111] = 1;
  identify();
  const auto hours = loadHours(2011, 4, 8);
  const Interval daily = test::dayRecord(8);
  putInterval(meter, 1, dateCode(2011, 4, 8, 23), daily);
  putIntegrators(meter, dateCode(2011, 4, 8, 23), kTotals);
  pick(2011, 4, 8);

  ReadHourlyArchive(*session);

  ReportLook look;
  look.volume = true;
  look.heatUnit = "Гкал";
  const std::string bytes = reportBytes(ReportKind::Hourly);
  EXPECT_TRUE(reportIs(bytes, hourlyReport(look, 2011, 4, 8, hours, daily, kTotals)));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 49u);  // no abnormal bits: no section
  EXPECT_EQ(fromCp1251(lines[4]),
            "| Час |   G1,  |   G2,  |   G3)  |   G4,  |   T1,  |   T2,  |   T3,  |   T4,  |   P1, "
            "|   P2, |   P3, |   P4, |   W1,   |   W2,   |  B1, |  B2, |  Тс, |");
  EXPECT_EQ(fromCp1251(lines[5]),
            "|     |  м3/ч  |  м3/ч  |  м3/ч  |  м3/ч  |  гр.С  |   гр.С |   гр.С |   гр.С |  Мпа  "
            "|  Мпа  |  Мпа  |  Мпа  | Гкал/ч  | Гкал/ч  |   ч  |   ч  |   ч  |");
  EXPECT_EQ(lines[5].size(), 152u);
  EXPECT_EQ(fromCp1251(lines[39]), "G1 , м3 :    123.4560  ");
  EXPECT_EQ(fromCp1251(lines[42]), "G4 , м3 :    123456.0  ");
  EXPECT_EQ(fromCp1251(lines[43]), "Q1 ,Гкал :   5000.0000    ");
  EXPECT_EQ(fromCp1251(lines[45]), "Q2 ,Гкал :    7777.770    ");
  EXPECT_EQ(fromCp1251(lines[48]), std::string(157, '_'));
}

TEST_F(HourlyArchive, VolumeSwitchMustBeAboveOneHalf) {
  meter.parameters[111] = 0.5f;
  identify();
  pick(2011, 4, 8);
  ReadHourlyArchive(*session);
  session->params.values[111] = 0.51;  // read again when the next report is written
  ReadHourlyArchive(*session);

  const auto lines = fileLines(reportBytes(ReportKind::Hourly));
  ASSERT_EQ(lines.size(), 98u);
  EXPECT_EQ(slice(lines[4], 0, 16), "| Час |   M1,  |");
  EXPECT_EQ(slice(lines[5], 0, 16), "|     |  т/ч   |");
  EXPECT_EQ(slice(lines[39], 0, 6), "M1 , т");
  EXPECT_EQ(slice(lines[49 + 4], 0, 16), "| Час |   G1,  |");
  EXPECT_EQ(slice(lines[49 + 5], 0, 16), "|     |  м3/ч  |");
  EXPECT_EQ(slice(lines[49 + 39], 0, 7), "G1 , м3");
}

TEST_F(HourlyArchive, RequestsProgressAndStatusInOrder) {
  identify();
  pick(2011, 4, 8);
  ReadHourlyArchive(*session);

  std::vector<Request> want;
  for (int h = 0; h < 24; ++h) test::addIntervalRequests(want, 0, dateCode(2011, 4, 8, h), true);
  test::addIntervalRequests(want, 1, dateCode(2011, 4, 8, 23), false);
  test::addIntegratorRequests(want, dateCode(2011, 4, 8, 23));
  ASSERT_EQ(want.size(), 533u);
  EXPECT_EQ(requests(), want);
  EXPECT_EQ(requests()[5 * 21 + 3], (Request{11, 3, 0, 1104080500u}));
  EXPECT_EQ(requests()[504], (Request{11, 0, 1, 1104082300u}));

  EXPECT_EQ(seen.progress, test::progressSteps(4, 92));
  EXPECT_EQ(seen.statuses,
            (std::vector<std::string>{"Считывание часовых архивов", "Архивы записаны"}));
}

TEST_F(HourlyArchive, DailyRecordOverwritesItsHourRowAfterTheHourLines) {
  identify();
  auto hours = loadHours(2011, 4, 5);
  hours[5].abnormal = 1u << 13;  // T1>
  putHours(2011, 4, 5, hours);
  Interval daily = test::dayRecord(5);
  daily.abnormal = 1u << 0;  // never asked for with the daily record
  putInterval(meter, 1, dateCode(2011, 4, 5, 23), daily);
  pick(2011, 4, 5);

  ReadHourlyArchive(*session);
  EXPECT_EQ(session->archive.AbnormalWord[5], 1u << 13);
  EXPECT_EQ(session->archive.Flow[0][5], static_cast<double>(daily.flow[0]));
  EXPECT_EQ(session->archive.Flow[0][4], static_cast<double>(hours[4].flow[0]));
  WriteRowDump(*session);

  auto want = hourlyReport(ReportLook{}, 2011, 4, 5, hours, daily, Integrators{});
  std::array<Interval, 24> rows = hours;
  rows[5] = daily;
  for (auto& l : rowDump(ReportLook{}.slots, rows)) want.push_back(l);
  const std::string bytes = reportBytes(ReportKind::Hourly);
  EXPECT_TRUE(reportIs(bytes, want));

  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 78u + 24u);
  // Hour 5 shows the hourly record, the day line the daily one.
  EXPECT_EQ(slice(lines[7 + 5], 0, 17), "| 05: | 2.4845 | ");
  EXPECT_EQ(slice(lines[32], 0, 16), "|Cут. : 2.9706 |");
  EXPECT_EQ(fromCp1251(lines[53 + 5]), "| 05: | T1>  ");
  EXPECT_EQ(fromCp1251(lines[78 + 5]),
            "052.9706 25.956 239.56 2395.6  81.11  48.72  15.40  -5.05 0.716 0.450 0.000 1.161  "
            "3.9567  39.567 ");
  EXPECT_EQ(fromCp1251(lines[78 + 4]),
            "042.2345 16.345 163.45 1634.6  72.25  46.07   5.40  -1.63 0.652 0.450 0.341 0.000  "
            "0.1634  14.345 ");
}

TEST_F(HourlyArchive, BitThirtyOneMarksHoursButNeverOpensTheSection) {
  identify();
  pick(2011, 4, 8);
  auto hours = loadHours(2011, 4, 8);

  // Bit 31 alone.
  hours[2].abnormal = 1u << 31;
  putHours(2011, 4, 8, hours);
  ReadHourlyArchive(*session);
  auto want = hourlyReport(ReportLook{}, 2011, 4, 8, hours, Interval{}, Integrators{});
  EXPECT_EQ(want.size(), 49u);

  // Bit 31 with coded bits elsewhere: the combined word is negative.
  hours[9].abnormal = 1u << 12;
  putHours(2011, 4, 8, hours);
  ReadHourlyArchive(*session);
  auto second = hourlyReport(ReportLook{}, 2011, 4, 8, hours, Interval{}, Integrators{});
  EXPECT_EQ(second.size(), 49u);
  want.insert(want.end(), second.begin(), second.end());

  // Bit 6 alone: the section is written, the hour lists no code.
  hours[2].abnormal = 0;
  hours[9].abnormal = 0;
  hours[4].abnormal = 1u << 6;
  putHours(2011, 4, 8, hours);
  ReadHourlyArchive(*session);
  auto third = hourlyReport(ReportLook{}, 2011, 4, 8, hours, Interval{}, Integrators{});
  EXPECT_EQ(third.size(), 78u);
  want.insert(want.end(), third.begin(), third.end());

  const std::string bytes = reportBytes(ReportKind::Hourly);
  EXPECT_TRUE(reportIs(bytes, want));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 49u + 49u + 78u);
  EXPECT_EQ(lines[7 + 2].substr(lines[7 + 2].size() - 3), "| *");
  EXPECT_EQ(lines[7 + 3].substr(lines[7 + 3].size() - 2), "| ");
  EXPECT_EQ(lines[49 + 7 + 9].back(), '*');
  EXPECT_EQ(fromCp1251(lines[98 + 49]), "          Нештатные ситуации за интервал ");
  EXPECT_EQ(fromCp1251(lines[98 + 53 + 4]), "| 04: | ");
  EXPECT_EQ(lines[98 + 7 + 4].back(), '*');
}

TEST_F(HourlyArchive, IntegratorDivisorFollowsTheFlowDecimals) {
  meter.parameters[10] = 20000;  // above 10000: no decimals, divisor 0.1
  identify();
  const auto hours = loadHours(2011, 4, 8);
  const Integrators totals = {123456, 123456, 123456, 123456, 4321, 0, 777777, 0, 0};
  putIntegrators(meter, dateCode(2011, 4, 8, 23), totals);
  pick(2011, 4, 8);

  ReadHourlyArchive(*session);

  ReportLook look;
  look.slots = test::identifiedSlots(0, 3, 2, 1);
  const std::string bytes = reportBytes(ReportKind::Hourly);
  EXPECT_TRUE(reportIs(bytes, hourlyReport(look, 2011, 4, 8, hours, Interval{}, totals)));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 49u);
  EXPECT_EQ(fromCp1251(lines[39]), "M1 , т :     1234560  ");
  EXPECT_EQ(fromCp1251(lines[40]), "M2 , т :    1234.560  ");
  EXPECT_EQ(fromCp1251(lines[43]), "Q1 , Гдж :       43210    ");
  EXPECT_EQ(slice(lines[7], 0, 17), "| 00: |      1 | ");
}

TEST_F(HourlyArchive, ValueWiderThanItsFieldIsWrittenInFull) {
  identify();
  auto hours = loadHours(2011, 4, 8);
  hours[0].flow[0] = 12345.5f;  // 4 decimals in a field of 6
  hours[1].temperature[0] = -1234.5f;
  putHours(2011, 4, 8, hours);
  pick(2011, 4, 8);

  ReadHourlyArchive(*session);

  const std::string bytes = reportBytes(ReportKind::Hourly);
  EXPECT_TRUE(
      reportIs(bytes, hourlyReport(ReportLook{}, 2011, 4, 8, hours, Interval{}, Integrators{})));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 49u);
  EXPECT_EQ(slice(lines[7], 0, 20), "| 00: | 12345.5000 |");
  EXPECT_EQ(lines[7].size(), 157u);
  EXPECT_EQ(slice(lines[8], 42, 13), "| -1234.50 | ");
  EXPECT_EQ(lines[8].size(), 155u);
  // A daily record of zeros: 24 hours without mains power.
  EXPECT_EQ(fromCp1251(lines[34]), "Время отсутствия сети Toc ,час : 24.00  ");
  EXPECT_EQ(fromCp1251(lines[35]), "Время нештатных ситуаций по 1-й системе Tнc1 , час : 0.00  ");
}

TEST_F(HourlyArchive, EmptyFieldTableBeforeAnyIdentification) {
  openFilesWithoutIdentification();
  session->HeatUnitText = " Гдж";
  const auto hours = loadHours(2011, 4, 8);
  const Interval daily = test::dayRecord(8);
  putInterval(meter, 1, dateCode(2011, 4, 8, 23), daily);
  putIntegrators(meter, dateCode(2011, 4, 8, 23), kTotals);
  pick(2011, 4, 8);

  ReadHourlyArchive(*session);

  ReportLook look;
  look.slots = test::Slots{};
  look.serial = "0     ";
  const std::string bytes = reportBytes(ReportKind::Hourly);
  EXPECT_TRUE(reportIs(bytes, hourlyReport(look, 2011, 4, 8, hours, daily, kTotals)));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 49u);
  EXPECT_EQ(fromCp1251(lines[1]), "Теплосчетчик \"ВАРДИС\":    серийный №: 0     ");
  EXPECT_EQ(fromCp1251(lines[7]),
            "| 00: | 1 | 12 | 123 | 1235 | 70 | 46 | 5 | -1 | 1 | 0 | 0 | 0 | 0 | 12 | 1.00 | 0.90 "
            "| 1.00 | ");
  EXPECT_EQ(fromCp1251(lines[39]), "M1 , т :     1234560  ");
  EXPECT_EQ(fromCp1251(lines[43]), "Q1 , Гдж :    50000000    ");
  EXPECT_EQ(fromCp1251(lines[44]), "В1 , час :       87.65  ");
}

TEST_F(HourlyArchive, TwoRunsAppendTwoCompleteReports) {
  identify();
  const auto first = loadHours(2011, 4, 8);
  auto second = loadHours(2011, 4, 9);
  second[0].flow[0] = 9.8765f;
  second[0].abnormal = 1u << 2;
  putHours(2011, 4, 9, second);

  pick(2011, 4, 8);
  ReadHourlyArchive(*session);
  pick(2011, 4, 9);
  ReadHourlyArchive(*session);

  auto want = hourlyReport(ReportLook{}, 2011, 4, 8, first, Interval{}, Integrators{});
  const auto more = hourlyReport(ReportLook{}, 2011, 4, 9, second, Interval{}, Integrators{});
  want.insert(want.end(), more.begin(), more.end());
  const std::string bytes = reportBytes(ReportKind::Hourly);
  EXPECT_TRUE(reportIs(bytes, want));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 49u + 78u);
  EXPECT_EQ(fromCp1251(lines[49]), "Протокол среднечасовых значений за сутки:2011.04.09");
  EXPECT_EQ(fromCp1251(lines[49 + 53]), "| 00: | G1o  ");
}

TEST_F(HourlyArchive, SerialNumberIsLeftJustifiedInSixAndNeverCut) {
  meter.parameters[0] = 1234;
  identify();
  pick(2011, 4, 8);
  ReadHourlyArchive(*session);
  ReadDailyArchive(*session);
  ReadMonthlyArchive(*session);
  session->params.values[0] = 1234567;
  ReadHourlyArchive(*session);
  ReadDailyArchive(*session);
  ReadMonthlyArchive(*session);

  const auto hourly = fileLines(reportBytes(ReportKind::Hourly));
  ASSERT_EQ(hourly.size(), 98u);
  EXPECT_EQ(fromCp1251(hourly[1]), "Теплосчетчик \"ВАРДИС\":    серийный №: 1234  ");
  EXPECT_EQ(fromCp1251(hourly[49 + 1]), "Теплосчетчик \"ВАРДИС\":    серийный №: 1234567");
  const auto daily = fileLines(reportBytes(ReportKind::Daily));
  ASSERT_EQ(daily.size(), 130u);
  EXPECT_EQ(fromCp1251(daily[1]), "Теплосчетчик \"ВАРДИС\":    серийный номер :1234  ");
  EXPECT_EQ(fromCp1251(daily[65 + 1]), "Теплосчетчик \"ВАРДИС\":    серийный номер :1234567");
  const auto monthly = fileLines(reportBytes(ReportKind::Monthly));
  ASSERT_EQ(monthly.size(), 18u);
  EXPECT_EQ(fromCp1251(monthly[1]), "Теплосчетчик \"ВАРДИС\":    серийный номер :1234  ");
  EXPECT_EQ(fromCp1251(monthly[9 + 1]), "Теплосчетчик \"ВАРДИС\":    серийный номер :1234567");
}

TEST_F(HourlyArchive, LostLinkStillWritesTheWholeReport) {
  identify();
  line.responder = nullptr;  // the meter is gone
  pick(2011, 4, 8);

  ReadHourlyArchive(*session);

  // Every failed request leaves the pre-filled reply bytes 01 01 01 01.
  const std::uint32_t prefill = 0x01010101u;
  Interval stale;
  stale.flow.fill(floatFromBits(prefill));
  stale.heat.fill(floatFromBits(prefill));
  stale.temperature.fill(floatFromBits(prefill));
  stale.pressure.fill(floatFromBits(prefill));
  stale.runTime.fill(prefill);
  stale.mains = prefill;
  stale.abnormal = prefill;
  std::array<Interval, 24> hours;
  hours.fill(stale);
  Integrators totals;
  totals.fill(prefill);
  const std::string bytes = reportBytes(ReportKind::Hourly);
  EXPECT_TRUE(reportIs(bytes, hourlyReport(ReportLook{}, 2011, 4, 8, hours, stale, totals)));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 78u);
  EXPECT_EQ(fromCp1251(lines[53]), "| 00: | G1<  T3<  P3<  G3o  ");
  EXPECT_EQ(session->link.counters.TimeoutCount, 533);
  EXPECT_EQ(statusTexts(*session).panel0, "Сбой связи !");
  EXPECT_EQ(session->operationStatus(), "Часовые: 533 значения без ответа");
}

// The row dump reads nothing and writes the 24 hourly rows as they stand.
class RowDump : public ArchiveTest {};

TEST_F(RowDump, BeforeAnyReadingWritesZerosInTheIdentifiedFields) {
  identify();
  WriteRowDump(*session);

  const std::string bytes = reportBytes(ReportKind::Hourly);
  EXPECT_TRUE(reportIs(bytes, rowDump(ReportLook{}.slots, std::array<Interval, 24>{})));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 24u);
  const std::string zeros =
      "0.0000  0.000   0.00    0.0   0.00   0.00   0.00   0.00 0.000 0.000 0.000 0.000  0.0000   "
      "0.000 ";
  for (int h = 0; h < 24; ++h) EXPECT_EQ(lines[static_cast<std::size_t>(h)], test::two(h) + zeros);
  EXPECT_TRUE(meter.requests.empty());
  EXPECT_TRUE(seen.progress.empty());
  EXPECT_TRUE(seen.statuses.empty());
  EXPECT_EQ(session->operationStatus(), "Параметры записаны");
}

TEST_F(RowDump, BeforeIdentificationZerosHaveNoDecimalsAndNoBlanks) {
  openFilesWithoutIdentification();
  WriteRowDump(*session);

  const auto lines = fileLines(reportBytes(ReportKind::Hourly));
  ASSERT_EQ(lines.size(), 24u);
  EXPECT_EQ(lines[0], "000 0 0 0 0 0 0 0 0 0 0 0 0 0 ");
  EXPECT_EQ(lines[23], "230 0 0 0 0 0 0 0 0 0 0 0 0 0 ");
  for (int h = 0; h < 24; ++h) {
    EXPECT_EQ(lines[static_cast<std::size_t>(h)], test::two(h) + "0 0 0 0 0 0 0 0 0 0 0 0 0 0 ");
  }
}

}  // namespace
}  // namespace vardis
