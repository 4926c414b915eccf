// A store of either engine for one test: a file in a fresh folder, or a fresh
// PostgreSQL database on the tests' server. The store suites run once on each.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "store/reading_store.h"
#include "store/store_location.h"
#include "support/pg_server.h"
#include "support/temp_dir.h"

namespace vardis::store {

// The engine as a test's parameter is shown.
inline void PrintTo(Engine engine, std::ostream* os) {
  *os << (engine == Engine::Sqlite ? "sqlite" : "postgres");
}

}  // namespace vardis::store

namespace vardis::test {

class EngineStore {
 public:
  explicit EngineStore(store::Engine engine) {
    if (engine == store::Engine::Postgres) pg_.emplace();
  }
  store::StoreLocation location() const {
    if (pg_) return pg_->location();
    store::StoreLocation l;
    l.file = store::storeFile(dir_.path());
    return l;
  }
  const TempDir& dir() const { return dir_; }
  const PgTestDatabase* postgres() const { return pg_ ? &*pg_ : nullptr; }

 private:
  TempDir dir_;
  std::optional<PgTestDatabase> pg_;
};

inline std::string engineName(const ::testing::TestParamInfo<store::Engine>& info) {
  return info.param == store::Engine::Sqlite ? "sqlite" : "postgres";
}

}  // namespace vardis::test

// Runs the parameterised suite once per engine.
#define VARDIS_ON_BOTH_ENGINES(suite)                                                        \
  INSTANTIATE_TEST_SUITE_P(                                                                  \
      Engines, suite,                                                                        \
      ::testing::Values(::vardis::store::Engine::Sqlite, ::vardis::store::Engine::Postgres), \
      ::vardis::test::engineName)
