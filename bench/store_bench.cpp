#include "bench/store_bench.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <numbers>
#include <random>

#include "bench/common.h"
#include "store/history.h"
#include "store/missing.h"
#include "store/reading_store.h"

namespace vardis::bench {

namespace {

using store::Day;

constexpr long long kSerial = 40217;
constexpr int kQueryRuns = 7;
constexpr std::size_t kRecordQuantities = 17;
constexpr std::size_t kIntegrators = 9;
// Hours, the day's record and the integrators.
constexpr int kRecordsAnHourlyReading = 26;

const std::array<const char*, kRecordQuantities> kNames{"M1", "M2", "M3", "M4", "T1", "T2",
                                                        "T3", "T4", "P1", "P2", "P3", "P4",
                                                        "W1", "W2", "B1", "B2", "Tc"};
const std::array<const char*, kRecordQuantities> kUnits{
    "t/h", "t/h", "t/h", "t/h", "degC", "degC", "degC", "degC", "MPa",
    "MPa", "MPa", "MPa", "GJ",  "GJ",   "h",    "h",    "h"};
const std::array<const char*, kIntegrators> kIntegratorNames{"M1", "M2", "M3", "M4", "Q1",
                                                             "Q2", "B1", "B2", "Tc"};
const std::array<const char*, kIntegrators> kIntegratorUnits{"t",  "t", "t", "t", "GJ",
                                                             "GJ", "h", "h", "h"};

using Values = std::array<double, kRecordQuantities>;

// The meter sends its interval values as single-precision floats.
double meterFloat(double v) {
  return static_cast<double>(static_cast<float>(v));
}

std::string twoDigits(int n) {
  const char digits[] = {static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10), '\0'};
  return digits;
}

ArchiveRecord record(std::string label, std::string when, const Values& v, std::uint32_t word) {
  ArchiveRecord r;
  r.label = std::move(label);
  r.dateTime = std::move(when);
  for (std::size_t i = 0; i < kRecordQuantities; ++i) {
    r.quantities.push_back({kNames[i], kUnits[i], v[i], false});
  }
  r.abnormalWord = word;
  r.abnormalCodes = abnormalCodeList(word);
  return r;
}

// A substation's meter: heating on channels 1 and 2, hot water on 3 and 4. The
// heating load follows the season and the hour, the hot water the hour, each
// with noise; now and then a power cut or a flow under its limit.
class MeterModel {
 public:
  ArchiveData hourlyReading(const Day& d, int dayOfYear);
  std::vector<Quantity> integrators() const;

 private:
  Values hour(int dayOfYear, int h);
  double noise(double scale) { return scale * noise_(rng_); }

  std::mt19937 rng_{20261207u};
  std::normal_distribution<double> noise_{0, 1};
  std::uniform_real_distribution<double> uniform_{0, 1};
  std::array<double, kIntegrators> totals_{152340.512, 149877.204, 30211.75, 4120.33, 8123.446,
                                           2210.871,   21873.25,   21873.25, 23011.5};
};

Values MeterModel::hour(int dayOfYear, int h) {
  constexpr double kTwoPi = 2 * std::numbers::pi;
  const double load = 0.6 + 0.4 * std::cos(kTwoPi * (dayOfYear - 15) / 365.0);
  const double daily = std::sin(kTwoPi * (h - 7) / 24.0);
  const double water = 1 + 0.6 * std::sin(kTwoPi * (h - 6) / 24.0);
  Values v{};
  v[0] = 14 * load * (1 + 0.15 * daily) + noise(0.08);
  v[1] = 0.985 * v[0] + noise(0.03);
  v[2] = 3.2 * water + noise(0.05);
  v[3] = 0.4 * v[2] + noise(0.02);
  v[4] = 58 + 37 * load + 1.5 * daily + noise(0.2);
  v[5] = 38 + 14 * load + noise(0.2);
  v[6] = 61 + noise(0.3);
  v[7] = 44 + noise(0.3);
  v[8] = 0.62 + noise(0.004);
  v[9] = 0.41 + noise(0.004);
  v[10] = 0.55 + noise(0.003);
  v[11] = 0.38 + noise(0.003);
  v[12] = v[0] * (v[4] - v[5]) * 4.19e-3;
  v[13] = v[2] * (v[6] - v[7]) * 4.19e-3;
  for (std::size_t i = 0; i < 14; ++i) v[i] = meterFloat(v[i]);
  // Run times count tenths of a thousandth of an hour.
  const double run = uniform_(rng_) < 0.002 ? std::round(uniform_(rng_) * 10000) / 10000 : 1.0;
  v[14] = v[15] = v[16] = run;
  return v;
}

ArchiveData MeterModel::hourlyReading(const Day& d, int dayOfYear) {
  ArchiveData a;
  a.kind = "hourly";
  a.period = store::isoText(d);
  a.heatUnit = "GJ";
  Values sum{};
  for (int h = 0; h < 24; ++h) {
    const Values v = hour(dayOfYear, h);
    const std::uint32_t word = uniform_(rng_) < 0.01 ? 1u << 3 : 0u;  // "G2<"
    a.records.push_back(record(twoDigits(h), a.period + "T" + twoDigits(h) + ":00", v, word));
    for (std::size_t i = 0; i < kRecordQuantities; ++i) sum[i] += v[i];
    for (std::size_t k = 0; k < 4; ++k) totals_[k] += v[k];
    for (std::size_t k = 4; k < kIntegrators; ++k) totals_[k] += v[k + 8];
  }
  Values day = sum;
  for (std::size_t i = 0; i < 14; ++i) day[i] = meterFloat(i < 12 ? sum[i] / 24 : sum[i]);
  a.dayRecord.push_back(record("Сут", a.period, day, 0));
  a.integrators = integrators();
  a.integratorsAt = a.period;
  return a;
}

std::vector<Quantity> MeterModel::integrators() const {
  std::vector<Quantity> q;
  for (std::size_t k = 0; k < kIntegrators; ++k) {
    const double divisor = k < 6 ? 1000 : 10000;  // the display decimals
    q.push_back({kIntegratorNames[k], kIntegratorUnits[k],
                 std::round(totals_[k] * divisor) / divisor, false});
  }
  return q;
}

// The daily reading of each month, of the days the hourly readings gave.
std::vector<ArchiveData> dailyReadings(const std::vector<ArchiveData>& hourly,
                                       std::vector<Quantity> start, std::string startAt) {
  std::vector<ArchiveData> out;
  for (const ArchiveData& h : hourly) {
    const std::string month = h.period.substr(0, 7);
    if (out.empty() || out.back().period != month) {
      if (!out.empty()) {
        start = out.back().integrators;
        startAt = out.back().integratorsAt;
      }
      ArchiveData d;
      d.kind = "daily";
      d.period = month;
      d.heatUnit = "GJ";
      d.startIntegrators = start;
      d.startIntegratorsAt = startAt;
      out.push_back(std::move(d));
    }
    ArchiveData& d = out.back();
    d.records.push_back(h.dayRecord.front());
    d.records.back().label = h.period.substr(8, 2);
    d.integrators = h.integrators;
    d.integratorsAt = h.integratorsAt;
  }
  for (ArchiveData& d : out) {
    d.increments = d.integrators;
    for (std::size_t i = 0; i < d.increments.size(); ++i) {
      d.increments[i].value -= d.startIntegrators[i].value;
    }
  }
  return out;
}

// A day read again after its values changed: every value differs.
ArchiveData changed(ArchiveData a) {
  auto shift = [](std::vector<Quantity>& qs) {
    for (Quantity& q : qs) q.value = meterFloat(q.value * 1.0005 + 0.001);
  };
  for (ArchiveRecord& r : a.records) shift(r.quantities);
  for (ArchiveRecord& r : a.dayRecord) shift(r.quantities);
  shift(a.integrators);
  return a;
}

struct Readings {
  std::vector<ArchiveData> hourly;  // the year's days
  std::vector<ArchiveData> daily;   // its months
  std::vector<ArchiveData> later;   // days after the year, for new days
  std::vector<ArchiveData> same;    // days of the year read again
  std::vector<ArchiveData> other;   // the same days with other values
};

Readings makeReadings(int year, int runs) {
  Readings r;
  MeterModel meter;
  const std::vector<Quantity> before = meter.integrators();
  Day d{year, 1, 1};
  for (int n = 0; d.year == year; ++n, d = store::nextDay(d)) {
    r.hourly.push_back(meter.hourlyReading(d, n));
  }
  r.daily = dailyReadings(r.hourly, before, store::isoText(Day{year - 1, 12, 31}));
  for (int n = 0; n < 2 * runs; ++n, d = store::nextDay(d)) {
    r.later.push_back(meter.hourlyReading(d, n));
  }
  for (int i = 0; i < runs; ++i) {
    // Days spread over the year, none twice while runs <= 365.
    const ArchiveData& day = r.hourly[static_cast<std::size_t>(i * 7 + 3) % r.hourly.size()];
    r.same.push_back(day);
    r.other.push_back(changed(day));
  }
  return r;
}

// The last year before this one with 365 days: its hourly records are 8760.
int measuredYear() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  int year = tm.tm_year + 1900 - 1;
  while (store::nextDay(Day{year, 2, 28}).month == 2) --year;
  return year;
}


double timed(const std::function<void()>& f) {
  const Clock::time_point start = Clock::now();
  f();
  return ms(Clock::now() - start);
}

struct Ids {
  std::int64_t meter = 0;
  std::int64_t visit = 0;
};

// A reading is stored on the evening of the day its values end.
std::string readAtOf(const ArchiveData& a) {
  return a.integratorsAt + "T23:30:00";
}

using Expected = std::function<bool(const ArchiveData&, const store::StoredCount&)>;

StoreTimes storeEach(store::ReadingStore& s, const Ids& ids, const std::vector<ArchiveData>& list,
                     std::size_t count, const Expected& expected) {
  std::vector<double> times;
  bool right = true;
  for (std::size_t i = 0; i < count && i < list.size(); ++i) {
    store::StoredCount c;
    times.push_back(
        timed([&] { c = s.storeArchive(ids.meter, ids.visit, readAtOf(list[i]), list[i]); }));
    right = right && expected(list[i], c);
  }
  return timesOf(std::move(times), right);
}

bool allAdded(const ArchiveData&, const store::StoredCount& c) {
  return c.added == kRecordsAnHourlyReading && c.unchanged == 0;
}

bool noneAdded(const ArchiveData&, const store::StoredCount& c) {
  return c.added == 0 && c.unchanged == kRecordsAnHourlyReading;
}

// The days' records are new; the month's end values are the last day's, stored
// with the hourly reading; its start values are new only for January.
bool dailyAdded(const ArchiveData& d, const store::StoredCount& c) {
  const int days = static_cast<int>(d.records.size());
  const int newStart = d.period.ends_with("-01") ? 1 : 0;
  return c.added == days + newStart && c.unchanged == 2 - newStart;
}

long long countOf(store::Database& db, const char* sql) {
  store::Statement q(db, sql);
  return q.step() ? q.integer(0) : 0;
}

void measureSize(store::Database& db, const std::filesystem::path& file, StoreResult& r) {
  db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
  r.fileBytes = std::filesystem::file_size(file);
  std::filesystem::path wal = file;
  wal += "-wal";
  std::error_code ec;
  r.walBytes = std::filesystem::exists(wal, ec) ? std::filesystem::file_size(wal, ec) : 0;
  r.records = countOf(db, "SELECT COUNT(*) FROM records");
  r.values = countOf(db, "SELECT COUNT(*) FROM record_values");
  try {
    store::Statement q(db, "SELECT name, SUM(pgsize) FROM dbstat GROUP BY name ORDER BY 2 DESC");
    while (q.step()) r.tableBytes.emplace_back(q.text(0), q.integer(1));
  } catch (const store::StoreError&) {
    r.tableBytes.clear();  // an SQLite without the dbstat table
  }
}

void measureHistory(store::Database& db, int year, StoreResult& r) {
  const std::string from = store::isoText(Day{year, 1, 1});
  const std::string to = store::isoText(Day{year, 12, 31});
  const store::HistoryRange range{kSerial, from, to};
  std::vector<double> times;
  bool right = true;
  for (int i = 0; i < kQueryRuns; ++i) {
    std::vector<store::MeterArchive> got;
    times.push_back(timed([&] { got = store::archive(db, "hourly", range); }));
    r.queryRecords = r.queryDays = 0;
    for (const auto& m : got) {
      r.queryDays += m.periods.size();
      for (const auto& p : m.periods) r.queryRecords += p.records.size();
    }
    const auto days = static_cast<std::size_t>(r.hourlyReadings);
    right = right && got.size() == 1 && got.front().serial == kSerial && r.queryDays == days &&
            r.queryRecords == 24 * days;
  }
  r.query = timesOf(std::move(times), right);
  times.clear();
  for (int i = 0; i < kQueryRuns; ++i) {
    std::vector<Day> days;
    times.push_back(timed([&] {
      days = store::missingHourlyDays(db, kSerial, Day{year, 1, 1}, Day{year, 12, 31},
                                      Day{year + 1, 1, 1});
    }));
    r.missingDays = days.size();
  }
  r.missing = timesOf(std::move(times), r.missingDays == 0);
}

// The first value of a query without parameters, "" for none.
std::string textOf(store::Database& db, const char* sql) {
  store::Statement q(db, sql);
  return q.step() ? q.text(0) : "";
}

// A year of hourly and daily readings into a fresh store of either engine.
Ids storeYear(store::ReadingStore& s, const Readings& y, StoreResult& r) {
  const std::string started = store::isoText(Day{r.year, 1, 1}) + "T09:00:00";
  Ids ids;
  ids.visit = s.beginVisit({started, "/dev/ttyUSB0", 9600, false});
  std::string formats = "8.3";
  for (int slot = 1; slot < 20; ++slot) formats += ",8.3";
  ids.meter = s.meter({kSerial, 1, "GJ", false, formats}, ids.visit, started);
  r.fill = storeEach(s, ids, y.hourly, y.hourly.size(), allAdded);
  r.daily = storeEach(s, ids, y.daily, y.daily.size(), dailyAdded);
  r.hourlyReadings = static_cast<int>(y.hourly.size());
  r.dailyReadings = static_cast<int>(y.daily.size());
  return ids;
}

// The year into a fresh file, then its size and its history; the store stays
// open for the runs that follow.
Ids fillYear(store::ReadingStore& s, const std::filesystem::path& file, const Readings& y,
             StoreResult& r) {
  r.sqliteVersion = textOf(s.database(), "SELECT sqlite_version()");
  const Ids ids = storeYear(s, y, r);
  measureSize(s.database(), file, r);
  measureHistory(s.database(), r.year, r);
  return ids;
}

// vardis-cli opens the store for its run and closes it at the end; the last
// connection to close checkpoints the log into the file.
void oneReadingEach(const std::filesystem::path& file, const Ids& ids,
                    const std::vector<ArchiveData>& list, std::size_t first, StoreResult& r) {
  std::vector<double> open, stored, close, whole;
  bool right = true;
  for (std::size_t i = first; i < list.size(); ++i) {
    const Clock::time_point start = Clock::now();
    auto s = std::make_unique<store::ReadingStore>(file);
    const Clock::time_point opened = Clock::now();
    const store::StoredCount c = s->storeArchive(ids.meter, ids.visit, readAtOf(list[i]), list[i]);
    const Clock::time_point done = Clock::now();
    s.reset();
    const Clock::time_point closed = Clock::now();
    open.push_back(ms(opened - start));
    stored.push_back(ms(done - opened));
    close.push_back(ms(closed - done));
    whole.push_back(ms(closed - start));
    right = right && allAdded(list[i], c);
  }
  r.openStore = timesOf(std::move(open), true);
  r.storeOnce = timesOf(std::move(stored), right);
  r.closeStore = timesOf(std::move(close), true);
  r.oneReading = timesOf(std::move(whole), right);
}

}  // namespace

StoreTimes timesOf(std::vector<double> ms, bool right) {
  std::sort(ms.begin(), ms.end());
  StoreTimes t;
  t.runs = static_cast<int>(ms.size());
  t.right = right;
  if (ms.empty()) return t;
  t.p50 = ms[(ms.size() + 1) / 2 - 1];  // nearest rank, as the speed table takes it
  t.max = ms.back();
  return t;
}

YearReadings yearReadings() {
  const int year = measuredYear();
  Readings r = makeReadings(year, 1);
  return {year, std::move(r.hourly), std::move(r.daily)};
}

StoreResult measureStore(const Options& o) {
  StoreResult r;
  r.year = measuredYear();
  const Readings y = makeReadings(r.year, o.storeRuns);
  const auto runs = static_cast<std::size_t>(o.storeRuns);
  TempFolder folder;
  const std::filesystem::path file = store::storeFile(folder.path());
  Ids ids;
  {
    store::ReadingStore s(file);
    ids = fillYear(s, file, y, r);
    r.newDay = storeEach(s, ids, y.later, runs, allAdded);
    r.sameDay = storeEach(s, ids, y.same, runs, noneAdded);
    r.otherDay = storeEach(s, ids, y.other, runs, allAdded);
  }
  oneReadingEach(file, ids, y.later, runs, r);
  return r;
}

StoreResult measureServerStore(const Options& o, const store::StoreLocation& location) {
  StoreResult r;
  r.year = measuredYear();
  const Readings y = makeReadings(r.year, o.storeRuns);
  store::ReadingStore s(location);
  r.serverVersion = textOf(s.database(), "SHOW server_version");
  const Ids ids = storeYear(s, y, r);
  r.records = countOf(s.database(), "SELECT COUNT(*) FROM records");
  r.values = countOf(s.database(), "SELECT COUNT(*) FROM record_values");
  measureHistory(s.database(), r.year, r);
  const auto runs = static_cast<std::size_t>(o.storeRuns);
  r.newDay = storeEach(s, ids, y.later, runs, allAdded);
  r.sameDay = storeEach(s, ids, y.same, runs, noneAdded);
  return r;
}

}  // namespace vardis::bench
