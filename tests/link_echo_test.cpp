// A line that sends back what it is sent, and a meter that sends nothing: the
// protocol tells the echo from the reply, and the identification ends on
// either with a message instead of a meter, on a scripted line and virtual clock.
#include <gtest/gtest.h>

#include "archives/session.h"
#include "params/identification.h"
#include "sim/command_line.h"
#include "support/fake_meter.h"
#include "support/temp_dir.h"

namespace vardis {
namespace {

using test::Chunk;
using test::FakeLine;
using test::FakeMeter;
using test::VirtualClock;
using Bytes = std::vector<std::uint8_t>;

// The line's copy of each request at once, then (with `behind`) the meter's reply.
FakeLine::Responder echoing(FakeLine::Responder behind) {
  return [behind](const Bytes& sent) {
    std::vector<Chunk> out{{0, sent}};
    if (behind) {
      for (Chunk& c : behind(sent)) out.push_back(std::move(c));
    }
    return out;
  };
}

struct EchoFixture : ::testing::Test {
  test::TempDir dir;
  VirtualClock clock;
  FakeLine line{clock};
  FakeMeter meter;
  Session session{line, clock, SessionConfig{dir.path(), {}}};
  MeterProtocol& link = session.link;

  void SetUp() override {
    std::filesystem::create_directories(dir.path() / "arc");
    link.port = "/dev/ttyUSB3";
    meter.parameters = {{0, 12345.0f}, {9, 0.0f}, {10, 50.0f}};
  }
  Reply readParameter(std::uint8_t index) {
    link.addr.valueIndex = index;
    return link.ReadParameterTransaction();
  }
  bool noReportFiles() const { return std::filesystem::is_empty(dir.path() / "arc"); }
};

// Behind an echo the reply that follows the copy is taken, once the line is
// known to echo without a wait, also when the reply is the request's bytes.
TEST_F(EchoFixture, TheReplyAfterTheEchoIsTakenAndTheCopyPassedOver) {
  line.responder = echoing(meter.responder());
  const Reply serial = readParameter(0);
  EXPECT_TRUE(serial.good);
  EXPECT_FALSE(serial.maybeEcho);
  EXPECT_EQ(serial.asFloat(), 12345.0f);
  EXPECT_EQ(link.lineEcho(), LineEcho::Echoes);

  const std::int64_t before = clock.ms;
  const Reply unit = readParameter(9);  // value 0 to argument 0: the request's own bytes
  EXPECT_TRUE(unit.good);
  EXPECT_FALSE(unit.maybeEcho);
  EXPECT_EQ(unit.raw, 0u);
  EXPECT_LT(clock.ms - before, 200);
  EXPECT_EQ(link.counters.RequestCount, 2);
  EXPECT_EQ(link.counters.ErrorCount, 0);
  EXPECT_EQ(meter.requests.size(), 2u);
}

// Without an echo a reply equal to its request is a reply: at once once a
// reply has shown the line echo-free, marked as perhaps an echo before that.
TEST_F(EchoFixture, AReplyEqualToItsRequestIsTakenAndMarkedOnlyWhileTheLineIsUnknown) {
  line.responder = meter.responder();
  const Reply first = readParameter(9);
  EXPECT_TRUE(first.good);
  EXPECT_TRUE(first.maybeEcho);
  EXPECT_EQ(link.lineEcho(), LineEcho::Unknown);

  EXPECT_FALSE(readParameter(0).maybeEcho);
  EXPECT_EQ(link.lineEcho(), LineEcho::NoEcho);
  const std::int64_t before = clock.ms;
  const Reply again = readParameter(9);
  EXPECT_TRUE(again.good);
  EXPECT_FALSE(again.maybeEcho);
  EXPECT_LT(clock.ms - before, 200);
  EXPECT_EQ(link.counters.ErrorCount, 0);
}

// Nothing behind the echo: each read takes the copy, marked; the identification
// ends with the echo message within its eight reads, no files.
TEST_F(EchoFixture, AnEchoWithNoMeterEndsTheIdentificationWithoutFiles) {
  line.responder = echoing(nullptr);
  const Reply r = readParameter(3);
  EXPECT_TRUE(r.good);
  EXPECT_TRUE(r.maybeEcho);

  const std::int64_t before = clock.ms;
  try {
    MeterIdentification(session);
    FAIL() << "expected the echo to end it";
  } catch (const LineEchoOnly& e) {
    EXPECT_NE(std::string(e.what()).find("sends back what it is sent"), std::string::npos);
  }
  EXPECT_EQ(line.sent.size(), 1u + 8u);
  EXPECT_LT(clock.ms - before, 40000);
  EXPECT_TRUE(noReportFiles());
  EXPECT_FALSE(session.reports.ReportFilesOpen);
  EXPECT_EQ(session.progress(), 0);
  EXPECT_TRUE(session.params.noReply[0]);
}

// Not a byte to the first read: the identification ends after its 11 attempts
// with the port, the speed and the address named.
TEST_F(EchoFixture, ASilentMeterEndsTheIdentificationAfterTheFirstRead) {
  line.responder = nullptr;
  session.openLine({"7", "/dev/ttyUSB3", 4, false});  // 9600 baud
  try {
    MeterIdentification(session);
    FAIL() << "expected the silence to end it";
  } catch (const MeterSilent& e) {
    const std::string text = e.what();
    for (const char* part : {"/dev/ttyUSB3", "9600 baud", "address 7", "cable"})
      EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
  }
  EXPECT_EQ(line.sent.size(), 11u);
  EXPECT_LE(clock.ms, 40000);
  EXPECT_TRUE(noReportFiles());
  EXPECT_EQ(session.progress(), 0);
}

TEST(SimulatorEchoOptions, EchoAndEchoOnly) {
  const auto echo = sim::parseCommandLine({"--echo"}).simulator.faults;
  EXPECT_TRUE(echo.echo);
  EXPECT_FALSE(echo.silent);
  const auto only = sim::parseCommandLine({"--echo-only"}).simulator.faults;
  EXPECT_TRUE(only.echo);
  EXPECT_TRUE(only.silent);
}

}  // namespace
}  // namespace vardis
