// The store's own rules: revisions, the latest good record, missing values,
// what --missing reads, a round's same-day skip, and the schema's versions.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <thread>

#include "params/parameter_table.h"
#include "store/history.h"
#include "store/missing.h"
#include "store/reading_store.h"
#include "store/schema.h"
#include "support/engine_store.h"
#include "support/pg_server.h"
#include "support/temp_dir.h"

namespace vardis::store {
namespace {

// An hourly reading of one day: hour h's M1 is h + 0.1, the rest fixed.
ArchiveData hourlyDay(const std::string& day) {
  ArchiveData d;
  d.kind = "hourly";
  d.period = day;
  d.heatUnit = "GJ";
  for (int h = 0; h < 24; ++h) {
    ArchiveRecord r;
    r.label = (h < 10 ? "0" : "") + std::to_string(h);
    r.dateTime = day + "T" + r.label + ":00";
    r.quantities = {{"M1", "t/h", h + 0.1}, {"T1", "degC", 70.25}};
    d.records.push_back(r);
  }
  return d;
}

struct StoreTest : ::testing::TestWithParam<Engine> {
  test::EngineStore place{GetParam()};
  ReadingStore store{place.location()};
  std::int64_t visit = store.beginVisit({"2011-04-10T12:00:00", "/dev/pts/1", 115200, false});
  std::int64_t meter = store.meter({12345, 0, "GJ", false, ""}, visit, "2011-04-10T12:00:00");

  ArchiveData stored(const std::string& day) {
    auto all = archive(store.database(), "hourly", {12345, day, day});
    return all.empty() || all[0].periods.empty() ? ArchiveData{} : all[0].periods[0];
  }
};

TEST_P(StoreTest, EqualReadsChangeNothingOtherValuesAreKeptBesideTheOld) {
  ArchiveData d = hourlyDay("2011-04-09");
  EXPECT_EQ(store.storeArchive(meter, visit, "t1", d).added, 24);
  EXPECT_EQ(store.storeArchive(meter, visit, "t2", d).unchanged, 24);

  d.records[3].quantities[0].value = 7.5;  // the meter's record changed
  const StoredCount c = store.storeArchive(meter, visit, "t3", d);
  EXPECT_EQ(c.added, 1);
  EXPECT_EQ(c.unchanged, 23);
  EXPECT_EQ(stored("2011-04-09").records[3].quantities[0].value, 7.5);

  // A later reading without a good reply, or with a NaN, never hides the good one.
  d.records[3].quantities[0].noReply = true;
  d.records[4].quantities[1].value = std::nan("");
  store.storeArchive(meter, visit, "t4", d);
  const ArchiveData back = stored("2011-04-09");
  ASSERT_EQ(back.records.size(), 24u);
  EXPECT_EQ(back.records[3].quantities[0].value, 7.5);
  EXPECT_FALSE(back.records[3].quantities[0].noReply);
  EXPECT_EQ(back.records[4].quantities[1].value, 70.25);
  EXPECT_EQ(back.records[5].quantities[0].value, 5.1);
}

TEST_P(StoreTest, AValueWithoutAGoodReplyIsStoredAsMissingAndComesBackSo) {
  ArchiveData d = hourlyDay("2011-04-09");
  d.records[5].quantities[0].noReply = true;
  d.records[5].abnormalNoReply = true;
  store.storeArchive(meter, visit, "t1", d);
  const ArchiveData back = stored("2011-04-09");
  EXPECT_TRUE(back.records[5].quantities[0].noReply);
  EXPECT_TRUE(back.records[5].abnormalNoReply);
  EXPECT_FALSE(back.records[6].abnormalNoReply);

  ParameterTable p;
  p.store(0, 12345.0f);
  p.store(1, 3.0f, false);
  store.storeParameters(meter, visit, "t2", p, 123);
  store.storeParameters(meter, visit, "t3", p, 123);  // the same again: nothing new
  const auto sets = parameterSets(store.database(), {});
  ASSERT_EQ(sets.size(), 1u);
  ASSERT_EQ(sets[0].values.size(), 123u);
  EXPECT_EQ(sets[0].values[0], std::optional<double>(12345.0));
  EXPECT_FALSE(sets[0].values[1].has_value());
}

// The same with the day's own record and the integrators at its end.
ArchiveData wholeHourlyDay(const std::string& day) {
  ArchiveData d = hourlyDay(day);
  ArchiveRecord own;
  own.label = "Сут";
  own.dateTime = day;
  own.quantities = {{"M1", "t/h", 12.5}, {"T1", "degC", 70.25}};
  d.dayRecord.push_back(own);
  d.integrators = {{"M1", "t", 1234.5}, {"Q1", "GJ", 99.5}};
  d.integratorsAt = day;
  return d;
}

TEST_P(StoreTest, MissingDaysAreTheIncompleteOnesAndTodayIsNeverComplete) {
  store.storeArchive(meter, visit, "t", wholeHourlyDay("2011-04-07"));
  ArchiveData lostDayRecordValue = wholeHourlyDay("2011-04-05");
  lostDayRecordValue.dayRecord[0].quantities[1].noReply = true;
  store.storeArchive(meter, visit, "t", lostDayRecordValue);
  ArchiveData withoutTotals = wholeHourlyDay("2011-04-04");
  withoutTotals.integrators.clear();
  store.storeArchive(meter, visit, "t", withoutTotals);
  ArchiveData withHole = hourlyDay("2011-04-08");
  withHole.records[23].quantities[1].noReply = true;
  store.storeArchive(meter, visit, "t", withHole);
  store.storeArchive(meter, visit, "t", hourlyDay("2011-04-10"));
  ArchiveData shortDay = hourlyDay("2011-04-09");
  shortDay.records.pop_back();
  store.storeArchive(meter, visit, "t", shortDay);

  const auto days =
      missingHourlyDays(store.database(), 12345, {2011, 4, 4}, {2011, 4, 10}, {2011, 4, 10});
  std::vector<std::string> texts;
  for (const Day& d : days) texts.push_back(isoText(d));
  EXPECT_EQ(texts, (std::vector<std::string>{"2011-04-04", "2011-04-05", "2011-04-06", "2011-04-08",
                                             "2011-04-09", "2011-04-10"}));
  // Another meter's records count for nothing.
  EXPECT_EQ(
      missingHourlyDays(store.database(), 777, {2011, 4, 7}, {2011, 4, 7}, {2011, 4, 10}).size(),
      1u);
  // Months: February 2011 is over but empty, April is still running.
  const auto months =
      missingDailyMonths(store.database(), 12345, {2011, 2, 20}, {2011, 4, 2}, {2011, 4, 10});
  ASSERT_EQ(months.size(), 3u);
  EXPECT_EQ(isoText(months[0]), "2011-02-01");
  EXPECT_EQ(isoText(months[2]), "2011-04-01");
}

// A month is held when every day of it and its start values are.
TEST_P(StoreTest, AMonthWithoutItsStartValuesIsMissing) {
  auto march = [](bool withStart) {
    ArchiveData d;
    d.kind = "daily";
    d.period = "2011-03";
    for (int day = 1; day <= 31; ++day) {
      ArchiveRecord r;
      r.label = (day < 10 ? "0" : "") + std::to_string(day);
      r.dateTime = "2011-03-" + r.label;
      r.quantities = {{"M1", "t/h", day + 0.5}};
      d.records.push_back(r);
    }
    d.integrators = {{"M1", "t", 2000.5}};
    d.integratorsAt = "2011-03-31";
    if (withStart) d.startIntegrators = {{"M1", "t", 1000.5}};
    d.startIntegratorsAt = "2011-02-28";
    return d;
  };
  const auto missing = [&] {
    return missingDailyMonths(store.database(), 12345, {2011, 3, 1}, {2011, 3, 31}, {2011, 4, 10})
        .size();
  };
  store.storeArchive(meter, visit, "t", march(false));
  EXPECT_EQ(missing(), 1u);
  store.storeArchive(meter, visit, "t2", march(true));
  EXPECT_EQ(missing(), 0u);
}

// A round of one node at 09:00 on the 10th, read with "values" at address 0, 9600 baud.
RoundRow roundAt(int address, int baud) {
  RoundRow r{
      "2011-04-10T09:00:00", "2011-04-10T09:05:00", "/dev/ttyUSB0", "values", address, baud, {}};
  RoundNodeRow n;
  n.node = 3;
  n.name = "Boiler house";
  n.phone = "89001234567";
  n.result = "read";
  r.nodes.push_back(n);
  return r;
}

std::string countOf(Database& db, const std::string& table) {
  Statement q(db, ("SELECT count(*) FROM " + table).c_str());
  q.step();
  return q.text(0);
}

TEST_P(StoreTest, ARoundIsSkippedOnlyAtTheSameAddressAndSpeed) {
  store.storeRound(roundAt(0, 9600));
  const std::string phone = "89001234567";
  EXPECT_TRUE(store.nodeReadOn(phone, "values", 0, 9600, "2011-04-10"));
  EXPECT_FALSE(store.nodeReadOn(phone, "values", 1, 9600, "2011-04-10"));
  EXPECT_FALSE(store.nodeReadOn(phone, "values", 0, 19200, "2011-04-10"));
  EXPECT_FALSE(store.nodeReadOn(phone, "values", 0, 9600, "2011-04-11"));
  EXPECT_FALSE(store.nodeReadOn(phone, "values hourly", 0, 9600, "2011-04-10"));
}

TEST_P(StoreTest, ARoundWithTheSameNodeTwiceIsNotStoredAtAll) {
  RoundRow twice = roundAt(0, 9600);
  twice.nodes.push_back(twice.nodes[0]);
  EXPECT_THROW(store.storeRound(twice), StoreError);
  EXPECT_EQ(countOf(store.database(), "rounds"), "0");
  EXPECT_EQ(countOf(store.database(), "round_nodes"), "0");
  EXPECT_FALSE(store.nodeReadOn("89001234567", "values", 0, 9600, "2011-04-10"));
  // The transaction is over: the next round is stored.
  store.storeRound(roundAt(0, 9600));
  EXPECT_EQ(countOf(store.database(), "round_nodes"), "1");
}

VARDIS_ON_BOTH_ENGINES(StoreTest);

// A store of version 3 kept no address and speed of a round: once upgraded,
// such a round is nobody's earlier reading, whatever is asked.
TEST(StoreSchema, ARoundStoredBeforeAddressAndSpeedWereKeptNeverMatches) {
  test::TempDir dir;
  const auto file = storeFile(dir.path());
  {
    ReadingStore s(file);
    s.storeRound(roundAt(0, 0));
    s.database().exec(
        "DROP INDEX records_by_read; DROP TABLE shared_nodes; DROP TABLE shared_rounds; "
        "ALTER TABLE round_nodes DROP COLUMN host; "
        "ALTER TABLE rounds DROP COLUMN address; ALTER TABLE rounds DROP COLUMN baud; "
        "PRAGMA user_version = 3");
  }
  ReadingStore upgraded(file);
  EXPECT_EQ(storedVersion(upgraded.database()), schemaVersion());
  EXPECT_EQ(countOf(upgraded.database(), "round_nodes"), "1");
  for (const int baud : {0, 9600}) {
    EXPECT_FALSE(upgraded.nodeReadOn("89001234567", "values", 0, baud, "2011-04-10")) << baud;
  }
}

TEST(StoreSchema, AnEmptyFileIsBroughtToThisVersionAndANewerOneIsRefused) {
  test::TempDir dir;
  const auto file = storeFile(dir.path());
  std::ofstream(file).close();  // version 0: no tables
  { ReadingStore s(file); }
  {
    SqliteDatabase db(file, false, 100);
    EXPECT_EQ(storedVersion(db), schemaVersion());
    db.exec("PRAGMA user_version = 1000");
  }
  try {
    ReadingStore s(file);
    FAIL() << "a store of a newer version was opened";
  } catch (const StoreError& e) {
    EXPECT_EQ(e.fault(), StoreFault::Newer);
  }
}

// A store this user cannot write is refused when opened, not when the first
// reading is half stored. Root writes anything: the check then runs as nobody,
// who, depending on the folders above, may not even reach the file.
TEST(StoreSchema, AStoreThatCannotBeWrittenIsRefusedAtOnce) {
  test::TempDir dir;
  const auto file = storeFile(dir.path());
  { ReadingStore s(file); }
  ::chmod(file.c_str(), 0444);
  ::chmod(dir.path().c_str(), 0555);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && ::setuid(65534) != 0) ::_exit(3);
    try {
      ReadingStore s(file);
    } catch (const StoreError& e) {
      ::_exit(10 + static_cast<int>(e.fault()));
    }
    ::_exit(2);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ::chmod(dir.path().c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  const int code = WEXITSTATUS(status);
  EXPECT_TRUE(code == 10 + static_cast<int>(StoreFault::ReadOnly) ||
              code == 10 + static_cast<int>(StoreFault::CannotOpen))
      << code << " (2: opened, 3: could not drop root, 10 + the fault otherwise)";
}

}  // namespace
}  // namespace vardis::store

namespace vardis::store {
namespace {

// Two programs that store their first reading at the same moment both create
// the store: neither is refused.
TEST(StoreSchema, TwoProgramsCreatingTheStoreAtOnceBothSucceed) {
  for (int round = 0; round < 20; ++round) {
    test::TempDir dir;
    std::atomic<int> opened{0};
    std::atomic<bool> go{false};
    auto open = [&] {
      while (!go.load()) {
      }
      try {
        ReadingStore s(storeFile(dir.path()));
        s.beginVisit({"2011-04-10T12:00:00", "p", 9600, false});
        ++opened;
      } catch (const StoreError& e) {
        ADD_FAILURE() << e.what();
      }
    };
    std::thread a(open), b(open);
    go = true;
    a.join();
    b.join();
    ASSERT_EQ(opened.load(), 2) << "round " << round;
  }
}

// The same for two programs bringing one PostgreSQL database up at once.
TEST(StoreSchema, TwoProgramsMigratingOneServerDatabaseAtOnceBothSucceed) {
  for (int round = 0; round < 5; ++round) {
    test::PgTestDatabase pg;
    std::atomic<int> opened{0};
    auto open = [&] {
      try {
        ReadingStore s(pg.location());
        s.beginVisit({"2011-04-10T12:00:00", "p", 9600, false});
        ++opened;
      } catch (const StoreError& e) {
        ADD_FAILURE() << e.what();
      }
    };
    std::thread a(open), b(open);
    a.join();
    b.join();
    ASSERT_EQ(opened.load(), 2) << "round " << round;
    EXPECT_EQ(pg.sql("SELECT count(*) FROM visits"), "2");
    EXPECT_EQ(pg.sql("SELECT max(version) FROM schema_version"), std::to_string(schemaVersion()));
  }
}

}  // namespace
}  // namespace vardis::store
