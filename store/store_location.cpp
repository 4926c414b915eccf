#include "store/store_location.h"

#include <stdexcept>

#include "store/sqlite_db.h"

namespace vardis::store {

StoreLocation parseStoreLocation(const std::string& text, const std::filesystem::path& dataDir) {
  StoreLocation l;
  if (text.empty()) {
    l.file = dataDir / "vardis.sqlite";
    return l;
  }
  throw std::invalid_argument("not yet: " + text);
}

std::string shownLocation(const StoreLocation& location) {
  return location.file.string();
}

std::string maskPasswords(const std::string& text) {
  return text;
}

std::unique_ptr<Database> openDatabase(const StoreLocation& location, Access access,
                                       int busyTimeoutMs) {
  return std::make_unique<SqliteDatabase>(location.file, access, busyTimeoutMs);
}

}  // namespace vardis::store
