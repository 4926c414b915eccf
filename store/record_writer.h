// Writes one archive record as a revision: a record read again with the same
// values changes nothing; with other values it is added beside the old one.
// For the store's own use, inside its transactions.
#pragma once

#include <cstdint>
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
  // True when a revision was added.
  bool store(const RecordKey& key, const RecordRow& row);

 private:
  bool sameAsLatest(std::int64_t id, const RecordRow& row);

  Statement latest_;
  Statement values_;
  Statement insert_;
  Statement insertValue_;
};

}  // namespace vardis::store
