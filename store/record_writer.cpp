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
    : latest_(db,
              "SELECT id, revision, label, abnormal_word FROM records "
              "WHERE meter_id=?1 AND kind=?2 AND start=?3 ORDER BY revision DESC LIMIT 1"),
      values_(db,
              "SELECT name, unit, value FROM record_values WHERE record_id=?1 ORDER BY position"),
      insert_(
          db,
          "INSERT INTO records(meter_id, kind, start, revision, label, abnormal_word, "
          "missing, visit_id, read_at) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9) RETURNING id"),
      insertValue_(db,
                   "INSERT INTO record_values(record_id, position, name, unit, value) "
                   "VALUES(?1, ?2, ?3, ?4, ?5)") {}

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

bool RecordWriter::store(const RecordKey& key, const RecordRow& row) {
  latest_.bind(1, key.meter).bind(2, row.kind).bind(3, row.start);
  std::int64_t revision = 1;
  std::int64_t latestId = 0;
  bool sameHead = false;
  if (latest_.step()) {
    latestId = latest_.integer(0);
    revision = latest_.integer(1) + 1;
    const std::optional<std::uint32_t> word =
        latest_.isNull(3)
            ? std::nullopt
            : std::optional<std::uint32_t>(static_cast<std::uint32_t>(latest_.integer(3)));
    sameHead = latest_.text(2) == row.label && word == row.abnormalWord;
  }
  latest_.reset();
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
  for (std::size_t i = 0; i < row.quantities->size(); ++i) {
    const Quantity& q = (*row.quantities)[i];
    insertValue_.bind(1, id).bind(2, static_cast<int>(i)).bind(3, q.name).bind(4, q.unit);
    insertValue_.bind(5, storedValue(q)).run();
  }
  return true;
}

}  // namespace vardis::store
