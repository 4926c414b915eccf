#include "store/database.h"

namespace vardis::store {

std::int64_t Statement::insertId() {
  if (!step()) {
    throw StoreError(StoreFault::Io, "the store " + db().where() + " gave no id to a new row");
  }
  const std::int64_t id = integer(0);
  reset();
  return id;
}

}  // namespace vardis::store
