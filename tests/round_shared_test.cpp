// One round shared by several poller hosts through a PostgreSQL store: two
// vardis-cli processes, each with its own data folder and its own simulated
// modem answering the six numbers of sim/examples/round.json, take the nodes
// of one queue; a host killed mid-call leaves its node to the other after
// the lease.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDate>
#include <QDateTime>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "connection/data_dir.h"
#include "sim/numbers.h"
#include "sim/simulator.h"
#include "support/child_process.h"
#include "support/cli_runner.h"
#include "support/csv_rows.h"
#include "support/pg_server.h"
#include "support/round_modem.h"
#include "support/temp_dir.h"

namespace vardis {
namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<std::string>>;

std::string pcNow() {
  return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
}

// A poller host: the example node file in a data folder of its own, and a
// modem of its own in front of the example's six meters.
struct Host {
  test::TempDir dir;
  sim::Simulator modem{numbers(), options()};

  Host() {
    fs::create_directories(reportDir(dir.path()));
    fs::copy_file(fs::path(VARDIS_SOURCE_DIR) / "sim/examples/gsm_csd.ini", nodeFile(dir.path()));
    modem.start();
  }
  ~Host() { modem.stop(); }

  static std::vector<sim::NumberedMeter> numbers() {
    sim::MeterSetup setup;
    sim::loadSetupFile(setup, (fs::path(VARDIS_SOURCE_DIR) / "sim/examples/round.json").string());
    return std::move(setup.numbers);
  }
  static sim::SimulatorOptions options() { return test::ModemSim::options(); }

  // vardis-cli round --shared night as host `name`, reading the values.
  std::unique_ptr<test::ChildProcess> start(const std::string& name, const std::string& store,
                                            std::vector<std::string> extra = {}) {
    std::vector<std::string> args{VARDIS_CLI_PATH,
                                  "--gsm",
                                  "--port",
                                  modem.portPath(),
                                  "--data-dir",
                                  dir.path(),
                                  "--store",
                                  store,
                                  "--test-dial-wait-ms",
                                  "3000",
                                  "round",
                                  "--shared",
                                  "night",
                                  "--host",
                                  name,
                                  "--attempts",
                                  "5",
                                  "--redial-pause",
                                  "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("values");
    test::ChildSetup setup;
    setup.patience = std::chrono::seconds(120);
    return std::make_unique<test::ChildProcess>(std::move(args), setup);
  }

  // The calls that connected, by the number dialled.
  std::map<std::string, int> connects() const {
    std::map<std::string, int> n;
    for (const auto& e : modem.modemLog()) n[e.number] += e.kind == sim::ModemEventKind::Connect;
    return n;
  }
};

std::string yesterday() {
  return QDate::currentDate().addDays(-1).toString(QStringLiteral("yyyy-MM-dd")).toStdString();
}

std::string number(int node) {
  return "+7900000000" + std::to_string(node);
}

int finish(test::ChildProcess& child) {
  const int status = test::exitStatusOf(child.finish());
  EXPECT_TRUE(status == 0 || status == 4) << status << child.errorText();
  return status;
}

// `rounds --last` as CSV, by node: result, attempts and host.
std::map<int, std::vector<std::string>> lastRound(const fs::path& dir, const std::string& store) {
  const auto r = test::runCli("/dev/ttyNONE", dir, pcNow(),
                              {"--store", store, "--format", "csv", "rounds", "--last"});
  EXPECT_EQ(r.status, 0) << r.err;
  const Rows rows = test::csvRecords(r.out);
  std::map<int, std::vector<std::string>> out;
  if (rows.empty()) return out;
  std::map<std::string, std::size_t> at;
  for (std::size_t i = 0; i < rows[0].size(); ++i) at[rows[0][i]] = i;
  for (std::size_t k = 1; k < rows.size(); ++k) {
    const auto& row = rows[k];
    const int node = std::stoi(row[at["node"]]);
    EXPECT_EQ(out.count(node), 0u) << "node " << node << " listed twice";
    out[node] = {row[at["result"]], row[at["attempts"]], row[at["host"]]};
  }
  return out;
}

TEST(RoundShared, TwoHostsCallEveryNodeOnceBetweenThem) {
  test::PgTestDatabase pg;
  Host a, b;
  auto first = a.start("A", pg.conninfo());
  auto second = b.start("B", pg.conninfo());
  finish(*first);
  finish(*second);

  const auto byA = a.connects(), byB = b.connects();
  int usedA = 0, usedB = 0;
  const auto nodes = lastRound(a.dir.path(), pg.conninfo());
  ASSERT_EQ(nodes.size(), 6u);
  for (int n = 1; n <= 6; ++n) {
    const int here = byA.count(number(n)) ? byA.at(number(n)) : 0;
    const int there = byB.count(number(n)) ? byB.at(number(n)) : 0;
    EXPECT_EQ(here + there, n == 5 ? 0 : 1) << "node " << n;
    usedA += here;
    usedB += there;
    const auto& row = nodes.at(n);
    EXPECT_EQ(row[0], n == 5 ? "no answer" : "read") << n;
    if (n != 5) {
      EXPECT_EQ(row[2], here ? "A" : "B") << n;
    }
  }
  EXPECT_EQ(nodes.at(5)[1], "5");
  EXPECT_GT(usedA, 0);
  EXPECT_GT(usedB, 0);
  EXPECT_EQ(pg.sql("SELECT count(*) FROM shared_rounds WHERE ended IS NOT NULL"), "1");
  EXPECT_EQ(pg.sql("SELECT nodes_read || ' ' || nodes_failed FROM rounds"), "5 1");
}

TEST(RoundShared, AKilledHostsNodeIsReadByTheOtherOnceItsLeaseRanOut) {
  test::PgTestDatabase pg;
  Host a, b;
  auto killed = a.start("A", pg.conninfo(), {"--lease", "5"});
  ASSERT_TRUE(a.modem.waitForModemEvent(sim::ModemEventKind::Connect, 1, std::chrono::seconds(30)));
  EXPECT_EQ(test::exitStatusOf(killed->killWith(SIGKILL)), 128 + SIGKILL);
  std::string inCall;
  for (const auto& e : a.modem.modemLog()) {
    if (e.kind == sim::ModemEventKind::Connect) inCall = e.number;
  }
  ASSERT_FALSE(inCall.empty());
  const int node = inCall.back() - '0';

  // A host with other commands does not join the open round.
  const auto other = test::runCli(
      b.modem.portPath(), b.dir.path(), pcNow(),
      {"--gsm", "--store", pg.conninfo(), "round", "--shared", "night", "--host", "C", "hourly"});
  EXPECT_EQ(other.status, 2);
  EXPECT_NE(other.err.find("does not join it"), std::string::npos) << other.err;

  auto rest = b.start("B", pg.conninfo(), {"--lease", "5"});
  finish(*rest);
  const auto nodes = lastRound(b.dir.path(), pg.conninfo());
  ASSERT_EQ(nodes.size(), 6u);
  EXPECT_EQ(nodes.at(node)[0], "read");
  EXPECT_EQ(nodes.at(node)[1], "1") << "the killed host's call is not counted";
  EXPECT_EQ(nodes.at(node)[2], "B");
  EXPECT_EQ(b.connects()[inCall], 1);
  const std::string serial = "1000" + std::to_string(node);
  EXPECT_EQ(pg.sql("SELECT count(*) FROM current_readings c JOIN meters m ON m.id = c.meter_id "
                   "WHERE m.serial = " +
                   serial),
            "1");
  EXPECT_EQ(pg.sql("SELECT count(*) FROM shared_rounds WHERE ended IS NOT NULL"), "1");
}

// The server stops in the middle of a round of nodes 1 and 2: the calls go on
// with their reports, the store's failure is named once, and no reading is
// half in the store; with the server back, --missing reads what it lacks.
TEST(RoundStore, AServerThatStopsMidRoundIsNamedOnceAndMissingReadsTheRestLater) {
  test::OwnPgServer server;
  test::PgTestDatabase pg(server.address());
  Host host;
  auto run = [&](std::vector<std::string> commands) {
    std::vector<std::string> args{
        VARDIS_CLI_PATH, "--gsm",   "--port",      host.modem.portPath(), "--data-dir",
        host.dir.path(), "--store", pg.conninfo(), "--test-dial-wait-ms", "3000",
        "round",         "--nodes", "1-2",         "--redial-pause",      "0"};
    args.insert(args.end(), commands.begin(), commands.end());
    test::ChildSetup setup;
    setup.patience = std::chrono::seconds(120);
    return std::make_unique<test::ChildProcess>(std::move(args), setup);
  };
  const std::string day = yesterday();
  auto first = run({"values", "hourly", day});
  ASSERT_TRUE(
      host.modem.waitForModemEvent(sim::ModemEventKind::Connect, 2, std::chrono::seconds(60)));
  server.stop();
  EXPECT_EQ(test::exitStatusOf(first->finish()), 0) << first->errorText();
  const std::string err = first->errorText();
  std::size_t named = 0;
  for (auto at = err.find("went away"); at != std::string::npos;
       at = err.find("went away", at + 1)) {
    ++named;
  }
  std::size_t refused = 0;
  for (auto at = err.find("cannot be opened"); at != std::string::npos;
       at = err.find("cannot be opened", at + 1)) {
    ++refused;
  }
  EXPECT_EQ(named + refused, 1u) << err;
  std::size_t reports = 0;
  for (const auto& f : fs::directory_iterator(reportDir(host.dir.path()))) {
    const std::string name = f.path().filename().string();
    reports += name.find("_chas.txt") != std::string::npos && fs::file_size(f.path()) > 0;
  }
  EXPECT_EQ(reports, 2u) << "an hourly report for each node";

  server.start();
  const std::string perMeter =
      "SELECT string_agg(n::text, ' ' ORDER BY serial) FROM (SELECT m.serial, count(r.id) AS n "
      "FROM meters m LEFT JOIN records r ON r.meter_id = m.id AND r.kind = 'hourly' GROUP BY "
      "m.serial) counts";
  const std::string before = pg.sql(perMeter);
  for (std::size_t at = 0; at < before.size();) {
    const std::size_t end = std::min(before.find(' ', at), before.size());
    const std::string n = before.substr(at, end - at);
    EXPECT_TRUE(n == "0" || n == "24") << "a day half stored: " << before;
    at = end + 1;
  }
  auto second = run({"hourly", "--missing", "--from", day, "--to", day});
  EXPECT_EQ(test::exitStatusOf(second->finish()), 0) << second->errorText();
  EXPECT_EQ(pg.sql(perMeter), "24 24");
}

}  // namespace
}  // namespace vardis
