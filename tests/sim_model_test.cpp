// The simulated meter's data: calendar, parameters, current values, clock and
// archives, and how records and integrators agree.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "sim/calendar.h"
#include "sim/history.h"
#include "sim/meter_model.h"
#include "sim/time_source.h"

namespace vardis::sim {
namespace {

std::int64_t msAt(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return secondsSince2000(CivilTime{y, mo, d, h, mi, s}) * 1000;
}

// A meter whose clock stands at the given time and moves only by hand.
struct Fixture {
  explicit Fixture(std::int64_t localMs) : time(std::make_shared<ManualTimeSource>(localMs)) {}
  std::shared_ptr<ManualTimeSource> time;
  MeterModel model{time};
};

Fixture inTheFuture() {
  return Fixture(msAt(2043, 6, 1));
}

void expectClose(double expected, double actual, const char* what) {
  EXPECT_NEAR(expected, actual, 1e-5 * std::max(1.0, std::fabs(expected))) << what;
}

TEST(SimCalendar, PacksAndUnpacksTheMeterDateTime) {
  EXPECT_EQ(packDateTime(CivilTime{2011, 4, 8, 9, 5, 7}), 1104080905u);
  EXPECT_EQ(archiveDateCode(2011, 4, 8, 5), 1104080500u);
  EXPECT_EQ(packDateTime(CivilTime{2042, 12, 31, 23, 59, 0}), 4212312359u);
  EXPECT_EQ(unpackDateTime(1104080905u), (CivilTime{2011, 4, 8, 9, 5, 0}));
  EXPECT_EQ(unpackDateTime(1112312359u), (CivilTime{2011, 12, 31, 23, 59, 0}));
  EXPECT_TRUE(isValidDateTime(unpackDateTime(1202290000u)));   // 2012-02-29
  EXPECT_FALSE(isValidDateTime(unpackDateTime(1102290000u)));  // 2011-02-29
  EXPECT_FALSE(isValidDateTime(unpackDateTime(1104000000u)));  // day 0
  EXPECT_FALSE(isValidDateTime(unpackDateTime(1113010000u)));  // month 13
  EXPECT_FALSE(isValidDateTime(unpackDateTime(1104082400u)));  // hour 24
  EXPECT_FALSE(isValidDateTime(unpackDateTime(16843009u)));    // 2000-16-84
}

TEST(SimCalendar, DayNumbersRoundTripOverTheWholeRange) {
  EXPECT_EQ(daysSince2000(2000, 1, 1), 0);
  EXPECT_EQ(daysSince2000(2000, 3, 1), 60);  // 2000 is a leap year
  EXPECT_EQ(daysSince2000(2011, 4, 8), 4115);
  EXPECT_EQ(kLastHistoryDay, daysSince2000(2042, 12, 31));
  CivilTime previous = civilFromDay(-1);
  EXPECT_EQ(previous, (CivilTime{1999, 12, 31, 0, 0, 0}));
  for (std::int64_t day = 0; day <= kLastHistoryDay; ++day) {
    const CivilTime t = civilFromDay(day);
    ASSERT_EQ(daysSince2000(t.year, t.month, t.day), day);
    ASSERT_TRUE(t.day == previous.day + 1 || t.day == 1) << day;
    previous = t;
  }
  EXPECT_EQ(daysInMonth(2012, 2), 29);
  EXPECT_EQ(daysInMonth(2011, 2), 28);
  EXPECT_EQ(daysInMonth(2100, 2), 28);
  EXPECT_EQ(daysInMonth(2000, 2), 29);
  EXPECT_EQ(civilFromSeconds(-1), (CivilTime{1999, 12, 31, 23, 59, 59}));
}

TEST(SimModel, ParametersOfTheDeliveredMeter) {
  Fixture f(msAt(2011, 4, 8));
  EXPECT_EQ(f.model.parameter(0), 12345.0f);
  EXPECT_EQ(f.model.parameter(3), 1.0f);
  EXPECT_EQ(f.model.parameter(9), 1.0f);
  EXPECT_EQ(f.model.parameter(10), 50.0f);
  EXPECT_EQ(f.model.parameter(20), 50.0f);
  EXPECT_EQ(f.model.parameter(30), 0.0f);
  EXPECT_EQ(f.model.parameter(40), 0.0f);
  EXPECT_EQ(f.model.parameter(111), 0.0f);
  EXPECT_EQ(f.model.parameter(122), 1.0f);
  EXPECT_EQ(f.model.parameter(200), 0.0f);
  // Every parameter the tool reports fits the report's range.
  for (int i = 0; i <= 179; ++i) EXPECT_LE(std::fabs(f.model.parameter(i)), 1000000.0f) << i;
  // The network address follows the meter address.
  EXPECT_EQ(f.model.parameter(6), 0.0f);
  f.model.setAddress(7);
  EXPECT_EQ(f.model.parameter(6), 7.0f);
}

TEST(SimModel, FlowDivisorFollowsTheUpperFlowLimit) {
  Fixture f = inTheFuture();
  EXPECT_EQ(f.model.flowDivisor(1), 100.0);   // limit 50: 3 decimals
  EXPECT_EQ(f.model.flowDivisor(3), 1000.0);  // limit 0: 4 decimals
  const Amounts hour = historyHour(daysSince2000(2011, 4, 8), 5).amounts;
  EXPECT_FLOAT_EQ(static_cast<float>(f.model.hourRecord(2011, 4, 8, 5).flow[0]),
                  static_cast<float>(static_cast<double>(hour.mass[0]) / 100.0));
  f.model.pinParameter(10, 5.0f);
  EXPECT_EQ(f.model.flowDivisor(1), 1000.0);
  EXPECT_FLOAT_EQ(f.model.hourRecord(2011, 4, 8, 5).flow[0],
                  static_cast<float>(static_cast<double>(hour.mass[0]) / 1000.0));
  f.model.pinParameter(10, 20000.0f);
  EXPECT_EQ(f.model.flowDivisor(1), 0.1);
  f.model.pinParameter(10, 10000.0f);
  EXPECT_EQ(f.model.flowDivisor(1), 1.0);
}

TEST(SimModel, HourRecordsArePlausible) {
  Fixture f = inTheFuture();
  for (const int month : {1, 4, 7, 10}) {
    for (int h = 0; h < 24; ++h) {
      const IntervalRecord r = f.model.hourRecord(2019, month, 15, h);
      ASSERT_TRUE(r.present);
      EXPECT_GT(r.flow[0], 5.0f);
      EXPECT_LT(r.flow[0], 30.0f);
      EXPECT_LT(r.flow[1], r.flow[0]);
      EXPECT_EQ(r.flow[2], 0.0f);
      EXPECT_EQ(r.flow[3], 0.0f);
      EXPECT_GT(r.temperature[0], 60.0f);
      EXPECT_LT(r.temperature[0], 100.0f);
      EXPECT_LT(r.temperature[1], r.temperature[0]);
      EXPECT_LT(r.temperature[2], r.temperature[1]);
      EXPECT_GT(r.pressure[0], r.pressure[1]);
      EXPECT_GE(r.heat[0], 0.0f);
      EXPECT_LE(r.mainsTime, 10000u);
      EXPECT_LE(r.runTime[0], r.mainsTime);
      EXPECT_LE(r.runTime[1], r.mainsTime);
      EXPECT_EQ(r.abnormal & kUnusedAbnormalBits, 0u);
    }
  }
  // Winter supply is hotter than summer supply.
  EXPECT_GT(f.model.dayRecord(2019, 1, 20).temperature[0],
            f.model.dayRecord(2019, 7, 20).temperature[0] + 10.0f);
}

TEST(SimModel, SomeHoursCarryAbnormalSituationsButNeverTheUnusedBits) {
  Fixture f = inTheFuture();
  int hoursWithBits = 0;
  std::uint32_t seen = 0;
  int hoursWithOutage = 0;
  for (int month = 1; month <= 12; ++month) {
    for (int day = 1; day <= daysInMonth(2015, month); ++day) {
      for (int h = 0; h < 24; ++h) {
        const IntervalRecord r = f.model.hourRecord(2015, month, day, h);
        if (r.abnormal != 0) ++hoursWithBits;
        if (r.mainsTime < 10000) ++hoursWithOutage;
        seen |= r.abnormal;
      }
    }
  }
  EXPECT_GT(hoursWithBits, 8760 / 100);
  EXPECT_LT(hoursWithBits, 8760 / 10);
  EXPECT_GT(hoursWithOutage, 0);
  EXPECT_EQ(seen & kUnusedAbnormalBits, 0u);
  EXPECT_EQ(seen, ~kUnusedAbnormalBits);  // over a year every situation turns up
}

TEST(SimModel, DayRecordAggregatesItsHours) {
  Fixture f = inTheFuture();
  const int days[][3] = {{2000, 1, 1}, {2011, 4, 8}, {2012, 2, 29}, {2024, 12, 31}, {2042, 12, 31}};
  for (const auto& d : days) {
    SCOPED_TRACE(::testing::Message() << d[0] << "-" << d[1] << "-" << d[2]);
    const IntervalRecord day = f.model.dayRecord(d[0], d[1], d[2]);
    ASSERT_TRUE(day.present);
    double flow[4] = {}, temperature[4] = {}, pressure[4] = {}, heat[2] = {};
    std::uint64_t run[2] = {}, mains = 0;
    std::uint32_t abnormal = 0;
    for (int h = 0; h < 24; ++h) {
      const IntervalRecord r = f.model.hourRecord(d[0], d[1], d[2], h);
      ASSERT_TRUE(r.present);
      for (int k = 0; k < 4; ++k) {
        flow[k] += r.flow[k] / 24.0;
        temperature[k] += r.temperature[k] / 24.0;
        pressure[k] += r.pressure[k] / 24.0;
      }
      for (int i = 0; i < 2; ++i) {
        heat[i] += r.heat[i];
        run[i] += r.runTime[i];
      }
      mains += r.mainsTime;
      abnormal |= r.abnormal;
    }
    for (int k = 0; k < 4; ++k) {
      expectClose(flow[k], day.flow[k], "mean flow");
      expectClose(temperature[k], day.temperature[k], "mean temperature");
      expectClose(pressure[k], day.pressure[k], "mean pressure");
    }
    for (int i = 0; i < 2; ++i) {
      expectClose(heat[i], day.heat[i], "heat");
      EXPECT_EQ(run[i], day.runTime[i]);
    }
    EXPECT_EQ(mains, day.mainsTime);
    EXPECT_EQ(abnormal, day.abnormal);
    EXPECT_LE(day.mainsTime, 240000u);
  }
}

TEST(SimModel, IntegratorsRunOnByEachDaysAmounts) {
  Fixture f = inTheFuture();
  const int days[][3] = {{2000, 1, 1}, {2011, 4, 8}, {2011, 5, 1}, {2012, 3, 1}, {2042, 12, 31}};
  for (const auto& d : days) {
    SCOPED_TRACE(::testing::Message() << d[0] << "-" << d[1] << "-" << d[2]);
    const auto end = f.model.dayEndTotals(d[0], d[1], d[2]);
    ASSERT_TRUE(end.has_value());
    const CivilTime before = civilFromDay(daysSince2000(d[0], d[1], d[2]) - 1);
    const auto start = before.year < 2000
                           ? std::optional(historyStartTotals())
                           : f.model.dayEndTotals(before.year, before.month, before.day);
    ASSERT_TRUE(start.has_value());
    const Amounts amounts = f.model.dayAmounts(d[0], d[1], d[2]);
    const IntervalRecord day = f.model.dayRecord(d[0], d[1], d[2]);
    for (int q = 0; q < kTotalCount; ++q) {
      EXPECT_EQ(std::uint64_t{(*end)[q] - (*start)[q]}, amounts.byQuantity(q)) << "quantity " << q;
    }
    // The interval record's times are the same amounts; flows and heat are the
    // counts in the shown unit.
    EXPECT_EQ(day.runTime[0], amounts.runTime[0]);
    EXPECT_EQ(day.runTime[1], amounts.runTime[1]);
    EXPECT_EQ(day.mainsTime, amounts.mainsTime);
    for (int k = 0; k < 2; ++k) {
      EXPECT_NEAR(day.flow[k] * 24.0 * f.model.flowDivisor(k + 1),
                  static_cast<double>(amounts.mass[k]),
                  1e-6 * static_cast<double>(amounts.mass[k]));
      EXPECT_NEAR(day.heat[k] * f.model.flowDivisor(k + 1), static_cast<double>(amounts.heat[k]),
                  1e-6 * static_cast<double>(amounts.heat[k]) + 1e-9);
    }
    // Through the archive request: record kind 3, hour 23.
    const std::uint32_t code = archiveDateCode(d[0], d[1], d[2], 23);
    for (int q = 0; q < kTotalCount; ++q) {
      EXPECT_EQ(
          f.model.archiveReplyBits(Command::ReadArchiveInteger, RecordKind::DayEndTotals, code, q),
          (*end)[q]);
    }
  }
}

TEST(SimModel, IntegratorsNeverWrapUpTo2042) {
  Fixture f = inTheFuture();
  auto previous = historyStartTotals();
  for (std::int64_t day = 0; day <= kLastHistoryDay; ++day) {
    const auto totals = historyTotalsAtEndOfDay(day);
    for (int q = 0; q < kTotalCount; ++q) ASSERT_GE(totals[q], previous[q]) << day << " " << q;
    previous = totals;
  }
  const auto last = *f.model.dayEndTotals(2042, 12, 31);
  EXPECT_GT(last[8], 3'700'000'000u);  // about 43 years of mains time
  EXPECT_GT(last[0], last[1]);
}

TEST(SimModel, MonthRecordAggregatesItsDays) {
  Fixture f = inTheFuture();
  for (const auto& [year, month] : {std::pair{2011, 4}, {2012, 2}, {2020, 12}}) {
    SCOPED_TRACE(::testing::Message() << year << "-" << month);
    const IntervalRecord m = f.model.monthRecord(year, month);
    ASSERT_TRUE(m.present);
    const int n = daysInMonth(year, month);
    double flow[4] = {}, temperature[4] = {}, pressure[4] = {}, heat[2] = {};
    std::uint64_t run[2] = {}, mains = 0;
    std::uint32_t abnormal = 0;
    for (int d = 1; d <= n; ++d) {
      const IntervalRecord r = f.model.dayRecord(year, month, d);
      for (int k = 0; k < 4; ++k) {
        flow[k] += r.flow[k] / n;
        temperature[k] += r.temperature[k] / n;
        pressure[k] += r.pressure[k] / n;
      }
      for (int i = 0; i < 2; ++i) {
        heat[i] += r.heat[i];
        run[i] += r.runTime[i];
      }
      mains += r.mainsTime;
      abnormal |= r.abnormal;
    }
    for (int k = 0; k < 4; ++k) {
      expectClose(flow[k], m.flow[k], "mean flow");
      expectClose(temperature[k], m.temperature[k], "mean temperature");
      expectClose(pressure[k], m.pressure[k], "mean pressure");
    }
    for (int i = 0; i < 2; ++i) {
      expectClose(heat[i], m.heat[i], "heat");
      EXPECT_EQ(run[i], m.runTime[i]);
    }
    EXPECT_EQ(mains, m.mainsTime);
    EXPECT_EQ(abnormal, m.abnormal);
    // The monthly record answers for any day of its code (the report day).
    for (const int day : {0, 1, 25, 31}) {
      EXPECT_EQ(f.model.archiveValue(RecordKind::Monthly, archiveDateCode(year, month, day, 23),
                                     kMainsTime),
                static_cast<double>(mains));
    }
  }
}

TEST(SimModel, SameValuesInEveryRun) {
  // Integer amounts come from the date alone; these were taken from the model once.
  Fixture f = inTheFuture();
  const auto totals = *f.model.dayEndTotals(2011, 4, 9);
  EXPECT_EQ(totals[kMainsTime], 988571304u);
  EXPECT_EQ(f.model.dayRecord(2011, 4, 9).mainsTime, 231412u);  // an outage that day
  EXPECT_EQ(f.model.dayRecord(2011, 4, 9).abnormal, 1u);
  EXPECT_EQ(f.model.dayRecord(2011, 4, 12).abnormal, 541069312u);
  // And two meters agree on everything.
  Fixture other(msAt(2043, 1, 1));
  for (int q = 0; q < kQuantityCount; ++q) {
    for (int kind = 0; kind < 4; ++kind) {
      const std::uint32_t code = archiveDateCode(2017, 9, 12, 13);
      EXPECT_EQ(f.model.archiveValue(static_cast<RecordKind>(kind), code, q),
                other.model.archiveValue(static_cast<RecordKind>(kind), code, q));
    }
  }
}

TEST(SimModel, RecordsExistOnlyForIntervalsThatEnded) {
  Fixture f(msAt(2011, 4, 8, 9, 5, 7));
  EXPECT_TRUE(f.model.hourRecord(2011, 4, 8, 8).present);
  EXPECT_FALSE(f.model.hourRecord(2011, 4, 8, 9).present);
  EXPECT_EQ(f.model.archiveValue(RecordKind::Hourly, 1104080900, 0), 0.0);
  EXPECT_NE(f.model.archiveValue(RecordKind::Hourly, 1104080800, 0), 0.0);
  EXPECT_TRUE(f.model.dayRecord(2011, 4, 7).present);
  EXPECT_FALSE(f.model.dayRecord(2011, 4, 8).present);
  EXPECT_TRUE(f.model.dayEndTotals(2011, 4, 7).has_value());
  EXPECT_FALSE(f.model.dayEndTotals(2011, 4, 8).has_value());
  EXPECT_EQ(f.model.archiveValue(RecordKind::DayEndTotals, 1104082300, kMainsTime), 0.0);
  // The month so far: the seven days that ended.
  std::uint64_t mains = 0;
  for (int d = 1; d <= 7; ++d) mains += f.model.dayRecord(2011, 4, d).mainsTime;
  EXPECT_EQ(f.model.monthRecord(2011, 4).mainsTime, mains);
  EXPECT_FALSE(f.model.monthRecord(2011, 5).present);
  // The clock moves on and the hour's record appears.
  f.time->advance(55 * 60 * 1000);
  EXPECT_TRUE(f.model.hourRecord(2011, 4, 8, 9).present);
  // A fixed horizon overrides the clock.
  f.model.setArchiveHorizon(1104010000u);
  EXPECT_FALSE(f.model.dayRecord(2011, 4, 1).present);
  EXPECT_TRUE(f.model.dayRecord(2011, 3, 31).present);
}

TEST(SimModel, CodesWithoutARecordAnswerZero) {
  Fixture f = inTheFuture();
  EXPECT_EQ(f.model.archiveValue(RecordKind::DayEndTotals, 1104002300, 0), 0.0);  // day 0
  EXPECT_EQ(f.model.archiveValue(RecordKind::Daily, 1113012300, 0), 0.0);         // month 13
  EXPECT_EQ(f.model.archiveValue(RecordKind::Hourly, 1102290500, 0), 0.0);        // 2011-02-29
  EXPECT_EQ(f.model.archiveValue(RecordKind::Hourly, 16843009, 0), 0.0);
  EXPECT_EQ(f.model.archiveValue(RecordKind::Hourly, 1104080500, 18), 0.0);
  EXPECT_EQ(f.model.archiveValue(RecordKind::DayEndTotals, 1104082300, 9), 0.0);
  EXPECT_EQ(f.model.archiveValue(static_cast<RecordKind>(7), 1104082300, 0), 0.0);
}

TEST(SimModel, ReplyBitsFollowTheCommand) {
  Fixture f = inTheFuture();
  const std::uint32_t code = 1104080500;
  const IntervalRecord r = f.model.hourRecord(2011, 4, 8, 5);
  EXPECT_EQ(f.model.archiveReplyBits(Command::ReadArchiveFloat, RecordKind::Hourly, code, 9),
            bitsFromFloat(r.temperature[0]));
  EXPECT_EQ(f.model.archiveReplyBits(Command::ReadArchiveInteger, RecordKind::Hourly, code, 8),
            r.mainsTime);
  EXPECT_EQ(f.model.archiveReplyBits(Command::ReadArchiveInteger, RecordKind::Hourly, code, 17),
            r.abnormal);
  // Asked with the other command, a value is converted.
  EXPECT_EQ(f.model.archiveReplyBits(Command::ReadArchiveFloat, RecordKind::Hourly, code, 8),
            bitsFromFloat(static_cast<float>(r.mainsTime)));
  EXPECT_EQ(f.model.archiveReplyBits(Command::ReadArchiveInteger, RecordKind::Hourly, code, 9),
            static_cast<std::uint32_t>(std::lround(r.temperature[0])));
}

TEST(SimModel, CurrentCountersAgreeWithTheIntegrators) {
  Fixture f(msAt(2011, 4, 9, 0, 0, 0));
  const auto endOfDay = *f.model.dayEndTotals(2011, 4, 8);
  for (int q = 0; q < kTotalCount; ++q) EXPECT_EQ(f.model.counter(q), endOfDay[q]) << q;

  // Half past noon: twelve whole hours and half of the thirteenth.
  f.time->advance((12 * 3600 + 1800) * 1000LL);
  const std::int64_t day = daysSince2000(2011, 4, 9);
  for (int q = 0; q < kTotalCount; ++q) {
    std::uint64_t expected = endOfDay[q];
    for (int h = 0; h < 12; ++h) expected += historyHour(day, h).amounts.byQuantity(q);
    expected += historyHour(day, 12).amounts.byQuantity(q) / 2;
    EXPECT_NEAR(static_cast<double>(f.model.counter(q)), static_cast<double>(expected), 1.0) << q;
  }
  EXPECT_EQ(f.model.counter(24), historyHour(day, 12).abnormal);
  EXPECT_EQ(f.model.counter(25), 0u);
  EXPECT_EQ(f.model.counter(9), 0u);

  // Counters never run backwards.
  std::uint32_t mains = f.model.counter(8);
  for (int i = 0; i < 50; ++i) {
    f.time->advance(97 * 1000);
    EXPECT_GE(f.model.counter(8), mains);
    mains = f.model.counter(8);
  }
}

TEST(SimModel, CurrentFloatValuesArePlausible) {
  Fixture f(msAt(2011, 1, 20, 7, 30, 0));
  const float t1 = f.model.floatValue(4), t2 = f.model.floatValue(5), t3 = f.model.floatValue(6);
  EXPECT_GT(t1, 80.0f);
  EXPECT_LT(t1, 100.0f);
  EXPECT_LT(t2, t1);
  EXPECT_LT(t3, t2);
  EXPECT_GT(f.model.floatValue(8), 0.5f);  // P1, MPa
  EXPECT_LT(f.model.floatValue(8), 0.7f);
  const float m1 = f.model.floatValue(12);
  const float rho1 = f.model.floatValue(24);
  EXPECT_GT(m1, 10.0f);
  EXPECT_GT(rho1, 950.0f);
  EXPECT_LT(rho1, 1000.0f);
  EXPECT_NEAR(f.model.floatValue(0), m1 * 1000.0f / rho1, 1e-3);  // G1 = m1 / density
  EXPECT_NEAR(f.model.floatValue(18), 4.19f * t1, 2.0f);          // enthalpy, kJ/kg
  EXPECT_GT(f.model.floatValue(16), 0.1f);                        // W1, Gcal/h
  EXPECT_GE(f.model.floatValue(17), 0.0f);
  EXPECT_EQ(f.model.floatValue(2), 0.0f);  // channel 3 has no flow
  EXPECT_EQ(f.model.floatValue(22), 0.0f);
  EXPECT_EQ(f.model.floatValue(30), 0.0f);
  // The current hour's means are the hour record once it ends.
  const IntervalRecord hour = f.model.hourRecord(2011, 1, 20, 7);
  EXPECT_FALSE(hour.present);
  f.time->advance(30 * 60 * 1000);
  EXPECT_EQ(f.model.hourRecord(2011, 1, 20, 7).temperature[0], t1);
}

TEST(SimModel, ClockRunsFromTheLastSetting) {
  Fixture f(msAt(2026, 3, 1, 12, 0, 0));
  EXPECT_EQ(f.model.clock().packed, 2603011200u);
  f.model.setClock(1104080905, 7);
  EXPECT_EQ(f.model.clock().packed, 1104080905u);
  EXPECT_EQ(f.model.clock().seconds, 7);
  f.time->advance(53'500);
  EXPECT_EQ(f.model.clock().packed, 1104080906u);
  EXPECT_EQ(f.model.clock().seconds, 0);
  f.model.setClockRunning(false);
  f.time->advance(3'600'000);
  EXPECT_EQ(f.model.clock().packed, 1104080906u);
  f.model.setClockRunning(true);
  f.time->advance(60'000);
  EXPECT_EQ(f.model.clock().packed, 1104080907u);
  // The host clock jumping does not move the meter clock.
  f.time->setLocalMs(msAt(2030, 1, 1));
  EXPECT_EQ(f.model.clock().packed, 1104080907u);
  EXPECT_THROW(f.model.setClock(1113010000, 0), std::invalid_argument);
}

}  // namespace
}  // namespace vardis::sim
