// vardis-cli round against simulated modems with numbers on pseudo-terminals:
// what the round's log (rounds/ and the store) says of each node, what the
// simulators' logs say was dialled and asked, and a stop in the middle.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <thread>

#include "cli/cli_app.h"
#include "cli/round_command.h"
#include "connection/data_dir.h"
#include "sim/simulator.h"
#include "support/cli_runner.h"
#include "support/round_modem.h"
#include "support/store_sql.h"
#include "support/temp_dir.h"

namespace vardis {
namespace {

namespace fs = std::filesystem;
using sim::CallFaults;
using sim::ModemEventKind;
using test::dataDir;
using test::ModemSim;
using test::phone;
using test::serialOf;
using test::sqlValue;

std::string yesterday() {
  return QDate::currentDate().addDays(-1).toString(QStringLiteral("yyyy-MM-dd")).toStdString();
}

// vardis-cli --gsm --port P [--port P2] round ROUND_ARGS. The round goes by the
// PC's own clock, as the simulated meters do: the archive date of its
// commands is the real yesterday, a day that is over.
test::CliResult round(const std::vector<std::string>& ports, const fs::path& dir,
                      const std::vector<std::string>& roundArgs) {
  std::vector<std::string> args{"--gsm", "--test-dial-wait-ms", "3000"};
  for (std::size_t i = 1; i < ports.size(); ++i) args.insert(args.end(), {"--port", ports[i]});
  args.push_back("round");
  args.insert(args.end(), roundArgs.begin(), roundArgs.end());
  const QString now = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  return test::runCli(ports.front(), dir, now.toStdString(), args);
}

// The newest round log: the JSON file of rounds/, its CSV twin beside it.
QJsonObject lastRoundLog(const fs::path& dir) {
  fs::path newest;
  for (const auto& f : fs::directory_iterator(dir / "rounds")) {
    if (f.path().extension() == ".json" && f.path() > newest) newest = f.path();
  }
  EXPECT_TRUE(fs::exists(fs::path(newest).replace_extension(".csv"))) << newest;
  return QJsonDocument::fromJson(QByteArray::fromStdString(test::readFile(newest))).object();
}

// The nodes of a log by node number.
std::map<int, QJsonObject> nodesOf(const QJsonObject& log) {
  std::map<int, QJsonObject> out;
  for (const auto& n : log["nodes"].toArray()) out[n.toObject()["node"].toInt()] = n.toObject();
  return out;
}

std::string text(const QJsonValue& v) {
  return v.toString().toStdString();
}

// A node of the log as a line, "result attempts serial whatRead reportFiles port".
std::string logLine(const QJsonObject& n) {
  const QJsonValue serial = n["serial"];
  return text(n["result"]) + " " + std::to_string(n["attempts"].toInt()) + " " +
         (serial.isNull() ? "" : std::to_string(serial.toInteger())) + " " + text(n["whatRead"]) +
         " " + text(n["reportFiles"]) + " " + text(n["port"]);
}

// The same line from the newest round of the store.
std::string storeLine(const fs::path& dir, int node) {
  return sqlValue(dir,
                  "SELECT result || ' ' || attempts || ' ' || ifnull(serial, '') || ' ' || "
                  "what_read || ' ' || report_files || ' ' || port FROM round_nodes WHERE node = " +
                      std::to_string(node) + " AND round_id = (SELECT max(id) FROM rounds)");
}

std::string hourly(const fs::path& dir, long long serial, const std::string& what) {
  return sqlValue(dir, "SELECT " + what +
                           " FROM records r JOIN meters m ON m.id = r.meter_id WHERE "
                           "r.kind = 'hourly' AND m.serial = " +
                           std::to_string(serial));
}

// Six nodes: three answer, node 4 is busy twice, node 5 never answers, node 6
// loses its carrier in the middle of the hourly reading of every call.
TEST(RoundCli, AFaultyDirectoryEndsWithEachNodesCauseInTheLogAndTheStore) {
  CallFaults busy, noAnswer, drops;
  busy.busyCalls = 2;
  noAnswer.noAnswerCalls = sim::kEveryCall;
  drops.noCarrierAfterMs = 3000;
  ModemSim modem({{}, {}, {}, busy, noAnswer, drops});
  test::TempDir dir;
  const auto r = round({modem.port()}, dataDir(dir, 6),
                       {"--attempts", "3", "--redial-pause", "0", "values", "hourly", yesterday()});
  EXPECT_EQ(r.status, cli::kExitNodesNotRead) << r.err;
  EXPECT_NE(r.out.find("round: 4 of 6 nodes read, 2 not;"), std::string::npos) << r.out;

  const QJsonObject log = lastRoundLog(dir.path());
  ASSERT_EQ(log["nodes"].toArray().size(), 6) << r.err;
  EXPECT_EQ(text(log["commands"]), "values hourly " + yesterday());
  auto nodes = nodesOf(log);
  for (int n = 1; n <= 4; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(text(nodes[n]["result"]), "read");
    EXPECT_EQ(nodes[n]["attempts"].toInt(), n == 4 ? 3 : 1);
    EXPECT_EQ(nodes[n]["serial"].toInteger(), serialOf(n));
    EXPECT_EQ(text(nodes[n]["whatRead"]), "values hourly");
    const std::string base = text(nodes[n]["reportFiles"]);
    EXPECT_EQ(base.rfind(std::to_string(serialOf(n)) + "D", 0), 0u) << base;
    for (const char* suffix : {"_par.txt", "_chas.txt", "_sut.txt", "_mes.txt"}) {
      EXPECT_TRUE(fs::exists(reportDir(dir.path()) / (base + suffix))) << base << suffix;
    }
  }
  EXPECT_EQ(text(nodes[5]["result"]), "no answer");
  EXPECT_EQ(text(nodes[6]["result"]), "no carrier");
  for (int n : {5, 6}) EXPECT_EQ(nodes[n]["attempts"].toInt(), 3) << n;
  EXPECT_TRUE(nodes[5]["serial"].isNull());
  EXPECT_EQ(modem.count(ModemEventKind::Busy)[phone(4)], 2);
  EXPECT_EQ(modem.count(ModemEventKind::NoAnswer)[phone(5)], 3);
  EXPECT_EQ(modem.count(ModemEventKind::CarrierLost)[phone(6)], 3);

  // Node 6's carrier went while its meter was being read: after the
  // identification, before the last request a whole reading makes.
  std::map<std::uint64_t, std::size_t> perCall;
  std::size_t whole = 0;
  for (const auto& e : modem.sim.log()) {
    if (e.number == phone(6)) ++perCall[e.call];
    if (e.number == phone(1)) ++whole;
  }
  ASSERT_EQ(perCall.size(), 3u);
  for (const auto& [call, requests] : perCall) {
    EXPECT_GT(requests, 8u) << "call " << call;
    EXPECT_LT(requests, whole) << "call " << call;
  }

  // The store's round agrees with the log, node for node.
  EXPECT_EQ(sqlValue(dir.path(), "SELECT count(*) FROM rounds"), "1");
  EXPECT_EQ(sqlValue(dir.path(), "SELECT nodes_read || ' ' || nodes_failed FROM rounds"), "4 2");
  for (int n = 1; n <= 6; ++n) EXPECT_EQ(storeLine(dir.path(), n), logLine(nodes[n])) << n;

  // Hourly records only of the meters read, each a whole day; of node 6
  // nothing, or a whole day, never some of its hours.
  for (int n = 1; n <= 4; ++n) {
    EXPECT_EQ(hourly(dir.path(), serialOf(n), "count(*)"), "24") << n;
    EXPECT_EQ(hourly(dir.path(), serialOf(n), "sum(r.missing)"), "0") << n;
  }
  EXPECT_EQ(hourly(dir.path(), serialOf(5), "count(*)"), "0");
  const std::string dropped = hourly(dir.path(), serialOf(6), "count(*)");
  EXPECT_TRUE(dropped == "0" || dropped == "24") << dropped;
  EXPECT_EQ(hourly(dir.path(), serialOf(6), "count(*) FILTER (WHERE r.missing != 0)"), "0");
  EXPECT_EQ(sqlValue(dir.path(), "SELECT count(*) FROM records WHERE kind = 'hourly'"),
            std::to_string(4 * 24 + std::stoi(dropped)));
  EXPECT_EQ(sqlValue(dir.path(), "SELECT count(*) FROM record_values WHERE value IS NULL"), "0");
}

// Two modems with the same numbers: each node is called once in all, over
// either; a call's frames reach only the meter dialled in that call. A second
// round that day with the same commands calls nobody.
TEST(RoundCli, TwoModemsShareTheNodesAndASecondRoundCallsNoneAgain) {
  const std::vector<CallFaults> none(4);
  ModemSim a(none), b(none);
  test::TempDir dir;
  const std::vector<std::string> ports{a.port(), b.port()};
  const auto first = round(ports, dataDir(dir, 4), {"--redial-pause", "0", "values"});
  ASSERT_EQ(first.status, cli::kExitOk) << first.err;
  auto nodes = nodesOf(lastRoundLog(dir.path()));
  ASSERT_EQ(nodes.size(), 4u);
  const auto connectsA = a.count(ModemEventKind::Connect);
  const auto connectsB = b.count(ModemEventKind::Connect);
  for (int n = 1; n <= 4; ++n) {
    SCOPED_TRACE(n);
    const int onA = connectsA.count(phone(n)) ? connectsA.at(phone(n)) : 0;
    const int onB = connectsB.count(phone(n)) ? connectsB.at(phone(n)) : 0;
    EXPECT_EQ(onA + onB, 1);
    EXPECT_EQ(text(nodes[n]["result"]), "read");
    EXPECT_EQ(nodes[n]["attempts"].toInt(), 1);
    EXPECT_EQ(text(nodes[n]["port"]), onA ? a.port() : b.port());
  }
  for (const ModemSim* m : {&a, &b}) {
    std::map<std::uint64_t, std::string> dialled;  // call -> number
    for (const auto& e : m->sim.modemLog()) {
      if (e.kind == ModemEventKind::Dial) dialled[e.call] = e.number;
    }
    EXPECT_FALSE(dialled.empty()) << m->port() << " was never dialled";
    for (const auto& e : m->sim.log()) {
      ASSERT_TRUE(dialled.count(e.call)) << e.describe();
      EXPECT_EQ(e.number, dialled[e.call]) << e.describe();
      EXPECT_EQ(e.serial, serialOf(e.number.back() - '0')) << e.describe();
    }
  }

  const std::size_t eventsA = a.sim.modemLog().size(), eventsB = b.sim.modemLog().size();
  const auto second = round(ports, dir.path(), {"--redial-pause", "0", "values"});
  EXPECT_EQ(second.status, cli::kExitOk) << second.err;
  EXPECT_EQ(a.sim.modemLog().size(), eventsA);
  EXPECT_EQ(b.sim.modemLog().size(), eventsB);
  nodes = nodesOf(lastRoundLog(dir.path()));
  for (int n = 1; n <= 4; ++n) {
    EXPECT_EQ(text(nodes[n]["result"]), "read") << n;
    EXPECT_EQ(text(nodes[n]["message"]), "read earlier today") << n;
  }
  EXPECT_EQ(sqlValue(dir.path(), "SELECT count(*) FROM rounds"), "2");
}

// Ctrl-C while the first meter is read: the round ends, the call is hung up,
// and the log says "stopped" of every node not done.
TEST(RoundCli, AStopEndsTheRoundHangsUpAndLogsTheNodesNotDone) {
  ModemSim modem(std::vector<CallFaults>(3));
  test::TempDir dir;
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    if (modem.sim.waitForLog(1, std::chrono::seconds(60))) {
      cli::requestCancel();
      stopped = true;
    }
  });
  const auto r = round({modem.port()}, dataDir(dir, 3), {"--redial-pause", "0", "values"});
  stopper.join();
  ASSERT_TRUE(stopped);
  EXPECT_EQ(r.status, cli::kExitNodesNotRead) << r.err;

  const auto events = modem.sim.modemLog();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(modem.count(ModemEventKind::Dial)[phone(1)], 1);
  // Before the dial, the modem was made sure to have no call up: an ATH.
  const auto dial = std::find_if(events.begin(), events.end(),
                                 [](const auto& e) { return e.kind == ModemEventKind::Dial; });
  ASSERT_NE(dial, events.begin());
  EXPECT_EQ(std::prev(dial)->kind, ModemEventKind::HangUp) << std::prev(dial)->describe();
  EXPECT_EQ(events.back().kind, ModemEventKind::HangUp) << events.back().describe();
  EXPECT_EQ(modem.sim.modemState(), sim::ModemState::Command);
  std::size_t dials = 0;
  for (const auto& e : events) dials += e.kind == ModemEventKind::Dial ? 1 : 0;
  EXPECT_EQ(dials, 1u);

  auto nodes = nodesOf(lastRoundLog(dir.path()));
  ASSERT_EQ(nodes.size(), 3u);
  for (int n = 1; n <= 3; ++n) EXPECT_EQ(text(nodes[n]["result"]), "stopped") << n;
  EXPECT_EQ(nodes[1]["attempts"].toInt(), 1);
  EXPECT_EQ(nodes[2]["attempts"].toInt(), 0);
  EXPECT_EQ(sqlValue(dir.path(), "SELECT group_concat(result, ' ') FROM round_nodes"),
            "stopped stopped stopped");
}

}  // namespace
}  // namespace vardis
