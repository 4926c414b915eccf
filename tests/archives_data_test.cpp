// The last reading as named quantities: what the chart and the exports show.
#include <gtest/gtest.h>

#include "archives/archive_data.h"
#include "archives/archive_reading.h"
#include "support/archive_reports.h"

namespace vardis {
namespace {

struct DataFixture : ::testing::Test {
  test::TempDir dir;
  test::VirtualClock clock;
  test::FakeLine line{clock};
  test::FakeMeter meter;
  std::unique_ptr<Session> session;

  void SetUp() override {
    std::filesystem::create_directories(dir.path() / "arc");
    SessionConfig cfg;
    cfg.dataDir = dir.path();
    session = std::make_unique<Session>(line, clock, cfg);
    session->link.port = "1";
    meter.parameters[0] = 4321;
    meter.parameters[10] = 50;  // 3 flow decimals: integrators divided by 100
    line.responder = meter.responder();
    MeterIdentification(*session);
  }
};

TEST_F(DataFixture, HourlyKeepsTheHourWhoseRowTheDayRecordTook) {
  for (int h = 0; h < 24; ++h) {
    test::Interval v;
    v.flow[0] = 10.0f + static_cast<float>(h);
    v.temperature[1] = 60.5f;
    v.mains = 10000;
    v.abnormal = h == 5 ? (1u << 12) | 1u : 0u;
    test::putInterval(meter, 0, test::dateCode(2011, 4, 5, h), v);
  }
  test::Interval day;
  day.flow[0] = 777.0f;
  day.mains = 240000;
  test::putInterval(meter, 1, test::dateCode(2011, 4, 5, 23), day);
  meter.archive[{12, 3, test::dateCode(2011, 4, 5, 23), 0}] = 123456;
  session->pickedDate = {2011, 4, 5};
  ReadHourlyArchive(*session);

  const ArchiveData d = lastArchiveData(*session);
  EXPECT_EQ(d.kind, "hourly");
  EXPECT_EQ(d.period, "2011-04-05");
  ASSERT_EQ(d.records.size(), 24u);
  // Hour 5's own flow, although row 5 of the store now holds the day's record.
  EXPECT_EQ(session->archive.Flow[0][5], 777.0);
  EXPECT_EQ(d.records[5].quantities[0].name, "M1");
  EXPECT_EQ(d.records[5].quantities[0].unit, "t/h");
  EXPECT_EQ(d.records[5].quantities[0].value, 15.0);
  EXPECT_EQ(d.records[5].dateTime, "2011-04-05T05:00");
  EXPECT_EQ(d.records[5].abnormalCodes, (std::vector<std::string>{"T1<", "G1<"}));
  EXPECT_EQ(d.records[6].quantities[0].value, 16.0);
  ASSERT_EQ(d.dayRecord.size(), 1u);
  EXPECT_EQ(d.dayRecord[0].quantities[0].value, 777.0);
  EXPECT_EQ(d.dayRecord[0].quantities[16].name, "Tc");
  EXPECT_EQ(d.dayRecord[0].quantities[16].value, 24.0);
  EXPECT_EQ(d.integrators[0].name, "M1");
  EXPECT_EQ(d.integrators[0].unit, "t");
  EXPECT_DOUBLE_EQ(d.integrators[0].value, 1234.56);
}

TEST_F(DataFixture, DailyIncrementsAreEndMinusStart) {
  meter.archive[{12, 3, test::dateCode(2011, 2, 28, 23), 4}] = 5000;
  meter.archive[{12, 3, test::dateCode(2011, 1, 31, 23), 4}] = 7000;
  meter.archive[{12, 3, test::dateCode(2011, 2, 28, 23), 8}] = 240000;
  session->pickedDate = {2011, 2, 10};
  clock.base = LocalDateTime{2011, 4, 8, 9, 5, 0, 0};
  ReadDailyArchive(*session);
  const ArchiveData d = lastArchiveData(*session);
  EXPECT_EQ(d.kind, "daily");
  EXPECT_EQ(d.period, "2011-02");
  EXPECT_EQ(d.records.size(), 28u);
  EXPECT_EQ(d.integratorsAt, "2011-02-28");
  EXPECT_EQ(d.startIntegratorsAt, "2011-01-31");
  ASSERT_EQ(d.increments.size(), 9u);
  EXPECT_EQ(d.increments[4].name, "Q1");
  EXPECT_EQ(d.increments[4].unit, "GJ");  // parameter 9 is 0
  EXPECT_DOUBLE_EQ(d.increments[4].value, (5000.0 - 7000.0) / 100);
  EXPECT_DOUBLE_EQ(d.integrators[8].value, 24.0);
}

TEST_F(DataFixture, NothingBeforeAReadingCompletes) {
  EXPECT_TRUE(lastArchiveData(*session).kind.empty());
  session->StopConnection();
  session->pickedDate = {2011, 3, 1};
  EXPECT_THROW(ReadMonthlyArchive(*session), UserError);
  EXPECT_TRUE(lastArchiveData(*session).kind.empty());
}

// The meter's clock as the exports give it: a possible one as a date and
// time, an impossible one as nothing (the word is kept beside it).
TEST_F(DataFixture, AnImpossibleMeterClockIsNoDateTime) {
  session->link.addr.dateTime = 1102281505;  // 2011-02-28 15:05
  session->link.addr.seconds = 9;
  EXPECT_EQ(currentData(*session).meterClock, "2011-02-28T15:05:09");
  session->link.addr.seconds = 60;
  EXPECT_EQ(currentData(*session).meterClock, std::nullopt);
  session->link.addr.seconds = 0;
  session->link.addr.dateTime = 1102290000;  // 29 February of a common year
  EXPECT_EQ(currentData(*session).meterClock, std::nullopt);
  session->link.addr.dateTime = 1113322599;  // month 13, day 32, 25:99
  const CurrentData c = currentData(*session);
  EXPECT_EQ(c.meterClock, std::nullopt);
  EXPECT_EQ(c.meterClockWord, 1113322599u);
}

}  // namespace
}  // namespace vardis
