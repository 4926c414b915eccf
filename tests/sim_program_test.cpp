// The vardis-meter-sim program: its options, and a run as the end-to-end tests
// use it (first line on stdout is the port, SIGTERM ends it).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "link/frame.h"
#include "sim/command_line.h"
#include "support/child_process.h"

namespace vardis::sim {
namespace {

using test::ChildProcess;
using test::exitStatusOf;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kPatience{10000};

TEST(SimCommandLine, ReadsEveryOption) {
  const CommandLine cl =
      parseCommandLine({"--address", "7", "--data", "meter.json", "--device=/dev/ttyS1", "--speed",
                        "115200", "--drop", "5", "--corrupt=3", "--split", "--noise", "--late",
                        "250", "--silent", "--pace", "--turnaround", "20", "--verbose"});
  EXPECT_EQ(cl.address, 7);
  EXPECT_EQ(cl.dataFile, "meter.json");
  EXPECT_EQ(cl.simulator.device, "/dev/ttyS1");
  EXPECT_EQ(cl.simulator.speed, 115200u);
  const FaultOptions& f = cl.simulator.faults;
  EXPECT_EQ(f.dropEvery, 5u);
  EXPECT_EQ(f.corruptEvery, 3u);
  EXPECT_TRUE(f.split);
  EXPECT_TRUE(f.noise);
  EXPECT_EQ(f.lateMs, 250);
  EXPECT_TRUE(f.silent);
  EXPECT_TRUE(f.pace);
  EXPECT_EQ(f.turnaroundMs, 20);
  EXPECT_TRUE(cl.verbose);
  EXPECT_FALSE(cl.help);
}

TEST(SimCommandLine, DefaultsAreAPlainMeter) {
  const CommandLine cl = parseCommandLine({});
  EXPECT_FALSE(cl.address.has_value());
  EXPECT_TRUE(cl.dataFile.empty());
  EXPECT_TRUE(cl.simulator.device.empty());
  EXPECT_EQ(cl.simulator.speed, 9600u);
  const FaultOptions& f = cl.simulator.faults;
  EXPECT_EQ(f.dropEvery, 0u);
  EXPECT_EQ(f.corruptEvery, 0u);
  EXPECT_FALSE(f.split || f.noise || f.silent || f.pace);
  EXPECT_EQ(f.lateMs, 0);
  EXPECT_EQ(f.turnaroundMs, 0);
  EXPECT_FALSE(cl.simulator.modem.enabled);
  EXPECT_EQ(cl.simulator.modem.connectDelayMs, 200);
  EXPECT_EQ(cl.simulator.modem.guardMs, 200);
  EXPECT_TRUE(parseCommandLine({"--help"}).help);
  EXPECT_NE(usageText().find("--corrupt N"), std::string::npos);
}

TEST(SimCommandLine, ReadsTheModemOptions) {
  const CommandLine cl =
      parseCommandLine({"--modem", "--connect-delay", "1500", "--guard-time=1000", "--silent"});
  EXPECT_TRUE(cl.simulator.modem.enabled);
  EXPECT_EQ(cl.simulator.modem.connectDelayMs, 1500);
  EXPECT_EQ(cl.simulator.modem.guardMs, 1000);
  EXPECT_TRUE(cl.simulator.faults.silent);
  EXPECT_EQ(parseCommandLine({"--connect-delay", "0", "--modem"}).simulator.modem.connectDelayMs,
            0);
  EXPECT_NE(usageText().find("--modem"), std::string::npos);
  EXPECT_NE(usageText().find("--guard-time MS"), std::string::npos);
}

TEST(SimCommandLine, RefusesModemSettingsWithoutTheModem) {
  const std::vector<std::vector<std::string>> bad = {
      {"--connect-delay", "100"},
      {"--guard-time", "100"},
      {"--modem", "--guard-time", "0"},
      {"--modem", "--connect-delay", "-1"},
      {"--modem=yes"},
  };
  for (const auto& args : bad) {
    EXPECT_THROW(parseCommandLine(args), UsageError) << args.back();
  }
  try {
    parseCommandLine({"--guard-time", "100"});
    ADD_FAILURE() << "no usage error";
  } catch (const UsageError& e) {
    EXPECT_EQ(std::string(e.what()), "--guard-time needs --modem");
  }
}

TEST(SimCommandLine, RefusesBadOptions) {
  const std::vector<std::vector<std::string>> bad = {
      {"--address", "256"}, {"--address"},        {"--address", "x"}, {"--drop", "0"},
      {"--speed", "12345"}, {"--late", "-5"},     {"--frobnicate"},   {"--split=yes"},
      {"--data", ""},       {"--corrupt", "2.5"}, {"extra"},
  };
  for (const auto& args : bad) {
    EXPECT_THROW(parseCommandLine(args), UsageError) << args.front();
  }
  try {
    parseCommandLine({"--drop", "0"});
  } catch (const UsageError& e) {
    EXPECT_NE(std::string(e.what()).find("--drop"), std::string::npos) << e.what();
  }
}

// The program's command line with these options.
std::vector<std::string> simProgram(std::vector<std::string> options) {
  options.insert(options.begin(), VARDIS_METER_SIM_PATH);
  return options;
}

// A file name of this process's own, for data files.
std::string scratchFile(const std::string& what) {
  return ::testing::TempDir() + "/sim_program_" + what + "_" + std::to_string(::getpid()) + ".json";
}

Frame exchangeOnce(const std::string& path, const Frame& request) {
  Frame reply{};
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  EXPECT_GE(fd, 0) << path;
  if (fd < 0) return reply;
  EXPECT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  std::size_t got = 0;
  const auto deadline = Clock::now() + kPatience;
  while (got < reply.size() && Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = ::read(fd, reply.data() + got, reply.size() - got);
    if (n > 0) got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return reply;
}

TEST(SimProgram, PrintsThePortThenAnswersUntilTerminated) {
  const std::string data = scratchFile("meter");
  std::ofstream(data) << R"({"address": 2, "parameters": {"0": 4711},
                             "clock": {"packed": 1104080905, "seconds": 7, "running": false}})";
  ChildProcess program(simProgram({"--data", data, "--verbose"}));
  const std::string port = program.nextLine().value_or("");
  ASSERT_EQ(port.rfind("/dev/", 0), 0u) << port;

  EXPECT_EQ(exchangeOnce(port, buildFrame(2, 5, 0, 0, 0)),
            buildFrame(2, 5, 0, 0, bitsFromFloat(4711.0f)));
  EXPECT_EQ(exchangeOnce(port, buildFrame(2, 1, 0, 0, 0)), buildFrame(2, 1, 7, 0, 1104080905));
  EXPECT_EQ(exitStatusOf(program.killWith(SIGTERM)), 0);
  const std::string log = program.errorText();
  EXPECT_NE(log.find("#1 read parameter [0 0]"), std::string::npos) << log;
  EXPECT_NE(log.find("#2 read clock"), std::string::npos) << log;
  std::remove(data.c_str());
}

TEST(SimProgram, AddressOptionOverridesAndSigintEndsIt) {
  ChildProcess program(simProgram({"--address", "9"}));
  const std::string port = program.nextLine().value_or("");
  ASSERT_FALSE(port.empty());
  EXPECT_EQ(exchangeOnce(port, buildFrame(9, 5, 9, 0, 0)),
            buildFrame(9, 5, 9, 0, bitsFromFloat(1.0f)));
  EXPECT_EQ(exitStatusOf(program.killWith(SIGINT)), 0);
}

TEST(SimProgram, ModemModeDialsThenTheMeterAnswers) {
  ChildProcess program(simProgram({"--modem", "--connect-delay", "20", "--verbose"}));
  const std::string port = program.nextLine().value_or("");
  ASSERT_EQ(port.rfind("/dev/", 0), 0u) << port;
  const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0) << port;
  const auto receive = [fd](std::size_t count) {
    std::string got;
    const auto deadline = Clock::now() + kPatience;
    while (got.size() < count && Clock::now() < deadline) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buffer[64];
      const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - got.size()));
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  };
  const std::string dial = "ATD+79000000000\r";
  EXPECT_EQ(::write(fd, dial.data(), dial.size()), static_cast<ssize_t>(dial.size()));
  EXPECT_EQ(receive(16), "\r\nCONNECT 9600\r\n");
  const Frame request = buildFrame(0, 5, 9, 0, 0);
  EXPECT_EQ(::write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  const Frame reply = buildFrame(0, 5, 9, 0, bitsFromFloat(1.0f));
  EXPECT_EQ(receive(kFrameLength), std::string(reply.begin(), reply.end()));
  ::close(fd);

  EXPECT_EQ(exitStatusOf(program.killWith(SIGTERM)), 0);
  const std::string log = program.errorText();
  EXPECT_NE(log.find("modem #1 dial \"ATD+79000000000\\r\" (16 bytes), no answer, dialling"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("modem #2 connect -> \"\\r\\nCONNECT 9600\\r\\n\", online"), std::string::npos)
      << log;
  EXPECT_NE(log.find("#1 read parameter [9 0]"), std::string::npos) << log;
  EXPECT_NE(log.find("modem events 2, command bytes 16"), std::string::npos) << log;
}

TEST(SimProgram, BadDataOrOptionsEndItWithAMessage) {
  const std::string data = scratchFile("bad");
  std::ofstream(data) << R"({"counters": {"24": -1}})";
  ChildProcess badData(simProgram({"--data", data}));
  EXPECT_EQ(exitStatusOf(badData.wait()), 1);
  const std::string message = badData.errorText();
  EXPECT_NE(message.find("counters.24"), std::string::npos) << message;
  EXPECT_NE(message.find(data), std::string::npos) << message;
  std::remove(data.c_str());

  ChildProcess badOption(simProgram({"--drop", "zero"}));
  EXPECT_EQ(exitStatusOf(badOption.wait()), 2);
  EXPECT_NE(badOption.errorText().find("--drop"), std::string::npos);
}

}  // namespace
}  // namespace vardis::sim
