// vardis-cli on a store named by --store or VARDIS_STORE: the same readings
// kept in SQLite and in PostgreSQL give the same history to the byte, a
// password in the location is never shown, a VARDIS_STORE that names no
// store is refused before a port is opened, and the web view's questions
// outlive a restart of the server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "cli/serve_store.h"
#include "store/reading_store.h"
#include "support/cli_data.h"
#include "support/cli_runner.h"
#include "support/pg_server.h"
#include "support/pty_meter.h"
#include "support/temp_dir.h"

namespace vardis {
namespace {

constexpr const char* kPcTime = test::kPinnedPcTime;
using test::dataDir;
using test::pinMeter;

const std::vector<std::string> kReading{"hourly", "yesterday", "daily",
                                        "today",  "monthly",   "2011-03-01"};

long lines(const std::string& text) {
  return static_cast<long>(std::count(text.begin(), text.end(), '\n'));
}

// The store commands on the store `location` (no port is opened for them).
test::CliResult storeCommand(const std::filesystem::path& dir, const std::string& location,
                             std::vector<std::string> args) {
  args.insert(args.begin(), {"--store", location});
  return test::runCli("/dev/null/none", dir, kPcTime, args);
}

// One reading kept in an SQLite file and again in a PostgreSQL database: each
// history kind, as JSON and as CSV, reads the same from both.
TEST(StoreCliPg, TheSameReadingsGiveTheSameHistoryOnSqliteAndPostgres) {
  test::PtyMeter meter({}, pinMeter);
  test::TempDir sqliteDir, pgDir;
  test::PgTestDatabase db;
  const std::string sqlite = "sqlite:" + (sqliteDir.path() / "readings.sqlite").string();
  const std::vector<std::pair<test::TempDir*, std::string>> stores{{&sqliteDir, sqlite},
                                                                   {&pgDir, db.conninfo()}};
  for (const auto& [dir, location] : stores) {
    std::vector<std::string> args{"--store", location};
    args.insert(args.end(), kReading.begin(), kReading.end());
    const auto read = test::runCli(meter.simulator->portPath(), dataDir(*dir), kPcTime, args);
    ASSERT_EQ(read.status, cli::kExitOk) << read.err;
    EXPECT_EQ(read.err, "");
  }
  for (const char* format : {"json", "csv"}) {
    for (const char* kind : {"hourly", "daily", "monthly", "visits"}) {
      const auto fromSqlite =
          storeCommand(sqliteDir.path(), sqlite, {"--format", format, "history", kind});
      const auto fromPg =
          storeCommand(pgDir.path(), db.conninfo(), {"--format", format, "history", kind});
      ASSERT_EQ(fromSqlite.status, 0) << fromSqlite.err;
      ASSERT_EQ(fromPg.status, 0) << fromPg.err;
      EXPECT_GT(lines(fromPg.out), 1) << kind;  // a record at least
      EXPECT_EQ(fromPg.out, fromSqlite.out) << format << " " << kind;
    }
  }
}

// A server that refuses the login is one line naming the store with "***" for
// the password, wherever the location held it; the right password reads.
TEST(StoreCliPg, ARefusedLoginIsOneLineThatNeverShowsThePassword) {
  test::PtyMeter meter({}, pinMeter);
  test::TempDir dir;
  test::PgTestDatabase db;
  const auto read = test::runCli(meter.simulator->portPath(), dataDir(dir), kPcTime,
                                 {"--store", db.uri(db.password()), "values"});
  ASSERT_EQ(read.status, cli::kExitOk) << read.err;

  const auto refused =
      storeCommand(dir.path(), db.uri("secret") + "?password=secret", {"history", "values"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out.find("secret"), std::string::npos) << refused.out;
  EXPECT_EQ(refused.err.find("secret"), std::string::npos) << refused.err;
  EXPECT_EQ(lines(refused.err), 1) << refused.err;
  EXPECT_NE(refused.err.find(":***@127.0.0.1"), std::string::npos) << refused.err;

  const auto history = storeCommand(dir.path(), db.uri(db.password()), {"history", "values"});
  EXPECT_EQ(history.status, 0) << history.err;
  EXPECT_NE(history.out.find("2011-04-10"), std::string::npos) << history.out;
}

// VARDIS_STORE that names no store: a usage error in one line, for the store
// commands and the readings alike, and the meter is never asked.
TEST(StoreCliPg, AVariableThatNamesNoStoreIsRefusedBeforeAnyPortOpens) {
  test::PtyMeter meter({}, pinMeter);
  test::TempDir dir;
  ::setenv("VARDIS_STORE", "mysql://x", 1);
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"history", "hourly"}, {"hourly", "yesterday"}}) {
    const auto r = test::runCli(meter.simulator->portPath(), dataDir(dir), kPcTime, args);
    EXPECT_EQ(r.status, cli::kExitUsage) << args[0];
    EXPECT_EQ(r.err.rfind("vardis-cli: VARDIS_STORE=mysql://x: not a store", 0), 0u) << r.err;
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_EQ(r.out, "");
  }
  ::unsetenv("VARDIS_STORE");
  EXPECT_TRUE(meter.requests().empty());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "vardis.sqlite"));
}

// The web view keeps its connections between questions. A server restarted
// between two questions (its nightly maintenance) costs none of them; while
// it is down each question is 503 with the reason.
TEST(StoreCliPg, TheWebViewsQuestionsOutliveARestartOfTheServer) {
  test::OwnPgServer server;
  test::PgTestDatabase db(server.address());
  // The tests' server commits without waiting for the disk, and its stop is
  // a crash's: this database's commits wait, so the store outlives the stop.
  db.sql(
      "DO $$BEGIN EXECUTE format('ALTER DATABASE %I SET synchronous_commit = on', "
      "current_database()); END$$");
  { store::ReadingStore created(db.location()); }
  cli::StoreAnswers answers(db.location(), cli::CliOptions{});
  const web::StoreQuestion meters{{"meters"}, false};
  ASSERT_EQ(answers(meters).status, 200) << answers(meters).body;
  server.stop();
  server.start();
  const web::StoreAnswer again = answers(meters);
  EXPECT_EQ(again.status, 200) << again.body;
  server.stop();
  const web::StoreAnswer down = answers(meters);
  EXPECT_EQ(down.status, 503);
  EXPECT_EQ(down.body.rfind("the store cannot be read: ", 0), 0u) << down.body;
  server.start();
  EXPECT_EQ(answers(meters).status, 200);
}

}  // namespace
}  // namespace vardis
