// vardis-cli on a pseudo-terminal whose line echoes what it is sent, with and
// without a meter behind it, and on a meter that never answers.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <map>

#include "store/reading_store.h"
#include "support/cli_data.h"
#include "support/cli_runner.h"
#include "support/pty_meter.h"
#include "support/store_sql.h"
#include "support/temp_dir.h"

namespace vardis {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPcTime = test::kPinnedPcTime;
using test::dataDir;
using test::pinMeter;
const auto reports = test::reportFiles;

// No meter and no visit's meter in the store (or no store at all).
bool noMeterStored(const fs::path& data) {
  if (!fs::exists(data / store::kStoreFileName)) return true;
  return test::sqlValue(data, "SELECT count(*) FROM meters") == "0";
}

sim::FaultOptions echo(bool meterBehind) {
  sim::FaultOptions f;
  f.echo = true;
  f.silent = !meterBehind;
  return f;
}

TEST(EchoCli, AnEchoWithNoMeterBehindEndsWithTheEchoMessageAndNothingKept) {
  test::PtyMeter meter(echo(false), pinMeter);
  test::TempDir dir;
  const auto r =
      test::runCli(meter.simulator->portPath(), dataDir(dir), kPcTime, {"values", "monthly"});
  EXPECT_EQ(r.status, cli::kExitLinkFault) << r.err;
  EXPECT_NE(r.err.find("sends back what it is sent"), std::string::npos) << r.err;
  EXPECT_EQ(r.out.find("identified"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::is_empty(dir.path() / "arc"));
  EXPECT_TRUE(noMeterStored(dir.path()));
}

// Behind an echo the meter's values and reports are those it gives without one.
TEST(EchoCli, AMeterBehindAnEchoGivesTheReportsOfAMeterWithout) {
  test::TempDir plainDir, echoDir;
  const std::vector<std::string> commands{"params", "monthly"};
  {
    test::PtyMeter plain({}, pinMeter);
    const auto r = test::runCli(plain.simulator->portPath(), dataDir(plainDir), kPcTime, commands);
    ASSERT_EQ(r.status, cli::kExitOk) << r.err;
  }
  test::PtyMeter echoed(echo(true), pinMeter);
  const auto r = test::runCli(echoed.simulator->portPath(), dataDir(echoDir), kPcTime, commands);
  ASSERT_EQ(r.status, cli::kExitOk) << r.err;
  const auto want = reports(plainDir.path());
  ASSERT_EQ(want.size(), 4u);
  EXPECT_EQ(reports(echoDir.path()), want);
  EXPECT_EQ(test::sqlValue(echoDir.path(), "SELECT count(*) FROM meters"), "1");
}

class SilentCli : public ::testing::TestWithParam<const char*> {};

// A meter that never answers is named within seconds, at either speed.
TEST_P(SilentCli, ASilentMeterIsNamedWithinFortySeconds) {
  sim::FaultOptions silent;
  silent.silent = true;
  test::PtyMeter meter(silent, pinMeter);
  test::TempDir dir;
  const std::string port = meter.simulator->portPath();
  QElapsedTimer took;
  took.start();
  const auto r = test::runCli(port, dataDir(dir), kPcTime,
                              {"--speed", GetParam(), "--address", "7", "values", "monthly"});
  EXPECT_LT(took.elapsed(), 40000);
  EXPECT_EQ(r.status, cli::kExitLinkFault) << r.err;
  for (const std::string& part :
       {port, std::string(GetParam()) + " baud", std::string("address 7"), std::string("cable")})
    EXPECT_NE(r.err.find(part), std::string::npos) << part << " in " << r.err;
  EXPECT_TRUE(fs::is_empty(dir.path() / "arc"));
  EXPECT_TRUE(noMeterStored(dir.path()));
}

INSTANTIATE_TEST_SUITE_P(Speeds, SilentCli, ::testing::Values("115200", "9600"));

}  // namespace
}  // namespace vardis
