#include "store/record_writer.h"

#include <cmath>

namespace vardis::store {

std::optional<double> storedValue(const Quantity& q) {
  if (q.noReply || std::isnan(q.value)) return std::nullopt;
  return q.value;
}

std::vector<Quantity> storedQuantities(Statement& values, std::int64_t id) {
  std::vector<Quantity> out;
  values.bind(1, id);
  while (values.step()) {
    const std::optional<double> v = values.optionalReal(2);
    out.push_back({values.text(0), values.text(1), v.value_or(0), !v});
  }
  values.reset();
  return out;
}

RecordWriter::RecordWriter(Database& db)
    : db_(db),
      latest_(db,
              "SELECT id, revision, label, abnormal_word FROM records "
              "WHERE meter_id=?1 AND kind=?2 AND start=?3 ORDER BY revision DESC LIMIT 1"),
      values_(db,
              "SELECT name, unit, value FROM record_values WHERE record_id=?1 ORDER BY position"),
      insert_(
          db,
          "INSERT INTO records(meter_id, kind, start, revision, label, abnormal_word, "
          "missing, visit_id, read_at) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9) RETURNING id"),
      any_(db,
           "SELECT 1 FROM records WHERE meter_id=?1 AND kind=?2 AND start >= ?3 AND start <= ?4 "
           "LIMIT 1") {}

bool RecordWriter::noneStored(std::int64_t meter, const std::string& kind, const std::string& from,
                              const std::string& to) {
  any_.bind(1, meter).bind(2, kind).bind(3, from).bind(4, to);
  const bool found = any_.step();
  any_.reset();
  return !found;
}

Statement& RecordWriter::valuesInsert(std::size_t count) {
  std::unique_ptr<Statement>& q = valueInserts_[count];
  if (!q) {
    std::string sql = "INSERT INTO record_values(record_id, position, name, unit, value) VALUES";
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t p = 5 * i;
      sql += (i == 0 ? "(?" : ", (?") + std::to_string(p + 1) + ", ?" + std::to_string(p + 2) +
             ", ?" + std::to_string(p + 3) + ", ?" + std::to_string(p + 4) + ", ?" +
             std::to_string(p + 5) + ")";
    }
    q = std::make_unique<Statement>(db_, sql.c_str());
  }
  return *q;
}

bool RecordWriter::sameAsLatest(std::int64_t id, const RecordRow& row) {
  const auto& quantities = *row.quantities;
  std::size_t i = 0;
  bool same = true;
  values_.bind(1, id);
  while (same && values_.step()) {
    if (i >= quantities.size()) {
      same = false;
      break;
    }
    const Quantity& q = quantities[i++];
    same = values_.text(0) == q.name && values_.text(1) == q.unit &&
           values_.optionalReal(2) == storedValue(q);
  }
  values_.reset();
  return same && i == quantities.size();
}

bool RecordWriter::store(const RecordKey& key, const RecordRow& row, bool fresh) {
  std::int64_t revision = 1;
  std::int64_t latestId = 0;
  bool sameHead = false;
  if (!fresh) latest_.bind(1, key.meter).bind(2, row.kind).bind(3, row.start);
  if (!fresh && latest_.step()) {
    latestId = latest_.integer(0);
    revision = latest_.integer(1) + 1;
    const std::optional<std::uint32_t> word =
        latest_.isNull(3)
            ? std::nullopt
            : std::optional<std::uint32_t>(static_cast<std::uint32_t>(latest_.integer(3)));
    sameHead = latest_.text(2) == row.label && word == row.abnormalWord;
  }
  if (!fresh) latest_.reset();
  if (sameHead && sameAsLatest(latestId, row)) return false;

  insert_.bind(1, key.meter).bind(2, row.kind).bind(3, row.start).bind(4, revision);
  insert_.bind(5, row.label);
  if (row.abnormalWord) {
    insert_.bind(6, static_cast<std::int64_t>(*row.abnormalWord));
  } else {
    insert_.bindNull(6);
  }
  int missing = row.abnormalMissing ? 1 : 0;
  for (const Quantity& q : *row.quantities) missing += storedValue(q) ? 0 : 1;
  const std::int64_t id =
      insert_.bind(7, missing).bind(8, key.visit).bind(9, key.readAt).insertId();
  const std::size_t count = row.quantities->size();
  if (count == 0) return true;
  Statement& values = valuesInsert(count);
  for (std::size_t i = 0; i < count; ++i) {
    const Quantity& q = (*row.quantities)[i];
    const int p = static_cast<int>(5 * i);
    values.bind(p + 1, id).bind(p + 2, static_cast<int>(i)).bind(p + 3, q.name);
    values.bind(p + 4, q.unit).bind(p + 5, storedValue(q));
  }
  values.run();
  return true;
}

}  // namespace vardis::store
