#include "store/database.h"

namespace vardis::store {

std::string faultText(StoreFault f) {
  switch (f) {
    case StoreFault::ReadOnly:
      return "cannot be written";
    case StoreFault::Busy:
      return "is locked by another program";
    case StoreFault::Corrupt:
      return "is damaged or not a store";
    case StoreFault::CannotOpen:
      return "cannot be opened";
    case StoreFault::Newer:
      return "is of a newer version";
    case StoreFault::Older:
      return "was made by an older version";
    case StoreFault::Io:
      break;
  }
  return "could not be written";
}

std::int64_t Statement::insertId() {
  if (!step()) {
    throw StoreError(StoreFault::Io, "the store " + db().where() + " gave no id to a new row");
  }
  const std::int64_t id = integer(0);
  reset();
  return id;
}

}  // namespace vardis::store
