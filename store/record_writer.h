// Writes one archive record as a revision: a record read again with the same
// values changes nothing; with other values it is added beside the old one.
// For the store's own use, inside its transactions.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archives/archive_data.h"
#include "store/sqlite_db.h"

namespace vardis::store {

// What a stored value becomes: NULL without a good reply (and for a NaN, which
// is no number either).
std::optional<double> storedValue(const Quantity& q);

// The quantities of a stored row read back by `values` (name, unit, value by
// position, its parameter 1 the row's id); NULL comes back without a good reply.
std::vector<Quantity> storedQuantities(Statement& values, std::int64_t id);

struct RecordKey {
  std::int64_t meter = 0;
  std::int64_t visit = 0;
  std::string readAt;
};

struct RecordRow {
  std::string kind;   // "hourly", "daily", "monthly", "hourly-day", "integrators"
  std::string start;  // the interval's start, ISO 8601
  std::string label;
  std::optional<std::uint32_t> abnormalWord;  // nothing: not read, or no good reply
  bool abnormalMissing = false;               // the word was read without a good reply
  const std::vector<Quantity>* quantities = nullptr;
};

class RecordWriter {
 public:
  explicit RecordWriter(Database& db);
  // True when a revision was added. `fresh`: the store is known to hold no
  // record of this start, so none is looked for.
  bool store(const RecordKey& key, const RecordRow& row, bool fresh = false);
  // Whether the store holds no record of the meter and kind starting from
  // `from` to `to` (ISO texts): a whole new reading is stored without looking
  // for each record's earlier revision.
  bool noneStored(std::int64_t meter, const std::string& kind, const std::string& from,
                  const std::string& to);

 private:
  bool sameAsLatest(std::int64_t id, const RecordRow& row);
  // One INSERT of `count` values: a record's values go to the store in one
  // statement, not one a value (a server's round trip each).
  Statement& valuesInsert(std::size_t count);

  Database& db_;
  Statement latest_;
  Statement values_;
  Statement insert_;
  Statement any_;
  std::map<std::size_t, std::unique_ptr<Statement>> valueInserts_;
};

}  // namespace vardis::store
