// The dispatcher's questions to the store: the rounds and their nodes, the
// intervals with abnormal situations, and the consumption of each period.
#include <gtest/gtest.h>

#include "format/calendar.h"
#include "store/dispatch.h"
#include "support/engine_store.h"

namespace vardis::store {
namespace {

constexpr const char* kBefore = "2026-12-08T20:00:00";  // read before the round
constexpr const char* kDuring = "2026-12-09T01:30:00";  // read while the round ran

ArchiveRecord record(const std::string& start, std::optional<std::uint32_t> word, double w1,
                     double m1) {
  ArchiveRecord r;
  r.dateTime = start;
  r.quantities = {{"M1", "t/h", m1}, {"W1", "GJ", w1}};
  r.abnormalWord = word.value_or(0);
  r.abnormalNoReply = !word;
  return r;
}

struct DispatchTest : ::testing::TestWithParam<Engine> {
  test::EngineStore place{GetParam()};
  ReadingStore store{place.location()};
  Database& db = store.database();
  std::int64_t visit = store.beginVisit({kBefore, "/dev/pts/1", 115200, false});

  std::int64_t meter(long long serial, bool volume = false) {
    return store.meter({serial, 0, "GJ", volume, ""}, visit, kBefore);
  }
  void put(std::int64_t m, const std::string& kind, const std::string& period,
           std::vector<ArchiveRecord> records, const char* readAt = kBefore) {
    ArchiveData d;
    d.kind = kind;
    d.period = period;
    d.records = std::move(records);
    store.storeArchive(m, visit, readAt, d);
  }
  void integrators(std::int64_t m, const std::string& day, double q1, double m1,
                   bool q1Missing = false) {
    ArchiveData d;
    d.kind = "daily";
    d.integrators = {{"M1", "t", m1}, {"Q1", "GJ", q1, q1Missing}};
    d.integratorsAt = day;
    store.storeArchive(m, visit, kBefore, d);
  }
  std::int64_t round(const std::string& started, std::vector<RoundNodeRow> nodes) {
    return store.storeRound({started, started.substr(0, 11) + "02:00:00", "/dev/ttyUSB0", "values",
                             0, 9600, std::move(nodes)});
  }
};

RoundNodeRow node(int n, std::optional<long long> serial, const std::string& result) {
  RoundNodeRow r;
  r.node = n;
  r.phone = "ATD" + std::to_string(n);
  r.serial = serial;
  r.result = result;
  return r;
}

TEST_P(DispatchTest, RoundsListFailedNodesFirstAndMetersTakeTheLatestRoundsNode) {
  const auto first = round("2026-12-08T01:00:00", {node(2, 111, "read"), node(1, {}, "no answer"),
                                                   node(4, 333, "read"), node(3, 222, "busy")});
  const auto second = round("2026-12-09T01:00:00", {node(7, 111, "read"), node(2, {}, "busy")});
  EXPECT_EQ(lastRoundId(db), second);
  const auto list = rounds(db, 10);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].id, second);
  EXPECT_FALSE(roundById(db, second + 1));
  std::vector<int> order;
  for (const auto& n : roundNodes(db, first)) order.push_back(n.node);
  EXPECT_EQ(order, (std::vector<int>{1, 3, 2, 4}));
  const auto nodes = meterNodes(db);
  EXPECT_EQ(nodes.size(), 3u);
  EXPECT_EQ(nodes.at(111).node, 7);
  EXPECT_EQ(serialAtNode(db, 2), 111);  // the latest round found no meter there
  EXPECT_EQ(serialAtPhone(db, "ATD7"), 111);
}

TEST_P(DispatchTest, AlarmsAreTheChosenRevisionsWithAWordAndARoundsAreWhatItRead) {
  const auto a = meter(111);
  const auto b = meter(222);
  put(a, "hourly", "2026-12-08",
      {record("2026-12-08T05:00", 0x80000000u, 1, 1), record("2026-12-08T06:00", {}, 1, 1),
       record("2026-12-08T07:00", 4, 1, 1)});
  put(a, "hourly", "2026-12-08", {record("2026-12-08T07:00", 0, 1, 1)}, kDuring);  // cleared
  put(a, "daily", "2026-12", {record("2026-12-05", 8, 1, 1)});
  ArchiveRecord worse = record("2026-12-05", 16, 1, 1);
  worse.quantities[1].noReply = true;  // a later revision with a missing value is not chosen
  put(a, "daily", "2026-12", {worse, record("2026-12-07", 2, 1, 1)}, kDuring);
  put(a, "monthly", "2026-11", {record("", 1, 1, 1)});
  put(b, "hourly", "2026-12-08", {record("2026-12-08T05:00", 3, 1, 1)}, kDuring);
  const auto id = round("2026-12-09T01:00:00", {node(1, 111, "read"), node(2, 222, "partial")});

  auto keys = [](const std::vector<AlarmRow>& rows) {
    std::vector<std::string> out;
    for (const auto& r : rows) out.push_back(std::to_string(r.serial) + " " + r.start);
    return out;
  };
  const auto all = alarms(db, {});
  EXPECT_EQ(keys(all),
            (std::vector<std::string>{"111 2026-12-08T05:00", "222 2026-12-08T05:00",
                                      "111 2026-12-07", "111 2026-12-05", "111 2026-11"}));
  EXPECT_EQ(all[0].word, 0x80000000u);
  EXPECT_EQ(all[3].word, 8u);

  AlarmQuery inRound;
  inRound.round = id;
  const auto brought = alarms(db, inRound);
  EXPECT_EQ(keys(brought), (std::vector<std::string>{"222 2026-12-08T05:00", "111 2026-12-07"}));
  EXPECT_EQ(metersWithAlarms(db, id), 2);
  inRound.round = id + 1;
  EXPECT_TRUE(alarms(db, inRound).empty());

  EXPECT_EQ(keys(alarms(db, {std::nullopt, "2026-11-30", "2026-12-05", {}, 10000})),
            (std::vector<std::string>{"111 2026-12-05", "111 2026-11"}));
  EXPECT_EQ(alarms(db, {std::nullopt, "", "", {}, 2}).size(), 2u);
}

TEST_P(DispatchTest, ConsumptionTakesIntegratorDifferencesElseRecordsElseNothing) {
  const auto m = meter(333);
  integrators(m, "2026-12-01", 1510947.68, 100.5);
  integrators(m, "2026-12-02", 1524106.77, 130.25);
  integrators(m, "2026-12-03", 1524200.5, 131.0, true);
  integrators(m, "2026-12-05", 1524300.0, 140.0);  // no integrators at the end of 12-04
  integrators(m, "2026-12-06", 1524350.25, 150.0);
  put(m, "daily", "2026-12", {record("2026-12-02", 0, 99, 99), record("2026-12-04", 0, 5.5, 2)});
  std::vector<ArchiveRecord> hours;
  for (int h = 0; h < 24; ++h)
    hours.push_back(record(isoMinute({2026, 12, 7}, h, 0), 0, 0.25, h + 0.5));
  put(m, "hourly", "2026-12-07", hours);
  hours.pop_back();  // 12-05: 23 hours are not the day
  for (auto& h : hours) h.dateTime.replace(8, 2, "05");
  put(m, "hourly", "2026-12-05", hours);
  meter(444);  // no data in the range: no rows

  const auto rows = consumption(db, {std::nullopt, "2026-12-02", "2026-12-08", ConsumptionBy::Day});
  ASSERT_EQ(rows.size(), 7u);
  using S = ConsumptionSource;
  std::vector<S> sources;
  for (const auto& r : rows) sources.push_back(r.source);
  EXPECT_EQ(sources, (std::vector<S>{S::Integrators, S::Integrators, S::DailyRecord, S::None,
                                     S::Integrators, S::HourlyRecords, S::None}));
  ASSERT_EQ(rows[0].quantities.size(), 6u);
  EXPECT_EQ(rows[0].quantities[0].name + rows[0].quantities[2].name, "Q1M1");
  EXPECT_EQ(rows[0].quantities[0].value, 13159.09);
  EXPECT_EQ(rows[0].quantities[2].value, 29.75);
  EXPECT_TRUE(rows[1].quantities[0].noReply);  // no good reply at the day's end
  EXPECT_EQ(rows[1].quantities[2].value, 0.75);
  EXPECT_EQ(rows[2].quantities[0].value, 5.5);
  EXPECT_EQ(rows[2].quantities[2].value, 48);
  EXPECT_EQ(rows[4].quantities[0].value, 50.25);
  EXPECT_EQ(rows[5].quantities[0].value, 6);
  EXPECT_EQ(rows[5].quantities[2].value, 288);  // 0.5 + 1.5 + ... + 23.5
  for (const auto& q : rows[6].quantities) EXPECT_TRUE(q.noReply);

  integrators(m, "2026-10-31", 1000.5, 10);
  integrators(m, "2026-11-30", 1500.75, 20);
  put(m, "monthly", "2026-10", {record("", 0, 300, 1.5)});
  std::vector<ArchiveRecord> days;
  for (int d = 1; d <= 30; ++d) days.push_back(record(isoDate(2026, 9, d), 0, 1, 1));
  put(m, "daily", "2026-09", days);
  const auto months = consumption(db, {333, "2026-09-15", "2026-12-01", ConsumptionBy::Month});
  ASSERT_EQ(months.size(), 4u);
  EXPECT_EQ(months[0].source, S::DailyRecords);
  EXPECT_EQ(months[0].quantities[2].value, 720);
  EXPECT_EQ(months[1].source, S::MonthlyRecord);
  EXPECT_EQ(months[1].quantities[2].value, 1.5 * 31 * 24);
  EXPECT_EQ(months[2].source, S::Integrators);
  EXPECT_EQ(months[2].quantities[0].value, 500.25);
  EXPECT_EQ(months[3].source, S::None);  // December is not over
}

VARDIS_ON_BOTH_ENGINES(DispatchTest);

TEST(FormatTableText, ReadsTwentySlotsAndRefusesAnythingElse) {
  std::string text;
  for (int i = 0; i < 20; ++i) text += (i ? "," : "") + std::to_string(i + 1) + "." + "3";
  const FormatTable t = formatTableOf(text);
  EXPECT_EQ(t.slot[16].width, 17);
  EXPECT_EQ(t.slot[19].decimals, 3);
  EXPECT_EQ(formatTableOf(text + ",1.1").slot[0].width, 0);
  EXPECT_EQ(formatTableOf("8.2,8.2").slot[0].width, 0);
  EXPECT_EQ(formatTableOf("").slot[0].width, 0);
}

}  // namespace
}  // namespace vardis::store
