// The daily archive reading and its report, byte for byte.
#include <gtest/gtest.h>

#include "archives/archive_reading.h"
#include "support/archive_reports.h"

namespace vardis {
namespace {

using test::ArchiveTest;
using test::dailyReport;
using test::dateCode;
using test::fileLines;
using test::fromCp1251;
using test::Integrators;
using test::Interval;
using test::putIntegrators;
using test::reportIs;
using test::ReportLook;
using test::Request;
using test::slice;

constexpr int kNotCurrent = -1;

// Integrators at the end of the month and at the end of the month before.
const Integrators kEnd = {5000000, 4000000, 3000000, 2000000, 9876543,
                          7200000, 1234567, 3600000, 7440000};
const Integrators kStart = {4000000, 3500000, 2900000, 1990000, 9000000,
                            6500000, 1200000, 3000000, 0};

class DailyArchive : public ArchiveTest {
 protected:
  // The requests of a whole daily reading.
  static std::vector<Request> requestsOf(int year, int month, int n, std::uint32_t endCode,
                                         std::uint32_t startCode) {
    std::vector<Request> want;
    for (int d = 1; d <= n; ++d) {
      test::addIntervalRequests(want, 1, dateCode(year, month, d, 23), true);
    }
    test::addIntegratorRequests(want, endCode);
    test::addIntegratorRequests(want, startCode);
    return want;
  }
  static std::vector<int> progressOf(int n) {
    std::vector<int> out;
    for (int d = 1; d <= n; ++d) out.push_back(3 * d);
    out.push_back(100);
    return out;
  }
};

TEST_F(DailyArchive, FebruaryOfALeapYearHasTwentyNineDays) {
  identify();
  const auto days = loadDays(2012, 2, 29);
  putIntegrators(meter, dateCode(2012, 2, 29, 23), kEnd);
  putIntegrators(meter, dateCode(2012, 1, 31, 23), kStart);
  pick(2012, 2, 10);  // not the PC's month: any day gives the same report

  ReadDailyArchive(*session);

  const std::string bytes = reportBytes(ReportKind::Daily);
  EXPECT_TRUE(reportIs(bytes, dailyReport(ReportLook{}, 2012, 2, days, kNotCurrent, kEnd, kStart)));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 35u + 29u);
  auto line = [&](std::size_t i) { return fromCp1251(lines[i]); };
  EXPECT_EQ(line(0), "Протокол среднесуточных значений за месяц:2012.02");
  EXPECT_EQ(line(1), "Теплосчетчик \"ВАРДИС\":    серийный номер :12345 ");
  EXPECT_EQ(line(2), " ");
  EXPECT_EQ(line(3), std::string(156, '_'));
  EXPECT_EQ(line(4),
            "| Сут |   M1,  |   M2,  |   M3,  |   M4,  |   T1,  |   T2,  |   T3,  |   T4,  |   P1, "
            "|   P2, |   P3, |   P4, |    W1,  |    W2,  |   B1, |   B2, |   Тс, |");
  EXPECT_EQ(lines[4].size(), 155u);
  EXPECT_EQ(line(5),
            "|     |  т/ч   |  т/ч   |  т/ч   |  т/ч   |  гр.С  |   гр.С |   гр.С |   гр.С |  Мпа  "
            "|  Мпа  |  Мпа  |  Мпа  |  Гдж/ч  |  Гдж/ч  |   ч   |   ч   |   ч   |");
  EXPECT_EQ(line(6), std::string(156, '_'));
  EXPECT_EQ(line(7),
            "| 01: | 2.4706 | 23.956 | 235.56 | 2355.6 |  80.31 |  49.92 |  11.40 |  -5.05 | 0.704 "
            "| 0.450 | 0.000 | 1.121 |  3.5567 |  35.567 | 23.90 | 12.35 | 24.00 | ");
  EXPECT_EQ(lines[7].size(), 156u);
  EXPECT_EQ(slice(lines[35], 0, 8), "| 29: | ");
  EXPECT_EQ(line(36), std::string(157, '_'));
  EXPECT_EQ(line(37), " ");
  EXPECT_EQ(line(38), "Значение интеграторов на конец месяца:");
  EXPECT_EQ(line(39), "М1 :   5000.0000  ");
  EXPECT_EQ(line(40), "М2 :   40000.000  ");
  EXPECT_EQ(line(41), "М3 :   300000.00  ");
  EXPECT_EQ(line(42), "М4 :   2000000.0  ");
  EXPECT_EQ(line(43), "Q1 , Гдж :   9876.5430    ");
  EXPECT_EQ(line(44), "Q2 , Гдж :   12345.670    ");
  EXPECT_EQ(line(45), "В1 , час :      720.00  ");
  EXPECT_EQ(line(46), "В2 , час :      360.00  ");
  EXPECT_EQ(line(47), "ТC , час :      744.00  ");
  EXPECT_EQ(line(48), " ");
  EXPECT_EQ(line(49), "Прирост интеграторов за месяц:");
  EXPECT_EQ(line(50), "Потребленная масса энергоносителя:");
  EXPECT_EQ(line(51), "М1 :   1000.0000  ");
  EXPECT_EQ(line(54), "М4 :     10000.0  ");
  EXPECT_EQ(line(55), "Тепловая энергия:");
  EXPECT_EQ(line(56), "Q1 , Гдж :    876.5430    ");
  EXPECT_EQ(line(57), "Q2 , Гдж :     345.670    ");
  EXPECT_EQ(line(58), "Время наработки:");
  EXPECT_EQ(line(59), "В1 , час :       70.00  ");
  EXPECT_EQ(line(60), "В2 , час :       60.00  ");
  EXPECT_EQ(line(61), "Время сети:");
  EXPECT_EQ(line(62), "ТC , час :      744.00  ");
  EXPECT_EQ(line(63), std::string(157, '_'));
  // Cyrillic М in the integrator labels.
  EXPECT_EQ(lines[39].substr(0, 1), "\xCC");

  EXPECT_EQ(requests(),
            requestsOf(2012, 2, 29, dateCode(2012, 2, 29, 23), dateCode(2012, 1, 31, 23)));
  EXPECT_EQ(requests().size(), 21u * 29u + 18u);
  EXPECT_EQ(seen.progress, progressOf(29));
  EXPECT_EQ(seen.progress[28], 87);
  EXPECT_EQ(seen.statuses,
            (std::vector<std::string>{"Считывание суточных архивов", "Архивы записаны"}));
}

TEST_F(DailyArchive, FebruaryOfACommonYearWithAbnormalDays) {
  identify();
  auto days = loadDays(2011, 2, 28);
  days[2].abnormal = (1u << 12) | 1u;
  days[14].abnormal = 1u << 29;
  days[28].abnormal = 1u << 11;
  putDays(2011, 2, days);
  putIntegrators(meter, dateCode(2011, 2, 28, 23), kEnd);
  putIntegrators(meter, dateCode(2011, 1, 31, 23), kStart);
  pick(2011, 2, 28);

  ReadDailyArchive(*session);

  const std::string bytes = reportBytes(ReportKind::Daily);
  EXPECT_TRUE(reportIs(bytes, dailyReport(ReportLook{}, 2011, 2, days, kNotCurrent, kEnd, kStart)));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 40u + 2u * 28u);
  EXPECT_EQ(lines[7 + 1].back(), '*');
  EXPECT_EQ(lines[7 + 1].size(), 157u);
  EXPECT_EQ(lines[7 + 2].size(), 156u);
  const std::size_t s = 35 + 28;  // first line of the section
  EXPECT_EQ(fromCp1251(lines[s]), "          Нештатные ситуации за интервал ");
  EXPECT_EQ(fromCp1251(lines[s + 1]), std::string(53, '_'));
  EXPECT_EQ(fromCp1251(lines[s + 2]), "| Сут |   Обозначение НС                             |");
  EXPECT_EQ(fromCp1251(lines[s + 3]), std::string(53, '_'));
  EXPECT_EQ(fromCp1251(lines[s + 4]), "| 01: | ");
  EXPECT_EQ(fromCp1251(lines[s + 5]), "| 02: | T1<  G1<  ");
  EXPECT_EQ(fromCp1251(lines[s + 17]), "| 14: | G3<  ");
  EXPECT_EQ(fromCp1251(lines[s + 31]), "| 28: | G4o  ");
  EXPECT_EQ(fromCp1251(lines[s + 32]), std::string(54, '_'));
  EXPECT_EQ(seen.progress, progressOf(28));
  EXPECT_EQ(seen.progress[27], 84);
  EXPECT_EQ(requests().size(), 21u * 28u + 18u);
}

TEST_F(DailyArchive, JanuaryStartsFromTheLastDayOfDecemberBefore) {
  identify();
  const auto days = loadDays(2012, 1, 31);
  putIntegrators(meter, dateCode(2012, 1, 31, 23), kEnd);
  putIntegrators(meter, dateCode(2011, 12, 31, 23), kStart);
  pick(2012, 1, 20);

  ReadDailyArchive(*session);

  // Both reads land in row 31: the increments come from the end values kept aside.
  EXPECT_EQ(requests(), requestsOf(2012, 1, 31, 1201312300u, 1112312300u));
  EXPECT_EQ(session->archive.FlowTotal[0][31], static_cast<double>(kStart[0]));
  const std::string bytes = reportBytes(ReportKind::Daily);
  EXPECT_TRUE(reportIs(bytes, dailyReport(ReportLook{}, 2012, 1, days, kNotCurrent, kEnd, kStart)));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 35u + 31u);
  EXPECT_EQ(fromCp1251(lines[0]), "Протокол среднесуточных значений за месяц:2012.01");
  EXPECT_EQ(fromCp1251(lines[8 + 31 + 2]), "М1 :   5000.0000  ");
  EXPECT_EQ(fromCp1251(lines[8 + 31 + 14]), "М1 :   1000.0000  ");
}

TEST_F(DailyArchive, CurrentMonthEndsTheDayBeforeThePickedDay) {
  clock.base = LocalDateTime{2011, 4, 8, 9, 5, 0, 0};
  identify();
  const auto days = loadDays(2011, 4, 30);
  putIntegrators(meter, dateCode(2011, 4, 7, 23), kEnd);
  putIntegrators(meter, dateCode(2011, 3, 31, 23), kStart);
  pick(2011, 4, 8);

  ReadDailyArchive(*session);

  // Every day of the month is still read and printed, days after today included.
  EXPECT_EQ(requests(), requestsOf(2011, 4, 30, 1104072300u, 1103312300u));
  const std::string bytes = reportBytes(ReportKind::Daily);
  EXPECT_TRUE(reportIs(bytes, dailyReport(ReportLook{}, 2011, 4, days, 7, kEnd, kStart)));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 35u + 30u);
  EXPECT_EQ(fromCp1251(lines[8 + 30 + 1]),
            "Значение интеграторов на 23 час 59 мин 59 сек 07 числа:");
  EXPECT_EQ(fromCp1251(lines[8 + 30 + 12]),
            "Прирост интеграторов c начала месяца на 23 час 59 мин 59 сек 07 числа:");
  // The "c" of "c начала" is a Latin letter.
  EXPECT_EQ(lines[8 + 30 + 12].substr(20, 3), " c ");
}

TEST_F(DailyArchive, CurrentMonthOnItsFirstDayEndsOnDayZero) {
  clock.base = LocalDateTime{2011, 4, 1, 9, 5, 0, 0};
  identify();
  const auto days = loadDays(2011, 4, 30);
  putIntegrators(meter, dateCode(2011, 4, 0, 23), kEnd);
  putIntegrators(meter, dateCode(2011, 3, 31, 23), kStart);
  pick(2011, 4, 1);

  ReadDailyArchive(*session);

  EXPECT_EQ(requests(), requestsOf(2011, 4, 30, 1104002300u, 1103312300u));
  EXPECT_EQ(session->archive.FlowTotal[0][0], static_cast<double>(kEnd[0]));
  EXPECT_EQ(session->archive.MainsTimeTotal[0], static_cast<double>(kEnd[8]));
  const std::string bytes = reportBytes(ReportKind::Daily);
  EXPECT_TRUE(reportIs(bytes, dailyReport(ReportLook{}, 2011, 4, days, 0, kEnd, kStart)));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 35u + 30u);
  EXPECT_EQ(fromCp1251(lines[8 + 30 + 1]),
            "Значение интеграторов на 23 час 59 мин 59 сек 00 числа:");
  EXPECT_EQ(fromCp1251(lines[8 + 30 + 12]),
            "Прирост интеграторов c начала месяца на 23 час 59 мин 59 сек 00 числа:");
}

TEST_F(DailyArchive, CurrentMonthIsJudgedByMonthAndTwoDigitYear) {
  identify();
  const auto days = loadDays(2011, 4, 30);
  putIntegrators(meter, dateCode(2011, 4, 30, 23), kEnd);
  putIntegrators(meter, dateCode(2011, 4, 4, 23), kEnd);
  putIntegrators(meter, dateCode(2011, 3, 31, 23), kStart);
  pick(2011, 4, 5);

  // The same month a year later is not the current month.
  clock.base = LocalDateTime{2012, 4, 5, 9, 5, 0, 0};
  ReadDailyArchive(*session);
  // A year with the same last two digits is.
  clock.base = LocalDateTime{2111, 4, 20, 9, 5, 0, 0};
  ReadDailyArchive(*session);

  auto want = dailyReport(ReportLook{}, 2011, 4, days, kNotCurrent, kEnd, kStart);
  const auto second = dailyReport(ReportLook{}, 2011, 4, days, 4, kEnd, kStart);
  want.insert(want.end(), second.begin(), second.end());
  EXPECT_TRUE(reportIs(reportBytes(ReportKind::Daily), want));
  const auto r = requests();
  ASSERT_EQ(r.size(), 2u * (21u * 30u + 18u));
  EXPECT_EQ(r[21 * 30], (Request{12, 0, 3, 1104302300u}));
  EXPECT_EQ(r[21 * 30 + 18 + 21 * 30], (Request{12, 0, 3, 1104042300u}));
}

TEST_F(DailyArchive, TwentyNinthOfMarchAfterAShortFebruaryReusesRowTwentyEight) {
  clock.base = LocalDateTime{2011, 3, 29, 9, 5, 0, 0};
  identify();
  const auto days = loadDays(2011, 3, 31);
  putIntegrators(meter, dateCode(2011, 3, 28, 23), kEnd);
  putIntegrators(meter, dateCode(2011, 2, 28, 23), kStart);
  pick(2011, 3, 29);

  ReadDailyArchive(*session);

  EXPECT_EQ(requests(), requestsOf(2011, 3, 31, 1103282300u, 1102282300u));
  EXPECT_EQ(session->archive.FlowTotal[0][28], static_cast<double>(kStart[0]));
  const std::string bytes = reportBytes(ReportKind::Daily);
  EXPECT_TRUE(reportIs(bytes, dailyReport(ReportLook{}, 2011, 3, days, 28, kEnd, kStart)));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 35u + 31u);
  EXPECT_EQ(fromCp1251(lines[8 + 31 + 1]),
            "Значение интеграторов на 23 час 59 мин 59 сек 28 числа:");
  EXPECT_EQ(fromCp1251(lines[8 + 31 + 2]), "М1 :   5000.0000  ");
  EXPECT_EQ(fromCp1251(lines[8 + 31 + 14]), "М1 :   1000.0000  ");
  EXPECT_EQ(fromCp1251(lines[8 + 31 + 19]), "Q1 , Гдж :    876.5430    ");
  EXPECT_EQ(fromCp1251(lines[8 + 31 + 25]), "ТC , час :      744.00  ");
}

TEST_F(DailyArchive, StartAboveEndGivesNegativeIncrements) {
  identify();
  const auto days = loadDays(2011, 6, 30);
  const Integrators end = {1000, 2000, 3000, 4000, 5000, 10000, 6000, 20000, 30000};
  const Integrators start = {3000, 2500, 3500, 4500, 15000, 50000, 6001, 20001, 1030000};
  putIntegrators(meter, dateCode(2011, 6, 30, 23), end);
  putIntegrators(meter, dateCode(2011, 5, 31, 23), start);
  pick(2011, 6, 1);

  ReadDailyArchive(*session);

  const std::string bytes = reportBytes(ReportKind::Daily);
  EXPECT_TRUE(reportIs(bytes, dailyReport(ReportLook{}, 2011, 6, days, kNotCurrent, end, start)));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 35u + 30u);
  const std::size_t inc = 8 + 30 + 13;  // "Потребленная масса энергоносителя:"
  EXPECT_EQ(fromCp1251(lines[inc]), "Потребленная масса энергоносителя:");
  EXPECT_EQ(fromCp1251(lines[inc + 1]), "М1 :     -2.0000  ");
  EXPECT_EQ(fromCp1251(lines[inc + 2]), "М2 :      -5.000  ");
  EXPECT_EQ(fromCp1251(lines[inc + 6]), "Q1 , Гдж :    -10.0000    ");
  EXPECT_EQ(fromCp1251(lines[inc + 7]), "Q2 , Гдж :      -0.010    ");
  EXPECT_EQ(fromCp1251(lines[inc + 9]), "В1 , час :       -4.00  ");
  EXPECT_EQ(fromCp1251(lines[inc + 12]), "ТC , час :     -100.00  ");
}

TEST_F(DailyArchive, VolumeVariantChangesOnlyTheHeaderAndTheFlowUnits) {
  meter.parameters[9] = 1;
  meter.parameters[111] = 1;
  identify();
  const auto days = loadDays(2011, 6, 30);
  putIntegrators(meter, dateCode(2011, 6, 30, 23), kEnd);
  putIntegrators(meter, dateCode(2011, 5, 31, 23), kStart);
  pick(2011, 6, 15);

  ReadDailyArchive(*session);
  session->params.values[111] = 0;
  ReadDailyArchive(*session);

  ReportLook look;
  look.heatUnit = "Гкал";
  look.volume = true;
  auto want = dailyReport(look, 2011, 6, days, kNotCurrent, kEnd, kStart);
  look.volume = false;
  const auto mass = dailyReport(look, 2011, 6, days, kNotCurrent, kEnd, kStart);
  want.insert(want.end(), mass.begin(), mass.end());
  const std::string bytes = reportBytes(ReportKind::Daily);
  EXPECT_TRUE(reportIs(bytes, want));

  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 2u * (35u + 30u));
  EXPECT_EQ(fromCp1251(lines[4]),
            "|     |   G1,  |   G2,  |   G3)  |   G4,  |   T1,  |   T2,  |   T3,  |   T4,  |   P1, "
            "|   P2, |   P3, |   P4, |    W1,  |    W2,  |   B1, |   B2, |   Тс, |");
  EXPECT_EQ(fromCp1251(lines[5]),
            "|     |  м3/ч  |  м3/ч  |  м3/ч  |  м3/ч  |  гр.С  |   гр.С |   гр.С |   гр.С |  Мпа  "
            "|  Мпа  |  Мпа  |  Мпа  | Гкал/ч  | Гкал/ч  |   ч   |   ч   |   ч   |");
  for (std::size_t i = 0; i < 65; ++i) {
    if (i == 4 || i == 5) {
      EXPECT_NE(lines[i], lines[65 + i]) << "line " << i + 1;
    } else {
      EXPECT_EQ(lines[i], lines[65 + i]) << "line " << i + 1;
    }
  }
  EXPECT_EQ(fromCp1251(lines[8 + 30 + 2]), "М1 :   5000.0000  ");
  EXPECT_EQ(fromCp1251(lines[8 + 30 + 6]), "Q1 ,Гкал :   9876.5430    ");
}

TEST_F(DailyArchive, SectionFollowsTheSignedOrOfTheDays) {
  identify();
  auto days = loadDays(2011, 6, 30);
  pick(2011, 6, 15);
  std::vector<std::string> want;
  auto run = [&] {
    putDays(2011, 6, days);
    ReadDailyArchive(*session);
    const auto r =
        dailyReport(ReportLook{}, 2011, 6, days, kNotCurrent, Integrators{}, Integrators{});
    want.insert(want.end(), r.begin(), r.end());
  };

  days[3].abnormal = 1u << 31;  // alone: asterisk, no section
  run();
  days[5].abnormal = 1u << 12;  // with bit 31 elsewhere: still none
  run();
  days[3].abnormal = 0;
  days[5].abnormal = 0;
  days[9].abnormal = 1u << 6;  // a bit without a code: section, empty code list
  run();

  const std::string bytes = reportBytes(ReportKind::Daily);
  EXPECT_TRUE(reportIs(bytes, want));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 65u + 65u + 100u);
  EXPECT_EQ(lines[7 + 2].back(), '*');
  EXPECT_EQ(lines[65 + 7 + 4].back(), '*');
  EXPECT_EQ(fromCp1251(lines[130 + 65]), "          Нештатные ситуации за интервал ");
  EXPECT_EQ(fromCp1251(lines[130 + 65 + 4 + 8]), "| 09: | ");
}

TEST_F(DailyArchive, FlowLimitAboveTenThousandPrintsTenTimesTheCount) {
  meter.parameters[10] = 20000;
  identify();
  const auto days = loadDays(2011, 6, 30);
  const Integrators end = {123456, 0, 0, 0, 4321, 0, 0, 0, 0};
  putIntegrators(meter, dateCode(2011, 6, 30, 23), end);
  pick(2011, 6, 15);

  ReadDailyArchive(*session);

  ReportLook look;
  look.slots = test::identifiedSlots(0, 3, 2, 1);
  const std::string bytes = reportBytes(ReportKind::Daily);
  EXPECT_TRUE(reportIs(bytes, dailyReport(look, 2011, 6, days, kNotCurrent, end, Integrators{})));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 65u);
  EXPECT_EQ(fromCp1251(lines[8 + 30 + 2]), "М1 :     1234560  ");
  EXPECT_EQ(fromCp1251(lines[8 + 30 + 6]), "Q1 , Гдж :       43210    ");
  EXPECT_EQ(fromCp1251(lines[8 + 30 + 14]), "М1 :     1234560  ");
}

}  // namespace
}  // namespace vardis
