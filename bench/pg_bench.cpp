#include "bench/pg_bench.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <fstream>
#include <latch>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "bench/common.h"
#include "bench/report.h"
#include "bench/table_text.h"
#include "store/reading_store.h"
#include "store/shared_round.h"

namespace vardis::bench {

namespace {

const std::string kServerScript = VARDIS_PG_SERVER_SCRIPT;
// Long enough that no lease runs out while the workers claim.
constexpr int kClaimLeaseSeconds = 3600;
// What the store is to reach on a server.
constexpr double kServerStoreTargetMs = 10;
constexpr double kServerHistoryTargetMs = 200;
constexpr double kClaimTargetPerSecond = 1000;
constexpr double kSharedWallTargetPct = 20;
constexpr std::size_t kPgLabelWidth = 40;
constexpr int kRoundTrips = 200;

double secondsSince(Clock::time_point start) {
  return ms(Clock::now() - start) / 1000;
}

// The server of the script, on 127.0.0.1, stopped when this object goes.
class BenchServer {
 public:
  BenchServer() {
    if (!script("start")) {
      script("stop");
      throw std::runtime_error("cannot start a PostgreSQL server: " + kServerScript + " start");
    }
    std::ifstream in(folder_.path() / "server");
    std::map<std::string, std::string> fields;
    for (std::string line; std::getline(in, line);) {
      const auto space = line.find(' ');
      if (space != std::string::npos) fields[line.substr(0, space)] = line.substr(space + 1);
    }
    port_ = fields["port"];
    user_ = fields["user"];
    password_ = fields["password"];
    if (port_.empty() || user_.empty()) {
      script("stop");
      throw std::runtime_error(kServerScript + " start wrote no server's port and user");
    }
  }
  ~BenchServer() { script("stop"); }
  BenchServer(const BenchServer&) = delete;
  BenchServer& operator=(const BenchServer&) = delete;

  std::string address() const { return "127.0.0.1:" + port_; }
  // Over TCP, with the password.
  std::string conninfo(const std::string& database) const {
    return "host=127.0.0.1 port=" + port_ + " user=" + user_ + " password=" + password_ +
           " dbname=" + database;
  }
  store::StoreLocation location(const std::string& database) const {
    store::StoreLocation l;
    l.engine = store::Engine::Postgres;
    l.conninfo = conninfo(database);
    return l;
  }
  // A new database of that name with the store's tables in it.
  store::StoreLocation database(const std::string& name) const {
    {
      const auto admin =
          store::openDatabase(location("postgres"), store::Access::Write, store::kBusyTimeoutMs);
      admin->exec(("CREATE DATABASE " + name).c_str());
    }
    store::ReadingStore made(location(name));
    return location(name);
  }

 private:
  bool script(const std::string& what) const {
    const std::string command =
        "'" + kServerScript + "' " + what + " '" + folder_.path().string() + "'";
    return std::system(command.c_str()) == 0;
  }
  TempFolder folder_;
  std::string port_, user_, password_;
};

std::string pcTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &tm);
  return text;
}

store::SharedRoundSpec queueOf(const std::string& name) {
  store::SharedRoundSpec queue{name, pcTimeNow(), "values", 0, 115200, 3, 60, {}};
  for (int n = 1; n <= kClaimNodes; ++n) {
    queue.nodes.push_back({n, "Node " + std::to_string(n), "+7901" + std::to_string(1000000 + n),
                           "", false, std::nullopt});
  }
  return queue;
}

store::RoundNodeRow doneRow(int node, int attempts, const std::string& holder) {
  store::RoundNodeRow row;
  row.node = node;
  row.name = "Node " + std::to_string(node);
  row.phone = "+7901" + std::to_string(1000000 + node);
  row.result = "read";
  row.attempts = attempts;
  row.connectedSeconds = 1;
  row.transactions = 30;
  row.whatRead = "values";
  row.port = holder;
  row.host = "bench";
  return row;
}

struct Worker {
  std::vector<int> nodes;
  Clock::time_point end;
  std::string problem;
};

// One worker: its connection first, then claims from the moment all are let go.
void claimAll(const store::StoreLocation& location, const store::SharedRound& round, int index,
              bool endAttempts, std::latch& ready, std::latch& go, Worker& w) {
  std::unique_ptr<store::SharedRoundStore> s;
  try {
    s = std::make_unique<store::SharedRoundStore>(location);
  } catch (const std::exception& e) {
    w.problem = e.what();
  }
  ready.count_down();
  go.wait();
  const std::string holder = "w" + std::to_string(index);
  try {
    while (s) {
      const auto c = s->claim(round.id, holder, "bench", holder, kClaimLeaseSeconds);
      if (!c) break;
      w.nodes.push_back(c->node);
      if (endAttempts) {
        s->attemptEnded(round, c->node, holder, c->attempts + 1, "1",
                        doneRow(c->node, c->attempts + 1, holder));
      }
    }
  } catch (const std::exception& e) {
    w.problem = e.what();
  }
  w.end = Clock::now();
}

void countClaims(const std::vector<Worker>& workers, ClaimRun& r) {
  std::vector<int> counts(kClaimNodes + 1, 0);
  for (const auto& w : workers) {
    for (const int n : w.nodes) {
      ++r.claims;
      if (n < 1 || n > kClaimNodes) {
        ++r.strange;
      } else {
        ++counts[static_cast<std::size_t>(n)];
      }
    }
    if (r.problem.empty() && !w.problem.empty()) r.problem = w.problem;
  }
  for (int n = 1; n <= kClaimNodes; ++n) {
    const int c = counts[static_cast<std::size_t>(n)];
    if (c == 0) ++r.neverClaimed;
    if (c == 1) ++r.claimedOnce;
    if (c > 1) ++r.claimedTwice;
  }
}

void countStoredRows(const store::StoreLocation& location, const store::SharedRound& round,
                     ClaimRun& r) {
  const auto db = store::openDatabase(location, store::Access::Read, store::kBusyTimeoutMs);
  store::Statement q(*db,
                     "SELECT count(*), count(DISTINCT node) FROM round_nodes WHERE round_id = ?1");
  q.bind(1, round.roundId);
  if (q.step()) {
    r.storedRows = q.integer(0);
    r.storedNodes = q.integer(1);
  }
}

// A queue of kClaimNodes made with openRound, then kClaimWorkers threads
// claiming until none is left.
ClaimRun measureClaims(const store::StoreLocation& location, const std::string& name,
                       bool endAttempts) {
  ClaimRun r;
  r.endAttempts = endAttempts;
  store::SharedRound round;
  {
    store::SharedRoundStore maker(location);
    const store::SharedRoundSpec queue = queueOf(name);
    const Clock::time_point start = Clock::now();
    round = maker.openRound(queue);
    r.queueMs = ms(Clock::now() - start);
  }
  std::vector<Worker> workers(kClaimWorkers);
  std::latch ready(kClaimWorkers), go(1);
  std::vector<std::thread> threads;
  for (int i = 0; i < kClaimWorkers; ++i) {
    threads.emplace_back(claimAll, std::cref(location), std::cref(round), i, endAttempts,
                         std::ref(ready), std::ref(go),
                         std::ref(workers[static_cast<std::size_t>(i)]));
  }
  ready.wait();
  const Clock::time_point start = Clock::now();
  go.count_down();
  for (auto& t : threads) t.join();
  Clock::time_point last = start;
  for (const auto& w : workers) last = std::max(last, w.end);
  r.wallMs = ms(last - start);
  countClaims(workers, r);
  if (endAttempts) countStoredRows(location, round, r);
  return r;
}

// One statement to the server and back: SELECT 1, prepared once.
StoreTimes roundTrips(const store::StoreLocation& location) {
  const auto db = store::openDatabase(location, store::Access::Read, store::kBusyTimeoutMs);
  store::Statement q(*db, "SELECT 1");
  std::vector<double> times;
  bool right = true;
  for (int i = 0; i < kRoundTrips; ++i) {
    const Clock::time_point start = Clock::now();
    right = q.step() && q.integer(0) == 1 && right;
    q.reset();
    times.push_back(ms(Clock::now() - start));
  }
  std::sort(times.begin(), times.end());
  StoreTimes t;
  t.runs = kRoundTrips;
  t.p50 = times[(times.size() + 1) / 2 - 1];
  t.max = times.back();
  t.right = right;
  return t;
}

void timesRow(const std::string& label, const StoreTimes& t, const std::string& note) {
  std::cout << padded(label, kPgLabelWidth) << cell(t.p50) << cell(t.max)
            << rightAligned(std::to_string(t.runs), 8) << "  " << note
            << (t.right ? "" : "  WRONG COUNT") << "\n";
}

void printServerStore(const PostgresResult& p) {
  const StoreResult& r = p.store;
  std::cout << "the store: one meter, " << r.hourlyReadings << " hourly readings of " << r.year
            << " and its " << r.dailyReadings << " daily readings, 17 values a record ("
            << r.records << " records, " << r.values << " values), into a database of its own; "
            << cell(p.storeSeconds, 1, 1) << " s\n\n"
            << padded("milliseconds", kPgLabelWidth) << rightAligned("p50", 8)
            << rightAligned("max", 8) << rightAligned("runs", 8) << "\n";
  timesRow("a round trip to the server", p.roundTrip, "SELECT 1, prepared");
  section("storing a reading, the store kept open (26 records of an hourly one):");
  timesRow("  the year's days into a growing store", r.fill, "26 records added each");
  timesRow("  the year's daily readings", r.daily, "a month's days added each");
  timesRow("  a new day, the year in the store", r.newDay, "26 added each");
  timesRow("  a day read again, same values", r.sameDay, "26 unchanged each");
  section("reading the year back:");
  timesRow("  history: hourly, one meter, the year", r.query,
           std::to_string(r.queryRecords) + " records in " + std::to_string(r.queryDays) + " days");
  timesRow("  days with hourly records missing", r.missing,
           std::to_string(r.missingDays) + " days missing");
}

bool claimsRight(const ClaimRun& c) {
  return c.problem.empty() && c.claimedOnce == kClaimNodes && c.claimedTwice == 0 &&
         c.strange == 0 && (!c.endAttempts || c.storedNodes == kClaimNodes);
}

void claimRow(const std::string& label, const ClaimRun& c) {
  std::cout << padded(label, kPgLabelWidth) << cell(c.wallMs / 1000, 8, 2)
            << cell(c.perSecond(), 10, 0) << rightAligned(std::to_string(c.claims), 8) << "  "
            << c.claimedOnce << " / " << c.claimedTwice << " / " << c.neverClaimed
            << (claimsRight(c) ? "" : "  WRONG") << "\n";
  if (c.endAttempts) {
    std::cout << padded("    rows stored as the round's", kPgLabelWidth) << "  " << c.storedRows
              << " (" << c.storedNodes << " nodes)\n";
  }
  if (!c.problem.empty()) std::cout << "    a worker failed: " << c.problem << "\n";
}

void printClaims(const PostgresResult& p) {
  std::cout << "\nthe shared round's queue: " << kClaimNodes << " nodes made with openRound ("
            << cell(p.claims.queueMs / 1000, 1, 2) << " and " << cell(p.cycles.queueMs / 1000, 1, 2)
            << " s), then " << kClaimWorkers
            << " threads of this process, each its own connection, claiming until none is left "
               "(lease "
            << kClaimLeaseSeconds << " s); " << cell(p.claimSeconds, 1, 1) << " s\n\n"
            << padded("", kPgLabelWidth) << rightAligned("wall, s", 8)
            << rightAligned("a second", 10) << rightAligned("claims", 8)
            << "  nodes claimed once / twice / never\n";
  claimRow("  claim", p.claims);
  claimRow("  claim, then attemptEnded (done)", p.cycles);
}

void printPostgresTargets(const PostgresResult& p) {
  const StoreResult& s = p.store;
  const SharedRoundResult& r = p.round;
  const double share = 100 * r.wallMs / std::max(1.0, r.one.wallMs);
  const bool read = r.readOnce == kSharedNodes && r.calledTwice == 0 && r.strangeNodes == 0 &&
                    r.one.nodesRead() == kSharedNodes;
  std::cout << "\ntargets (PostgreSQL):\n"
            << "  storing an hourly reading, p50 <= " << cell(kServerStoreTargetMs, 1, 0)
            << " ms: " << cell(s.newDay.p50, 1, 2) << " ms (max " << cell(s.newDay.max, 1, 2)
            << "): " << verdict(s.newDay.right && s.newDay.p50 <= kServerStoreTargetMs) << "\n"
            << "  a meter-year of hourly records read back, p50 <= "
            << cell(kServerHistoryTargetMs, 1, 0) << " ms: " << cell(s.query.p50, 1, 1)
            << " ms (max " << cell(s.query.max, 1, 1) << "), " << s.queryRecords
            << " records: " << verdict(s.query.right && s.query.p50 <= kServerHistoryTargetMs)
            << "\n"
            << "  claims a second, " << kClaimWorkers
            << " workers, >= " << cell(kClaimTargetPerSecond, 1, 0) << ": "
            << cell(p.claims.perSecond(), 1, 0) << ", each node once: "
            << verdict(claimsRight(p.claims) && p.claims.perSecond() >= kClaimTargetPerSecond)
            << "\n"
            << "    with attemptEnded: " << cell(p.cycles.perSecond(), 1, 0) << " a second\n"
            << "  " << kSharedHosts << " hosts x " << kSharedModemsAHost
            << " modems' wall time <= " << cell(kSharedWallTargetPct, 1, 0)
            << " % of one modem's: " << cell(r.wallMs / 1000, 1, 1) << " of "
            << cell(r.one.wallMs / 1000, 1, 1) << " s, " << cell(share, 1, 1) << " % (ideal "
            << cell(100.0 / (kSharedHosts * kSharedModemsAHost), 1, 1)
            << " %), every node read once: " << verdict(read && share <= kSharedWallTargetPct)
            << "\n";
}

}  // namespace

PostgresResult measurePostgres(const Options& o) {
  PostgresResult r;
  Clock::time_point start = Clock::now();
  const BenchServer server;
  r.address = server.address();
  r.startSeconds = secondsSince(start);
  start = Clock::now();
  const store::StoreLocation stored = server.database("bench_store");
  r.roundTrip = roundTrips(stored);
  r.store = measureServerStore(o, stored);
  r.serverVersion = r.store.serverVersion;
  r.storeSeconds = secondsSince(start);
  start = Clock::now();
  const store::StoreLocation claims = server.database("bench_claims");
  r.claims = measureClaims(claims, "claims", false);
  r.cycles = measureClaims(claims, "cycles", true);
  r.claimSeconds = secondsSince(start);
  start = Clock::now();
  const std::string one = server.database("bench_round_one").conninfo;
  const std::string shared = server.database("bench_round_shared").conninfo;
  r.round = measureSharedRound(o, one, shared);
  r.roundSeconds = secondsSince(start);
  return r;
}

void printPostgres(const PostgresResult& r) {
  std::cout << "PostgreSQL " << r.serverVersion
            << ": a server of the benchmark's own (tests/support/pg-server: fsync, "
               "synchronous_commit and full_page_writes off), started in "
            << cell(r.startSeconds, 1, 1) << " s; reached over TCP on " << r.address
            << " with the password; each part in a database of its own\n\n";
  printServerStore(r);
  printClaims(r);
  std::cout << "\n";
  printSharedRound(r.round, r.roundSeconds);
  printPostgresTargets(r);
}

}  // namespace vardis::bench
