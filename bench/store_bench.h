// The store measured on its own, without a meter: how long storing an hourly
// reading takes in a store that holds a year, how long the history of that
// year takes to read back, and how large a meter-year of records is on disk;
// the same readings and history also in a PostgreSQL database.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "archives/archive_data.h"
#include "bench/options.h"
#include "store/store_location.h"

namespace vardis::bench {

// Milliseconds over the runs of one case.
struct StoreTimes {
  int runs = 0;
  double p50 = 0;
  double max = 0;
  bool right = true;  // every run stored or read what it should have
};

// The times of the runs as their p50 (nearest rank, as the speed table takes
// it) and max; `right` as given.
StoreTimes timesOf(std::vector<double> ms, bool right);

struct StoreResult {
  int year = 0;
  std::string sqliteVersion;
  std::string serverVersion;  // PostgreSQL's SHOW server_version
  // The store kept open, as the window program keeps it.
  StoreTimes fill;      // the year's hourly readings, day by day, into a growing store
  StoreTimes daily;     // the year's daily readings, a month each
  StoreTimes newDay;    // a day not in the store yet, the year in it
  StoreTimes sameDay;   // a day of the year read again with the same values
  StoreTimes otherDay;  // a day of the year read again with other values
  // vardis-cli's way: open the store, store a new day, close it (the last
  // connection to close checkpoints the log into the file).
  StoreTimes openStore, storeOnce, closeStore, oneReading;
  // The history of the year.
  StoreTimes query;  // store::archive, hourly, one meter, the whole year
  std::size_t queryRecords = 0;
  std::size_t queryDays = 0;
  StoreTimes missing;  // store::missingHourlyDays over the year
  std::size_t missingDays = 0;
  // The file after the year's hourly and daily readings, checkpointed.
  int hourlyReadings = 0;
  int dailyReadings = 0;
  std::uintmax_t fileBytes = 0;
  std::uintmax_t walBytes = 0;
  long long records = 0;
  long long values = 0;
  std::vector<std::pair<std::string, long long>> tableBytes;  // empty without dbstat
};

// The measured year of the benchmark's meter (the last one of 365 days): a
// day's hourly reading for each day and a daily reading for each month.
struct YearReadings {
  int year = 0;
  std::vector<ArchiveData> hourly;
  std::vector<ArchiveData> daily;
};
YearReadings yearReadings();

// Measures in a temporary folder of its own. Throws vardis::store::StoreError
// when the store cannot be written.
StoreResult measureStore(const Options& o);

// The same readings into a PostgreSQL database (empty, or made by the store):
// the year's days, a new day and a day read again with the year in it, and
// the year's history. The SQLite parts (the file's size, its tables, opening
// and closing a file) are left out; records and values are counted.
StoreResult measureServerStore(const Options& o, const store::StoreLocation& location);

}  // namespace vardis::bench
