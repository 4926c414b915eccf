// The archive reports read from the simulated meter over the real serial line:
// pinned records in the meter, each report compared line by line with the text
// built from the line definitions, and the order of the requests as the meter
// saw them on the wire.
#include <gtest/gtest.h>

#include <map>

#include "archives/archive_reading.h"
#include "support/archive_reports.h"
#include "support/pty_meter.h"

// Qt's keyword macro of this name would swallow the report look's field.
#undef slots

namespace vardis {
namespace {

using test::dateCode;
using test::fileLines;
using test::fromCp1251;
using test::Integrators;
using test::Interval;
using test::reportIs;
using test::ReportLook;
using test::Request;

const Integrators kTotals = {123456, 123456, 123456, 123456,  5000000,
                             876543, 777777, 12345,  99999999};
const Integrators kEnd = {5000000, 4000000, 3000000, 2000000, 9876543,
                          7200000, 1234567, 3600000, 7440000};
const Integrators kStart = {4000000, 3500000, 2900000, 1990000, 9000000,
                            6500000, 1200000, 3000000, 0};

sim::RecordKind recordKind(int kind) {
  return static_cast<sim::RecordKind>(kind);
}

// The record as the meter's archive: floats 0..16, counters 5, 7, 8 and the
// word 17 (the floats 5, 7 and 8 share their pins with the counters; the
// reading drops them).
void pinInterval(sim::MeterModel& m, int kind, std::uint32_t code, const Interval& v) {
  const auto k = recordKind(kind);
  for (std::size_t q = 0; q < 4; ++q) {
    m.pinArchive(k, code, static_cast<int>(q), v.flow[q]);
    m.pinArchive(k, code, 9 + static_cast<int>(q), v.temperature[q]);
    m.pinArchive(k, code, 13 + static_cast<int>(q), v.pressure[q]);
  }
  m.pinArchive(k, code, 4, v.heat[0]);
  m.pinArchive(k, code, 6, v.heat[1]);
  m.pinArchive(k, code, 5, v.runTime[0]);
  m.pinArchive(k, code, 7, v.runTime[1]);
  m.pinArchive(k, code, 8, v.mains);
  m.pinArchive(k, code, 17, v.abnormal);
}

void pinIntegrators(sim::MeterModel& m, std::uint32_t code, const Integrators& v) {
  for (std::size_t q = 0; q < 9; ++q)
    m.pinArchive(sim::RecordKind::DayEndTotals, code, static_cast<int>(q), v[q]);
}

// The meter's identification: serial 12345, report day 25, flow limits giving
// the flow decimals 4, 3, 2, 1; heat unit and archive kind as asked.
void pinIdentity(sim::MeterModel& m, bool gigacalories, bool volume) {
  m.pinParameter(0, 12345.0f);
  m.pinParameter(3, 25.0f);
  m.pinParameter(9, gigacalories ? 1.0f : 0.0f);
  m.pinParameter(111, volume ? 1.0f : 0.0f);
  m.pinParameter(10, 5.0f);
  m.pinParameter(20, 50.0f);
  m.pinParameter(30, 500.0f);
  m.pinParameter(40, 5000.0f);
  m.setClock(1104080905, 0);
}

struct SimArchive : ::testing::Test {
  test::TempDir dir;
  std::unique_ptr<PcClock> clock = makeFixedClock({2011, 4, 8, 9, 5, 0, 0});
  std::unique_ptr<test::PtyMeter> meter;
  QtSerialLine line;
  std::unique_ptr<Session> session;
  std::size_t logStart = 0;

  void start(const std::function<void(sim::MeterModel&)>& pin, bool identify = true) {
    meter = std::make_unique<test::PtyMeter>(sim::FaultOptions{}, pin);
    std::filesystem::create_directories(dir.path() / "arc");
    session = std::make_unique<Session>(line, *clock, SessionConfig{dir.path(), NumberStyle{'.'}});
    session->setBreathe([] { QCoreApplication::processEvents(); });
    // With "gsm" the start opens the line and leaves the meter alone.
    StartConnection(*session, {"0", meter->simulator->portPath(), 8, !identify});
    if (identify) {
      ASSERT_TRUE(session->reports.ReportFilesOpen);
    } else {
      session->reports.createAll(dir.path() / "arc", "x");
      session->reports.ReportFilesOpen = true;
    }
    logStart = meter->requests().size();
  }

  // The requests the meter took since the start, in the order it took them.
  std::vector<Request> requests() const {
    std::vector<Request> out;
    const auto all = meter->requests();
    for (std::size_t i = logStart; i < all.size(); ++i) {
      const Frame& f = all[i].request;
      out.push_back({f[2], f[3], f[4], getU32(&f[5])});
    }
    return out;
  }

  std::string reportBytes(ReportKind kind) {
    ReportFile& f = session->reports.file(kind);
    f.commit();
    return test::readFile(f.path());
  }

  void TearDown() override {
    if (session) session->StopConnection();
  }
};

// Hours 0..23 of a day, with the abnormal words given.
std::array<Interval, 24> hoursWith(const std::map<int, std::uint32_t>& words) {
  std::array<Interval, 24> hours;
  for (int h = 0; h < 24; ++h) {
    hours[static_cast<std::size_t>(h)] = test::hourRecord(h);
    const auto it = words.find(h);
    if (it != words.end()) hours[static_cast<std::size_t>(h)].abnormal = it->second;
  }
  return hours;
}

TEST_F(SimArchive, HourlyMassReportOfDayFiveWithItsSectionAndRowDump) {
  const auto hours = hoursWith({{3, 1u << 0}, {5, 1u << 12}, {17, (1u << 6) | (1u << 2)}});
  Interval daily = test::dayRecord(5);
  daily.abnormal = 1u << 9;  // not read by the hourly reading
  start([&](sim::MeterModel& m) {
    pinIdentity(m, false, false);
    for (int h = 0; h < 24; ++h)
      pinInterval(m, 0, dateCode(2011, 4, 5, h), hours[static_cast<std::size_t>(h)]);
    pinInterval(m, 1, dateCode(2011, 4, 5, 23), daily);
    pinIntegrators(m, dateCode(2011, 4, 5, 23), kTotals);
  });
  session->pickedDate = {2011, 4, 5};

  ReadHourlyArchive(*session);
  WriteRowDump(*session);

  std::vector<Request> want;
  for (int h = 0; h < 24; ++h) test::addIntervalRequests(want, 0, dateCode(2011, 4, 5, h), true);
  test::addIntervalRequests(want, 1, dateCode(2011, 4, 5, 23), false);
  test::addIntegratorRequests(want, dateCode(2011, 4, 5, 23));
  EXPECT_EQ(requests(), want);

  ReportLook look;
  auto expected = test::hourlyReport(look, 2011, 4, 5, hours, daily, kTotals);
  ASSERT_EQ(expected.size(), 78u);
  // Row 5 took the day's record after the hour lines were written.
  auto rows = hours;
  rows[5] = daily;
  const auto dump = test::rowDump(look.slots, rows);
  expected.insert(expected.end(), dump.begin(), dump.end());
  const std::string bytes = reportBytes(ReportKind::Hourly);
  EXPECT_TRUE(reportIs(bytes, expected));
  const auto lines = fileLines(bytes);
  ASSERT_EQ(lines.size(), 78u + 24u);
  EXPECT_EQ(lines[7 + 5].size(), 154u);  // hour 5: the asterisk
  EXPECT_EQ(lines[7 + 6].size(), 153u);
  // Row 5 keeps hour 5's word: the section lists it.
  EXPECT_EQ(session->archive.AbnormalWord[5], 1u << 12);
  EXPECT_EQ(session->operationStatus(), "Архивы записаны");
}

TEST_F(SimArchive, DailyVolumeReportInGigacaloriesForAMonthBeforeThePcs) {
  std::vector<Interval> days(29);
  for (int d = 1; d <= 28; ++d) days[static_cast<std::size_t>(d)] = test::dayRecord(d);
  days[14].abnormal = 1u << 29;
  start([&](sim::MeterModel& m) {
    pinIdentity(m, true, true);
    for (int d = 1; d <= 28; ++d)
      pinInterval(m, 1, dateCode(2011, 2, d, 23), days[static_cast<std::size_t>(d)]);
    pinIntegrators(m, dateCode(2011, 2, 28, 23), kEnd);
    pinIntegrators(m, dateCode(2011, 1, 31, 23), kStart);
  });
  session->pickedDate = {2011, 2, 10};

  ReadDailyArchive(*session);

  std::vector<Request> want;
  for (int d = 1; d <= 28; ++d) test::addIntervalRequests(want, 1, dateCode(2011, 2, d, 23), true);
  test::addIntegratorRequests(want, dateCode(2011, 2, 28, 23));
  test::addIntegratorRequests(want, dateCode(2011, 1, 31, 23));
  EXPECT_EQ(requests(), want);

  ReportLook look;
  look.volume = true;
  look.heatUnit = "Гкал";
  const auto expected = test::dailyReport(look, 2011, 2, days, -1, kEnd, kStart);
  ASSERT_EQ(expected.size(), 40u + 2u * 28u);
  const std::string bytes = reportBytes(ReportKind::Daily);
  EXPECT_TRUE(reportIs(bytes, expected));
  EXPECT_EQ(fileLines(bytes).size(), expected.size());
}

TEST_F(SimArchive, MonthlyRecordWithBitSixWritesTheSectionWithoutACode) {
  Interval record = test::dayRecord(17);
  record.abnormal = 1u << 6;
  start([&](sim::MeterModel& m) {
    pinIdentity(m, false, false);
    pinInterval(m, 2, dateCode(2011, 3, 25, 23), record);
  });
  session->pickedDate = {2011, 3, 15};

  ReadMonthlyArchive(*session);

  std::vector<Request> want;
  test::addIntervalRequests(want, 2, dateCode(2011, 3, 25, 23), true);
  EXPECT_EQ(requests(), want);
  const auto expected = test::monthlyReport(ReportLook{}, 2011, 3, 25, record);
  ASSERT_EQ(expected.size(), 15u);
  EXPECT_TRUE(reportIs(reportBytes(ReportKind::Monthly), expected));
}

TEST_F(SimArchive, HourlyReportBeforeAnyIdentificationHasNoDecimalsAndNoBlanks) {
  const auto hours = hoursWith({});
  const Interval daily = test::dayRecord(8);
  start(
      [&](sim::MeterModel& m) {
        m.setClock(1104080905, 0);
        for (int h = 0; h < 24; ++h)
          pinInterval(m, 0, dateCode(2011, 4, 8, h), hours[static_cast<std::size_t>(h)]);
        pinInterval(m, 1, dateCode(2011, 4, 8, 23), daily);
        pinIntegrators(m, dateCode(2011, 4, 8, 23), kTotals);
      },
      false);
  session->HeatUnitText = " Гдж";
  session->pickedDate = {2011, 4, 8};

  ReadHourlyArchive(*session);

  ReportLook look;
  look.slots = test::Slots{};
  look.serial = "0     ";
  const auto expected = test::hourlyReport(look, 2011, 4, 8, hours, daily, kTotals);
  ASSERT_EQ(expected.size(), 49u);
  const std::string bytes = reportBytes(ReportKind::Hourly);
  EXPECT_TRUE(reportIs(bytes, expected));
  EXPECT_EQ(fromCp1251(fileLines(bytes)[7]).rfind("| 00: | 1 | 12 | 123 | 1235 | 70 | 46 |", 0),
            0u);
}

}  // namespace
}  // namespace vardis
