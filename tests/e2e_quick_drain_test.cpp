// The quick drain end to end: the reports it writes are those of the full
// drain, a meter that needs a pause after its reply costs one exchange, and a
// round logs which drain each node had.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>
#include <map>

#include "connection/data_dir.h"
#include "link/meter_protocol.h"
#include "support/cli_data.h"
#include "support/cli_runner.h"
#include "support/pty_meter.h"
#include "support/round_modem.h"
#include "support/temp_dir.h"

namespace vardis {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPcTime = test::kPinnedPcTime;
using test::pinMeter;

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

std::size_t tooSoon(const sim::Simulator& s) {
  std::size_t n = 0;
  for (const auto& e : s.log()) n += e.outcome == sim::Outcome::TooSoon ? 1 : 0;
  return n;
}

// One run of the commands on a meter of its own; the data folder's reports.
std::map<std::string, std::string> readWith(const std::vector<std::string>& args,
                                            sim::FaultOptions faults, test::CliResult& r,
                                            std::size_t* ignored = nullptr) {
  test::PtyMeter meter(faults, pinMeter);
  test::TempDir dir;
  std::vector<std::string> all{"--no-store"};
  all.insert(all.end(), args.begin(), args.end());
  r = test::runCli(meter.simulator->portPath(), test::dataDir(dir), kPcTime, all);
  if (ignored) *ignored = tooSoon(*meter.simulator);
  return test::reportFiles(dir.path());
}

TEST(QuickDrainCli, TheReportsAreByteForByteThoseOfTheFullDrain) {
  const std::vector<std::string> commands{"params",     "hourly",  "2011-04-09", "daily",
                                          "2011-04-09", "monthly", "2011-03-15"};
  test::CliResult full, quick;
  const auto want = readWith(commands, {}, full);
  ASSERT_EQ(full.status, cli::kExitOk) << full.err;
  std::vector<std::string> quickArgs{"--quick-drain"};
  quickArgs.insert(quickArgs.end(), commands.begin(), commands.end());
  const auto got = readWith(quickArgs, {}, quick);
  ASSERT_EQ(quick.status, cli::kExitOk) << quick.err;
  ASSERT_EQ(want.size(), 4u);
  EXPECT_EQ(got, want);
  EXPECT_EQ(quick.err.find(kQuickDrainEndedText), std::string::npos) << quick.err;
}

// A meter that ignores a request sooner than 15 ms after its reply: the first
// quick exchange gets nothing, the rest of the run waits the full drain.
TEST(QuickDrainCli, AMeterThatNeedsThePauseCostsOneExchangeAndLosesNothing) {
  sim::FaultOptions pause;
  pause.minGapMs = 15;
  const std::vector<std::string> commands{"values", "params", "monthly", "2011-03-15"};
  test::CliResult full, quick;
  std::size_t ignoredFull = 0, ignoredQuick = 0;
  const auto want = readWith(commands, pause, full, &ignoredFull);
  ASSERT_EQ(full.status, cli::kExitOk) << full.err;
  EXPECT_EQ(ignoredFull, 0u);
  std::vector<std::string> quickArgs{"--quick-drain"};
  quickArgs.insert(quickArgs.end(), commands.begin(), commands.end());
  const auto got = readWith(quickArgs, pause, quick, &ignoredQuick);
  ASSERT_EQ(quick.status, cli::kExitOk) << quick.err;
  EXPECT_EQ(ignoredQuick, 1u);
  EXPECT_EQ(occurrences(quick.err, kQuickDrainEndedText), 1u) << quick.err;
  ASSERT_EQ(want.size(), 4u);
  EXPECT_EQ(got, want);
}

// Node 1 quick by the node file, node 2 by its own key not; both behind
// meters that need the pause.
TEST(QuickDrainRound, EachNodesRowNamesItsDrain) {
  std::vector<sim::NumberedMeter> meters = test::ModemSim::meters({{}, {}, {}});
  sim::SimulatorOptions options = test::ModemSim::options();
  options.faults.minGapMs = 15;
  sim::Simulator modem(std::move(meters), options);
  modem.start();
  test::TempDir dir;
  const fs::path data = test::dataDir(dir, 3);
  {
    std::ofstream ini(nodeFile(data), std::ios::binary | std::ios::app);
    ini << "quick=1\r\nquick_2=0\r\n";
  }
  const auto r = test::runCli(
      modem.portPath(), data, kPcTime,
      {"--gsm", "--no-store", "--test-dial-wait-ms", "3000", "round", "--nodes", "1,2", "values"});
  modem.stop();
  EXPECT_EQ(r.status, cli::kExitOk) << r.err;
  EXPECT_EQ(occurrences(r.err, std::string("node 1: ") + kQuickDrainEndedText), 1u) << r.err;
  EXPECT_EQ(occurrences(r.err, kQuickDrainEndedText), 1u) << r.err;
  EXPECT_EQ(tooSoon(modem), 1u);

  std::map<int, std::string> drain;
  for (const auto& f : fs::directory_iterator(data / "rounds")) {
    if (f.path().extension() != ".json") continue;
    const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(test::readFile(f)));
    for (const auto& n : doc.object()["nodes"].toArray()) {
      drain[n.toObject()["node"].toInt()] = n.toObject()["drain"].toString().toStdString();
    }
    const std::string csv = test::readFile(fs::path(f.path()).replace_extension(".csv"));
    EXPECT_NE(csv.find(",message,drain,"), std::string::npos) << csv;
    EXPECT_NE(csv.find(",\"quick, then full\","), std::string::npos) << csv;
  }
  EXPECT_EQ(drain, (std::map<int, std::string>{{1, "quick, then full"}, {2, "full"}}));
}

}  // namespace
}  // namespace vardis
