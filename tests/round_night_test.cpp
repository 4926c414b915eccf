// vardis-cli round through what goes wrong at night: a modem that is not
// there, a port given twice, a store locked or on a disk that fills, two
// rounds in one second, a round killed in the middle of a call, the same-day
// skip, a node without a dial text. Whatever happens, the round logs are
// written whole and never over one another, and the next round finds nothing
// left in its way.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "cli/cli_app.h"
#include "cli/round_command.h"
#include "cli/round_log.h"
#include "connection/data_dir.h"
#include "sim/simulator.h"
#include "store/reading_store.h"
#include "support/child_process.h"
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
using Clock = std::chrono::steady_clock;

std::string pcNow() {
  return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
}
std::string yesterday() {
  return QDate::currentDate().addDays(-1).toString(QStringLiteral("yyyy-MM-dd")).toStdString();
}

// vardis-cli --gsm OPTIONS --port P [--port P2 ...] round ROUND_ARGS, in this
// process, by the PC's own clock.
test::CliResult round(const std::vector<std::string>& ports, const fs::path& dir,
                      const std::vector<std::string>& roundArgs,
                      const std::vector<std::string>& options = {}) {
  std::vector<std::string> args{"--gsm", "--test-dial-wait-ms", "3000"};
  args.insert(args.end(), options.begin(), options.end());
  for (std::size_t i = 1; i < ports.size(); ++i) args.insert(args.end(), {"--port", ports[i]});
  args.push_back("round");
  args.insert(args.end(), roundArgs.begin(), roundArgs.end());
  return test::runCli(ports.front(), dir, pcNow(), args);
}

// The real vardis-cli as a child: --gsm --port P --data-dir D --fake-pc-time T
// round ROUND_ARGS, files limited to `limit` bytes when given.
std::unique_ptr<test::ChildProcess> startCli(const std::string& port, const fs::path& dir,
                                             const std::string& pcTime,
                                             const std::vector<std::string>& roundArgs,
                                             std::optional<rlim_t> limit = std::nullopt) {
  std::vector<std::string> args{VARDIS_CLI_PATH,       "--gsm",      "--port",         port,
                                "--data-dir",          dir.string(), "--fake-pc-time", pcTime,
                                "--test-dial-wait-ms", "3000",       "round"};
  args.insert(args.end(), roundArgs.begin(), roundArgs.end());
  test::ChildSetup setup;
  setup.fileSizeLimit = limit;
  setup.patience = std::chrono::seconds(120);
  return std::make_unique<test::ChildProcess>(std::move(args), setup);
}

test::CliResult finish(test::ChildProcess& child) {
  test::CliResult r;
  r.status = test::exitStatusOf(child.finish());
  r.out = child.output();
  r.err = child.errorText();
  return r;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::string text(const QJsonValue& v) {
  return v.toString().toStdString();
}

// The round logs of rounds/ by their JSON file: each JSON must parse, and its
// CSV twin must hold the header and a line for each node of it.
std::map<fs::path, QJsonObject> roundLogs(const fs::path& dir) {
  std::map<fs::path, QJsonObject> logs;
  std::error_code ec;
  for (const auto& f : fs::directory_iterator(dir / "rounds", ec)) {
    EXPECT_EQ(f.path().filename().string().find(".part"), std::string::npos) << f.path();
    if (f.path().extension() != ".json") continue;
    QJsonParseError error;
    const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(test::readFile(f)), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError)
        << f.path() << error.errorString().toStdString();
    const QJsonObject log = doc.object();
    const std::string csv = test::readFile(fs::path(f.path()).replace_extension(".csv"));
    EXPECT_EQ(csv.rfind("node,name,phone,serial,result,attempts,", 0), 0u) << f.path() << csv;
    EXPECT_EQ(occurrences(csv, "\r\n"), static_cast<std::size_t>(log["nodes"].toArray().size()) + 1)
        << csv;
    logs[f.path()] = log;
  }
  return logs;
}

// The one log a round added to those `known`; `known` takes it in.
QJsonObject addedLog(const fs::path& dir, std::map<fs::path, QJsonObject>& known) {
  auto now = roundLogs(dir);
  EXPECT_EQ(now.size(), known.size() + 1);
  QJsonObject added;
  for (const auto& [file, log] : now) {
    if (!known.count(file)) added = log;
  }
  known = std::move(now);
  return added;
}

std::map<int, QJsonObject> nodesOf(const QJsonObject& log) {
  std::map<int, QJsonObject> out;
  for (const auto& n : log["nodes"].toArray()) out[n.toObject()["node"].toInt()] = n.toObject();
  return out;
}

// A port that cannot be opened leaves the round to the good modem: named once,
// listed as failed, no node's attempt spent on it, no node logged on it.
TEST(RoundNight, ADeadPortFirstLeavesTheNodesToTheGoodModem) {
  CallFaults busy, noAnswer, drops;
  busy.busyCalls = 2;
  noAnswer.noAnswerCalls = sim::kEveryCall;
  drops.noCarrierAfterMs = 1500;  // well before the values are read
  ModemSim modem({{}, {}, {}, busy, noAnswer, drops});
  test::TempDir dir;
  const auto r = round({"/dev/ttyNOPE", modem.port()}, dataDir(dir, 6),
                       {"--attempts", "3", "--redial-pause", "0", "values"});
  EXPECT_EQ(r.status, cli::kExitNodesNotRead) << r.err;
  EXPECT_NE(r.out.find("round: 4 of 6 nodes read, 2 not;"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("; modems " + modem.port() + "; not used: /dev/ttyNOPE; log "),
            std::string::npos)
      << r.out;
  EXPECT_EQ(occurrences(r.err, "vardis-cli: the modem on /dev/ttyNOPE cannot be used ("), 1u)
      << r.err;

  std::map<fs::path, QJsonObject> known;
  const QJsonObject log = addedLog(dir.path(), known);
  EXPECT_EQ(text(log["ports"]), modem.port());
  const QJsonArray failed = log["modemsFailed"].toArray();
  ASSERT_EQ(failed.size(), 1);
  EXPECT_EQ(text(failed[0].toObject()["port"]), "/dev/ttyNOPE");
  EXPECT_FALSE(text(failed[0].toObject()["reason"]).empty());
  auto nodes = nodesOf(log);
  ASSERT_EQ(nodes.size(), 6u);
  for (int n = 1; n <= 6; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(text(nodes[n]["result"]), n <= 4 ? "read" : n == 5 ? "no answer" : "no carrier");
    EXPECT_EQ(nodes[n]["attempts"].toInt(), n <= 3 ? 1 : 3);
    EXPECT_EQ(text(nodes[n]["port"]), modem.port());
  }
  EXPECT_EQ(modem.count(ModemEventKind::NoAnswer)[phone(5)], 3);
}

// The same port twice is refused before any dial; a lone port that is not
// there ends the round at once, with a log of nodes never tried.
TEST(RoundNight, APortTwiceIsRefusedAndALoneDeadPortFailsTheRoundAtOnce) {
  ModemSim modem(std::vector<CallFaults>(2));
  test::TempDir twice, dead;
  const auto r = round({modem.port(), modem.port()}, dataDir(twice, 2), {"values"});
  EXPECT_EQ(r.status, cli::kExitUsage) << r.err;
  EXPECT_NE(r.err.find("the port " + modem.port() + " is given twice; nothing was dialled"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(modem.dials(), 0u);
  EXPECT_TRUE(roundLogs(twice.path()).empty());

  const auto started = Clock::now();
  const auto none = round({"/dev/ttyUSB97"}, dataDir(dead, 3), {});
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(5));
  EXPECT_EQ(none.status, cli::kExitRoundFailed) << none.err;
  EXPECT_EQ(occurrences(none.err, "the modem on /dev/ttyUSB97 cannot be used"), 1u) << none.err;
  EXPECT_NE(none.out.find("round: 0 of 3 nodes read, 3 not;"), std::string::npos) << none.out;
  std::map<fs::path, QJsonObject> known;
  const auto nodes = nodesOf(addedLog(dead.path(), known));
  ASSERT_EQ(nodes.size(), 3u);
  for (const auto& [n, node] : nodes) EXPECT_EQ(node["attempts"].toInt(), 0) << n;
}

// --nodes 1,1 calls node 1 once; a store another program holds locked for the
// whole round is named once, and the round and its logs go on without it.
TEST(RoundNight, TheLogIsWrittenForANodeGivenTwiceAndAroundALockedStore) {
  ModemSim modem(std::vector<CallFaults>(2));
  test::TempDir once, locked;
  const auto r = round({modem.port()}, dataDir(once, 2), {"--nodes", "1,1", "values"});
  EXPECT_EQ(r.status, cli::kExitOk) << r.err;
  std::map<fs::path, QJsonObject> known;
  EXPECT_EQ(addedLog(once.path(), known)["nodes"].toArray().size(), 1);
  EXPECT_EQ(modem.count(ModemEventKind::Dial)[phone(1)], 1);

  const fs::path file = dataDir(locked, 2) / store::kStoreFileName;
  std::optional<test::StoreLock> lock;
  lock.emplace(file);
  const auto l = round({modem.port()}, locked.path(), {"--redial-pause", "0", "values"});
  lock.reset();
  EXPECT_EQ(l.status, cli::kExitOk) << l.err;
  EXPECT_NE(l.out.find("round: 2 of 2 nodes read, 0 not;"), std::string::npos) << l.out;
  EXPECT_EQ(occurrences(l.err, "is locked by another program"), 1u) << l.err;
  known.clear();
  const QJsonObject log = addedLog(locked.path(), known);
  EXPECT_NE(text(log["store"]).find("is locked by another program"), std::string::npos)
      << text(log["store"]);
  EXPECT_EQ(sqlValue(locked.path(), "SELECT count(*) FROM rounds"), "0");
}

// A disk that fills during the round: no file may grow past 40 KB. The
// round's logs and the reports (a few KB) fit; the store, made beforehand,
// is written through its journal, which an hourly reading grows well past
// that (some 70 KB). The store fails, the round and its logs do not.
TEST(RoundNight, AStoreOnADiskThatFillsLeavesTheLogsWhole) {
  ModemSim modem(std::vector<CallFaults>(2));
  test::TempDir dir;
  ASSERT_EQ(round({modem.port()}, dataDir(dir, 2), {"--nodes", "1", "values"}).status,
            cli::kExitOk);
  std::map<fs::path, QJsonObject> known = roundLogs(dir.path());
  ASSERT_GT(fs::file_size(dir.path() / store::kStoreFileName), 40960u);
  auto child = startCli(modem.port(), dir.path(), pcNow(),
                        {"--nodes", "2", "values", "hourly", yesterday()}, 40960);
  const auto r = finish(*child);
  EXPECT_TRUE(r.status == cli::kExitOk || r.status == cli::kExitNodesNotRead) << r.status << r.err;
  EXPECT_NE(r.out.find("round: "), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("could not be written"), std::string::npos) << r.out;
  const QJsonObject log = addedLog(dir.path(), known);
  EXPECT_EQ(log["nodes"].toArray().size(), 1);
  EXPECT_FALSE(text(log["store"]).empty()) << r.err;
  EXPECT_NE(r.err.find("vardis-cli: " + text(log["store"])), std::string::npos) << r.err;
  EXPECT_EQ(occurrences(r.err, "vardis-cli: the store "), 1u) << r.err;
}

// Two rounds started in the same second: each keeps a log of its own.
TEST(RoundNight, TwoRoundsInOneSecondKeepBothLogs) {
  ModemSim a(std::vector<CallFaults>(1)), b(std::vector<CallFaults>(1));
  test::TempDir dir;
  dataDir(dir, 1);
  const std::string second = pcNow();
  auto first = startCli(a.port(), dir.path(), second, {"values"});
  auto other = startCli(b.port(), dir.path(), second, {"values"});
  const auto ra = finish(*first);
  const auto rb = finish(*other);
  EXPECT_EQ(ra.status, cli::kExitOk) << ra.err;
  EXPECT_EQ(rb.status, cli::kExitOk) << rb.err;
  const auto logs = roundLogs(dir.path());
  ASSERT_EQ(logs.size(), 2u);
  std::set<std::string> ports, names;
  for (const auto& [file, log] : logs) {
    ports.insert(text(log["ports"]));
    names.insert(file.filename().string());
    EXPECT_NE(ra.out.find(fs::path(file).replace_extension(".csv").string()) == std::string::npos,
              rb.out.find(fs::path(file).replace_extension(".csv").string()) == std::string::npos)
        << file;
  }
  EXPECT_EQ(ports, (std::set<std::string>{a.port(), b.port()}));
  std::string stamp = second;
  for (char& c : stamp) c = c == ':' ? '-' : (c == ' ' ? '_' : c);
  EXPECT_EQ(names,
            (std::set<std::string>{"round-" + stamp + ".json", "round-" + stamp + "-2.json"}));
}

// Many logs of one second written at once, as by rounds started together:
// each whole under a name of its own, none lost to another.
TEST(RoundNight, LogsWrittenAtOnceUnderOneNameAllStay) {
  test::TempDir dir;
  cli::RoundLog log;
  log.round.started = "2026-12-09T02:57:34";
  log.round.nodes.resize(1);
  std::vector<std::string> paths[2];
  std::vector<std::thread> writers;
  for (auto& mine : paths) {
    writers.emplace_back([&] {
      for (int i = 0; i < 40; ++i) {
        std::string error;
        mine.push_back(cli::writeRoundLog(dir.path(), log, error));
        EXPECT_EQ(error, "");
      }
    });
  }
  for (auto& t : writers) t.join();
  std::set<std::string> all(paths[0].begin(), paths[0].end());
  all.insert(paths[1].begin(), paths[1].end());
  all.erase("");
  EXPECT_EQ(all.size(), 80u);
  EXPECT_EQ(roundLogs(dir.path()).size(), 80u);
}

// A round killed while a meter is being read leaves the modem in a call; the
// next round on that modem hangs it up first and reads every node.
TEST(RoundNight, ARoundKilledMidCallLeavesNothingInTheNextOnesWay) {
  ModemSim modem(std::vector<CallFaults>(3));
  test::TempDir dir;
  auto child = startCli(modem.port(), dataDir(dir, 3), pcNow(), {"--redial-pause", "0", "values"});
  ASSERT_TRUE(modem.sim.waitForModemEvent(ModemEventKind::Connect, 1, std::chrono::seconds(30)));
  ASSERT_TRUE(modem.sim.waitForLog(1, std::chrono::seconds(30)));
  EXPECT_EQ(test::exitStatusOf(child->killWith(SIGKILL)), 128 + SIGKILL);
  ASSERT_EQ(modem.sim.modemState(), sim::ModemState::Online);
  const std::size_t before = modem.sim.modemLog().size();
  std::map<fs::path, QJsonObject> known = roundLogs(dir.path());

  const auto r =
      round({modem.port()}, dir.path(), {"--redial-pause", "0", "values"}, {"--no-store"});
  EXPECT_EQ(r.status, cli::kExitOk) << r.err;
  for (const auto& [n, node] : nodesOf(addedLog(dir.path(), known))) {
    EXPECT_EQ(text(node["result"]), "read") << n;
    EXPECT_EQ(node["attempts"].toInt(), 1) << n;
  }
  // The call left standing was ended before the first new dial.
  const auto events = modem.sim.modemLog();
  std::vector<ModemEventKind> kinds;
  for (std::size_t k = before; k < events.size(); ++k) {
    if (events[k].kind == ModemEventKind::Dial) break;
    kinds.push_back(events[k].kind);
  }
  ASSERT_GE(kinds.size(), 2u);
  EXPECT_EQ(kinds.front(), ModemEventKind::Escape);
  EXPECT_EQ(kinds.back(), ModemEventKind::HangUp);
  EXPECT_EQ(sqlValue(dir.path(), "PRAGMA integrity_check"), "ok");
}

// The same-day skip holds only for the settings of the round that read the
// nodes: another speed dials them again, the first's settings do not.
TEST(RoundNight, TheSameDaySkipHoldsOnlyForTheSameSpeed) {
  ModemSim modem(std::vector<CallFaults>(2));
  test::TempDir dir;
  std::map<fs::path, QJsonObject> known;
  ASSERT_EQ(round({modem.port()}, dataDir(dir, 2), {"--redial-pause", "0", "values"}).status,
            cli::kExitOk);
  EXPECT_EQ(addedLog(dir.path(), known)["baud"].toInt(), 115200);
  EXPECT_EQ(modem.dials(), 2u);

  const auto slower =
      round({modem.port()}, dir.path(), {"--redial-pause", "0", "values"}, {"--speed", "57600"});
  EXPECT_EQ(slower.status, cli::kExitOk) << slower.err;
  const QJsonObject log = addedLog(dir.path(), known);
  EXPECT_EQ(log["baud"].toInt(), 57600);
  EXPECT_EQ(modem.dials(), 4u);
  for (const auto& [n, node] : nodesOf(log)) {
    EXPECT_EQ(node["attempts"].toInt(), 1) << n;
    EXPECT_NE(text(node["message"]), "read earlier today") << n;
  }

  const auto again = round({modem.port()}, dir.path(), {"--redial-pause", "0", "values"});
  EXPECT_EQ(again.status, cli::kExitOk) << again.err;
  EXPECT_EQ(modem.dials(), 4u);
  const auto nodes = nodesOf(addedLog(dir.path(), known));
  ASSERT_EQ(nodes.size(), 2u);
  for (const auto& [n, node] : nodes) {
    EXPECT_EQ(text(node["result"]), "read") << n;
    EXPECT_EQ(text(node["message"]), "read earlier today") << n;
    EXPECT_EQ(node["attempts"].toInt(), 0) << n;
  }
}

// A node of the node file without tel_N is named and never dialled; the
// others are read.
TEST(RoundNight, ANodeWithoutADialTextIsNamedAndNeverDialled) {
  ModemSim modem(std::vector<CallFaults>(3));
  test::TempDir dir;
  const auto r = round({modem.port()}, dataDir(dir, 3, {2}), {"--redial-pause", "0", "values"});
  EXPECT_EQ(r.status, cli::kExitNodesNotRead) << r.err;
  EXPECT_EQ(occurrences(r.err, "node 2 has no tel_2 in gsm_csd.ini; it is not dialled"), 1u)
      << r.err;
  std::map<std::string, int> dialled;
  for (const auto& e : modem.sim.modemLog()) {
    if (e.kind == ModemEventKind::Dial) ++dialled[e.number];
  }
  EXPECT_EQ(dialled, (std::map<std::string, int>{{phone(1), 1}, {phone(3), 1}}));
  std::map<fs::path, QJsonObject> known;
  auto nodes = nodesOf(addedLog(dir.path(), known));
  ASSERT_EQ(nodes.size(), 3u);
  EXPECT_EQ(text(nodes[1]["result"]), "read");
  EXPECT_EQ(text(nodes[3]["result"]), "read");
  EXPECT_EQ(text(nodes[2]["result"]), "error");
  EXPECT_EQ(nodes[2]["attempts"].toInt(), 0);
}

}  // namespace
}  // namespace vardis
