// The monthly archive reading and its report, byte for byte.
#include <gtest/gtest.h>

#include "archives/archive_reading.h"
#include "support/archive_reports.h"

namespace vardis {
namespace {

using test::ArchiveTest;
using test::dateCode;
using test::fileLines;
using test::fromCp1251;
using test::Interval;
using test::monthlyReport;
using test::putInterval;
using test::reportIs;
using test::ReportLook;
using test::Request;

class MonthlyArchive : public ArchiveTest {};

TEST_F(MonthlyArchive, ReportDayLabelsTheRowWhoseValuesComeFromRowTwentyThree) {
  meter.parameters[3] = 25.9f;  // the whole part is the report day
  identify();
  const Interval record = test::dayRecord(17);
  putInterval(meter, 2, dateCode(2011, 4, 25, 23), record);
  pick(2011, 4, 8);

  ReadMonthlyArchive(*session);

  std::vector<Request> want;
  test::addIntervalRequests(want, 2, 1104252300u, true);
  EXPECT_EQ(requests(), want);
  EXPECT_EQ(seen.progress, test::progressSteps(5, 95));
  EXPECT_EQ(seen.statuses,
            (std::vector<std::string>{"Считывание месячных архивов", "Архивы записаны"}));
  EXPECT_EQ(session->archive.Flow[0][23], static_cast<double>(record.flow[0]));
  EXPECT_EQ(session->archive.MainsTime[23], static_cast<double>(record.mains));
  EXPECT_EQ(session->archive.Flow[0][25], 0.0);

  // Any day of the month and a report day of exactly 25 give the same report.
  session->params.values[3] = 25.0;
  pick(2011, 4, 30);
  ReadMonthlyArchive(*session);
  EXPECT_EQ(requests().size(), 42u);
  EXPECT_EQ(requests()[41], (Request{12, 17, 2, 1104252300u}));

  auto report = monthlyReport(ReportLook{}, 2011, 4, 25, record);
  ASSERT_EQ(report.size(), 9u);
  auto twice = report;
  twice.insert(twice.end(), report.begin(), report.end());
  const std::string bytes = reportBytes(ReportKind::Monthly);
  EXPECT_TRUE(reportIs(bytes, twice));

  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 18u);
  auto line = [&](std::size_t i) { return fromCp1251(lines[i]); };
  EXPECT_EQ(line(0), "Протокол среднемесячных значений за месяц:2011.04");
  EXPECT_EQ(line(1), "Теплосчетчик \"ВАРДИС\":    серийный номер :12345 ");
  EXPECT_EQ(line(2), " ");
  EXPECT_EQ(line(3), std::string(156, '_'));
  EXPECT_EQ(line(4),
            "| Сут |   M1,  |   M2,  |   M3,  |   M4,  |   T1,  |   T2,  |   T3,  |   T4,  |   P1, "
            "|   P2, |   P3, |   P4, |    W1,  |    W2,  |  B1,  |  B2,  |  Тс,  |");
  EXPECT_EQ(lines[4].size(), 155u);
  EXPECT_EQ(line(5),
            "|     |  т/ч   |  т/ч   |  т/ч   |  т/ч   |  гр.С  |   гр.С |   гр.С |   гр.С |  Мпа  "
            "|  Мпа  |  Мпа  |  Мпа  |  Гдж/ч  |  Гдж/ч  |   ч   |   ч   |   ч   |");
  EXPECT_EQ(line(6), std::string(156, '_'));
  EXPECT_EQ(line(7),
            "| 25: | 4.4706 | 31.956 | 251.56 | 2515.6 |  83.51 |  45.12 |  27.40 |  -5.05 | 0.752 "
            "| 0.450 | 0.000 | 1.281 |  5.1567 |  51.567 | 22.30 | 12.35 | 23.99 | ");
  EXPECT_EQ(line(8), " ");
  EXPECT_EQ(line(9), line(0));
}

TEST_F(MonthlyArchive, AnyBitOfTheRecordWritesTheSection) {
  identify();
  Interval record = test::dayRecord(17);
  pick(2011, 4, 8);

  record.abnormal = (1u << 12) | 1u;
  putInterval(meter, 2, dateCode(2011, 4, 25, 23), record);
  ReadMonthlyArchive(*session);
  auto want = monthlyReport(ReportLook{}, 2011, 4, 25, record);
  EXPECT_EQ(want.size(), 15u);

  record.abnormal = 1u << 31;  // bit 31 alone counts here
  putInterval(meter, 2, dateCode(2011, 4, 25, 23), record);
  ReadMonthlyArchive(*session);
  const auto second = monthlyReport(ReportLook{}, 2011, 4, 25, record);
  want.insert(want.end(), second.begin(), second.end());

  const std::string bytes = reportBytes(ReportKind::Monthly);
  EXPECT_TRUE(reportIs(bytes, want));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 30u);
  auto line = [&](std::size_t i) { return fromCp1251(lines[i]); };
  EXPECT_EQ(lines[7].back(), '*');
  EXPECT_EQ(lines[7].size(), 157u);
  EXPECT_EQ(line(8), " ");
  EXPECT_EQ(line(9), "          Нештатные ситуации за интервал ");
  EXPECT_EQ(line(10), std::string(53, '_'));
  EXPECT_EQ(line(11), "| Час |   Обозначение НС                             |");
  EXPECT_EQ(line(12), std::string(53, '_'));
  EXPECT_EQ(line(13), "| 23: | T1<  G1<  ");
  EXPECT_EQ(line(14), std::string(54, '_'));
  EXPECT_EQ(lines[15 + 7].back(), '*');
  EXPECT_EQ(line(15 + 9), "          Нештатные ситуации за интервал ");
  EXPECT_EQ(line(15 + 13), "| 23: | ");
}

TEST_F(MonthlyArchive, VolumeVariantInGigacalories) {
  meter.parameters[9] = 1;
  meter.parameters[111] = 1;
  identify();
  const Interval record = test::dayRecord(3);
  putInterval(meter, 2, dateCode(2011, 4, 25, 23), record);
  pick(2011, 4, 8);

  ReadMonthlyArchive(*session);

  ReportLook look;
  look.volume = true;
  look.heatUnit = "Гкал";
  const std::string bytes = reportBytes(ReportKind::Monthly);
  EXPECT_TRUE(reportIs(bytes, monthlyReport(look, 2011, 4, 25, record)));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(fromCp1251(lines[4]),
            "|     |   G1,  |   G2,  |   G3)  |   G4,  |   T1,  |   T2,  |   T3,  |   T4,  |   P1, "
            "|   P2, |   P3, |   P4, |    W1,  |    W2,  |  B1,  |  B2,  |  Тс,  |");
  EXPECT_EQ(fromCp1251(lines[5]),
            "|     |  м3/ч  |  м3/ч  |  м3/ч  |  м3/ч  |  гр.С  |   гр.С |   гр.С |   гр.С |  Мпа  "
            "|  Мпа  |  Мпа  |  Мпа  | Гкал/ч  | Гкал/ч  |   ч   |   ч   |   ч   |");
}

TEST_F(MonthlyArchive, OverwritesRowTwentyThreeOfAnEarlierDailyReading) {
  clock.base = LocalDateTime{2011, 6, 1, 9, 5, 0, 0};
  identify();
  const auto days = loadDays(2011, 4, 30);
  Interval record = test::dayRecord(17);
  record.abnormal = 1u << 3;
  putInterval(meter, 2, dateCode(2011, 4, 25, 23), record);
  pick(2011, 4, 10);

  ReadDailyArchive(*session);
  EXPECT_EQ(session->archive.Flow[0][23], static_cast<double>(days[23].flow[0]));
  ReadMonthlyArchive(*session);
  WriteRowDump(*session);

  EXPECT_EQ(session->archive.AbnormalWord[23], 1u << 3);
  EXPECT_EQ(session->archive.RunTime[0][23], static_cast<double>(record.runTime[0]));
  std::array<Interval, 24> rows{};
  for (std::size_t r = 1; r < 23; ++r) rows[r] = days[r];
  rows[23] = record;
  const std::string dump = reportBytes(ReportKind::Hourly);
  EXPECT_TRUE(reportIs(dump, test::rowDump(ReportLook{}.slots, rows)));
  EXPECT_EQ(fromCp1251(fileLines(dump)[23]),
            "234.4706 31.956 251.56 2515.6  83.51  45.12  27.40  -5.05 0.752 0.450 0.000 1.281  "
            "5.1567  51.567 ");
}

}  // namespace
}  // namespace vardis
