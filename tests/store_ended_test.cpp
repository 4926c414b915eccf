// Only intervals that are over are readings: what the meter answers for an
// hour, a day or a month still running is reported but never stored, and
// --missing reads it once it is over, as it reads again every period the
// store does not hold with all its values.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <set>

#include "link/frame.h"
#include "store/reading_store.h"
#include "support/cli_runner.h"
#include "support/pty_meter.h"
#include "support/store_sql.h"
#include "support/temp_dir.h"

namespace vardis {
namespace {

namespace fs = std::filesystem;
using test::archiveDaysAsked;
using test::sqlExec;
using test::sqlValue;

fs::path dataDir(const test::TempDir& dir) {
  fs::create_directories(dir.path() / "arc");
  return dir.path();
}

// The meter's clock, standing still at a packed date-time.
std::function<void(sim::MeterModel&)> meterClockAt(std::uint32_t packed) {
  return [packed](sim::MeterModel& m) {
    m.setClock(packed, 0);
    m.setClockRunning(false);
  };
}

std::string count(const fs::path& dir, const std::string& where) {
  return sqlValue(dir, "SELECT count(DISTINCT kind || start) FROM records WHERE " + where);
}

// At 14:30 on the 8th: hours 00 to 13 and days 1 to 7 are readings, the rest
// is reported and exported as the meter sent it, marked as not ended, and
// not stored; the next day --missing reads what is still lacking.
TEST(StoreEnded, OnlyIntervalsThatAreOverAreStoredAndMissingReadsTheRestLater) {
  test::PtyMeter meter({}, meterClockAt(1104081430));
  test::TempDir dir;
  const auto port = meter.simulator->portPath();
  const fs::path json = dir.path() / "read.json";
  const auto r = test::runCli(
      port, dataDir(dir), "2011-04-08 14:30",
      {"--format", "json", "--out", json.string(), "hourly", "2011-04-08", "daily", "2011-04-08"});
  ASSERT_EQ(r.status, cli::kExitOk) << r.err;

  EXPECT_EQ(count(dir.path(), "kind = 'hourly'"), "14");
  EXPECT_EQ(sqlValue(dir.path(), "SELECT max(start) FROM records WHERE kind = 'hourly'"),
            "2011-04-08T13:00");
  EXPECT_EQ(count(dir.path(), "kind = 'hourly-day'"), "0");
  EXPECT_EQ(count(dir.path(), "kind = 'daily'"), "7");
  EXPECT_EQ(sqlValue(dir.path(), "SELECT max(start) FROM records WHERE kind = 'daily'"),
            "2011-04-07");
  // The end values of the running month are those of the 7th; the start values the 31st's.
  EXPECT_EQ(sqlValue(dir.path(),
                     "SELECT group_concat(start, ' ') FROM (SELECT DISTINCT start FROM records "
                     "WHERE kind = 'integrators' ORDER BY start)"),
            "2011-03-31 2011-04-07");

  const QJsonObject doc =
      QJsonDocument::fromJson(QByteArray::fromStdString(test::readFile(json))).object();
  const QJsonObject hourly = doc["exports"].toArray().at(0).toObject();
  const QJsonArray hours = hourly["records"].toArray();
  ASSERT_EQ(hours.size(), 24);
  EXPECT_TRUE(hours.at(13).toObject()["ended"].toBool());
  EXPECT_FALSE(hours.at(14).toObject()["ended"].toBool());
  EXPECT_TRUE(hours.at(14).toObject()["quantities"].toArray().at(0)["value"].isDouble());
  EXPECT_FALSE(hourly["dayRecord"].toObject()["ended"].toBool());
  EXPECT_FALSE(hourly["integrators"].toObject()["ended"].toBool());

  meter.simulator->withModel([](sim::MeterModel& m) { m.setClock(1104091000, 0); });
  const std::size_t before = meter.requests().size();
  const auto next = test::runCli(port, dir.path(), "2011-04-09 10:00",
                                 {"hourly", "--missing", "--from", "2011-04-08", "--to",
                                  "2011-04-08", "daily", "--missing", "--from", "2011-04-01"});
  ASSERT_EQ(next.status, cli::kExitOk) << next.err;
  EXPECT_TRUE(archiveDaysAsked(meter, before).count(8));
  EXPECT_EQ(count(dir.path(), "kind = 'hourly' AND start LIKE '2011-04-08%'"), "24");
  EXPECT_EQ(count(dir.path(), "kind = 'hourly-day'"), "1");
  EXPECT_EQ(count(dir.path(), "kind = 'daily'"), "8");
}

// The meter's clock behind the PC's: its own hours that have not passed are
// no readings either.
TEST(StoreEnded, AMeterClockBehindThePcsHoldsBackItsRunningHours) {
  test::PtyMeter meter({}, meterClockAt(1104081210));
  test::TempDir dir;
  const auto r = test::runCli(meter.simulator->portPath(), dataDir(dir), "2011-04-08 14:30",
                              {"clock", "hourly", "2011-04-08"});
  ASSERT_EQ(r.status, cli::kExitOk) << r.err;
  EXPECT_EQ(count(dir.path(), "kind = 'hourly'"), "12");
}

// A day whose own record or integrators lack a value is read again by
// --missing, and then holds every value.
TEST(StoreEnded, MissingReadsAgainADayWhoseDayRecordOrIntegratorsLackAValue) {
  test::PtyMeter meter({}, meterClockAt(1104101200));
  test::TempDir dir;
  const auto port = meter.simulator->portPath();
  const char* pc = "2011-04-10 12:00";
  // After the identification's 8 requests and the 504 of the hours: the day
  // record's M3 (its third request), or the integrators' Q1 (their fifth).
  for (const auto& [day, offset] : {std::pair{"2011-04-07", 20 + 4}, std::pair{"2011-04-08", 2}}) {
    sim::FaultOptions aimed;
    aimed.corruptAt = static_cast<unsigned>(meter.requests().size() + 8 + 504 + offset + 1);
    aimed.corruptRun = 13;
    meter.simulator->setFaults(aimed);
    EXPECT_EQ(test::runCli(port, dataDir(dir), pc, {"hourly", day}).status, cli::kExitLinkFault);
    meter.simulator->setFaults({});
  }
  EXPECT_EQ(sqlValue(dir.path(), "SELECT count(*) FROM records WHERE missing > 0"), "2");

  const std::vector<std::string> missing{"hourly",     "--missing", "--from",
                                         "2011-04-07", "--to",      "2011-04-08"};
  std::size_t before = meter.requests().size();
  ASSERT_EQ(test::runCli(port, dir.path(), pc, missing).status, cli::kExitOk);
  EXPECT_EQ(archiveDaysAsked(meter, before), (std::set<int>{7, 8}));
  for (const char* kind : {"hourly-day", "integrators"}) {
    EXPECT_EQ(sqlValue(dir.path(), std::string("SELECT count(DISTINCT start) FROM records WHERE "
                                               "missing = 0 AND kind = '") +
                                       kind + "'"),
              "2")
        << kind;
  }
  before = meter.requests().size();
  ASSERT_EQ(test::runCli(port, dir.path(), pc, missing).status, cli::kExitOk);
  EXPECT_EQ(archiveDaysAsked(meter, before), std::set<int>{});
}

// A store written before running intervals were held back loses the records
// read before their interval ended, and keeps every other.
TEST(StoreEnded, UpgradingAStoreDropsTheRecordsReadBeforeTheirIntervalEnded) {
  test::PtyMeter meter({}, meterClockAt(1104101200));
  test::TempDir dir;
  ASSERT_EQ(test::runCli(meter.simulator->portPath(), dataDir(dir), "2011-04-10 12:00",
                         {"hourly", "2011-04-09", "monthly", "2011-03-01"})
                .status,
            cli::kExitOk);
  // As an earlier version stored them: read at 12:00 on the 9th.
  sqlExec(dir.path(),
          "UPDATE records SET read_at = '2011-04-09T12:00:00' WHERE kind != 'monthly'; "
          "DROP INDEX records_by_read; DROP TABLE shared_nodes; DROP TABLE shared_rounds; ALTER TABLE round_nodes DROP COLUMN host; "
          "ALTER TABLE rounds DROP COLUMN address; ALTER TABLE rounds DROP COLUMN baud; "
          "PRAGMA user_version = 2");
  { store::ReadingStore upgraded(dir.path() / store::kStoreFileName); }
  EXPECT_EQ(count(dir.path(), "kind = 'hourly'"), "12");
  EXPECT_EQ(sqlValue(dir.path(), "SELECT max(start) FROM records WHERE kind = 'hourly'"),
            "2011-04-09T11:00");
  EXPECT_EQ(count(dir.path(), "kind IN ('hourly-day', 'integrators')"), "0");
  EXPECT_EQ(count(dir.path(), "kind = 'monthly'"), "1");
  EXPECT_EQ(sqlValue(dir.path(),
                     "SELECT count(*) FROM record_values WHERE record_id NOT IN "
                     "(SELECT id FROM records)"),
            "0");
}

}  // namespace
}  // namespace vardis
