// Setting up the meters behind the modem's numbers: the --number options, the
// data file's "numbers" list, the example round of sim/examples, the
// histories of their own, and the program answering two numbers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "link/frame.h"
#include "sim/command_line.h"
#include "sim/numbers.h"
#include "support/child_process.h"

namespace vardis::sim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kPatience{10000};

TEST(SimNumberOptions, ReadsPhonesSerialsAndFaults) {
  const CommandLine cl =
      parseCommandLine({"--modem", "--number", "+79000000001:4711", "--number=+79000000002,busy=2",
                        "--number", "ATD+79000000003,no-answer", "--number",
                        "8 900 000-00-04,silent=1,no-carrier=0.25", "--no-answer-delay", "90"});
  ASSERT_EQ(cl.numbers.size(), 4u);
  EXPECT_EQ(cl.numbers[0].phone, "+79000000001");
  EXPECT_EQ(cl.numbers[0].serial, 4711u);
  EXPECT_FALSE(cl.numbers[0].faults.any());
  EXPECT_EQ(cl.numbers[1].faults.busyCalls, 2u);
  EXPECT_FALSE(cl.numbers[1].serial.has_value());
  EXPECT_EQ(cl.numbers[2].phone, "ATD+79000000003");
  EXPECT_EQ(cl.numbers[2].faults.noAnswerCalls, kEveryCall);
  EXPECT_EQ(cl.numbers[3].phone, "8 900 000-00-04");
  EXPECT_EQ(cl.numbers[3].faults.silentCalls, 1u);
  EXPECT_EQ(cl.numbers[3].faults.noCarrierAfterMs, 250);
  EXPECT_EQ(cl.simulator.modem.noAnswerDelayMs, 90);
  EXPECT_EQ(parseCommandLine({"--modem"}).simulator.modem.noAnswerDelayMs, -1);
  EXPECT_NE(usageText().find("--number PHONE[:SERIAL][,FAULT]..."), std::string::npos);
}

TEST(SimNumberOptions, RefusesBadNumbers) {
  const std::vector<std::vector<std::string>> bad = {
      {"--number", "+79000000001"},
      {"--no-answer-delay", "100"},
      {"--modem", "--number", "ATD"},
      {"--modem", "--number", "+7900:x"},
      {"--modem", "--number", "+7900:16777216"},
      {"--modem", "--number", "+7900,busy"},
      {"--modem", "--number", "+7900,busy=0"},
      {"--modem", "--number", "+7900,no-carrier=0"},
      {"--modem", "--number", "+7900,no-carrier"},
      {"--modem", "--number", "+7900,hold=3"},
      {"--modem", "--number", "+7900", "--number", "ATDT +7 900"},
  };
  for (const auto& args : bad) {
    EXPECT_THROW(parseCommandLine(args), UsageError) << args.back();
  }
  try {
    parseCommandLine({"--modem", "--number", "+7900,hold=3"});
  } catch (const UsageError& e) {
    EXPECT_NE(std::string(e.what()).find("unknown fault 'hold=3'"), std::string::npos) << e.what();
  }
}

TEST(SimNumberSetup, EachNumberHasAMeterOfItsOwn) {
  MeterSetup setup;
  loadSetupJson(setup, R"({
    "parameters": {"9": 3},
    "numbers": [
      {"phone": "+79000000001"},
      {"phone": "+79000000002", "serial": 777, "data": {"seed": 40, "parameters": {"9": 5}},
       "faults": {"busy": 2, "noAnswer": 1, "silent": true, "noCarrierAfter": 1.5}}
    ]})");
  addNumber(setup, NumberOption{"ATD+79000000003", 555, {.busyCalls = 1}});
  addNumber(setup, NumberOption{"+79000000004", std::nullopt, {}});
  ASSERT_EQ(setup.numbers.size(), 4u);
  const auto& n = setup.numbers;
  EXPECT_EQ(setup.base.parameter(9), 3.0f);
  EXPECT_EQ(setup.base.historySeed(), 0u);
  EXPECT_EQ(n[0].meter.parameter(0), 10001.0f);
  EXPECT_EQ(n[0].meter.historySeed(), 1u);
  EXPECT_EQ(n[0].meter.parameter(9), 3.0f);  // the file's data for every meter
  EXPECT_FALSE(n[0].number.faults.any());
  EXPECT_EQ(n[1].meter.parameter(0), 777.0f);
  EXPECT_EQ(n[1].meter.historySeed(), 40u);
  EXPECT_EQ(n[1].meter.parameter(9), 5.0f);
  const CallFaults& f = n[1].number.faults;
  EXPECT_EQ(f.busyCalls, 2u);
  EXPECT_EQ(f.noAnswerCalls, 1u);
  EXPECT_EQ(f.silentCalls, kEveryCall);
  EXPECT_EQ(f.noCarrierAfterMs, 1500);
  EXPECT_EQ(n[2].meter.parameter(0), 555.0f);
  EXPECT_EQ(n[2].number.faults.busyCalls, 1u);
  EXPECT_EQ(n[3].meter.parameter(0), 10004.0f);
  EXPECT_EQ(n[3].meter.historySeed(), 4u);
  EXPECT_THROW(addNumber(setup, NumberOption{"+7 900 000 00 04", std::nullopt, {}}), DataError);
}

TEST(SimNumberSetup, AFileWithAnErrorChangesNothing) {
  const std::map<std::string, std::string> bad = {
      {R"({"numbers": {}})", "at \"numbers\": expected an array"},
      {R"({"numbers": [{"serial": 1}]})", "at \"numbers[0]\": missing \"phone\""},
      {R"({"numbers": [{"phone": "ATDT"}]})", "has no digits"},
      {R"({"numbers": [{"phone": "+7900"}, {"phone": "+7 900"}]})", "+7900 is in the list already"},
      {R"({"numbers": [{"phone": "1", "faults": {"busy": true}}]})", "numbers[0].faults.busy"},
      {R"({"numbers": [{"phone": "1", "faults": {"noCarrierAfter": 0}}]})", "noCarrierAfter"},
      {R"({"numbers": [{"phone": "1", "faults": {"hold": 1}}]})", "numbers[0].faults.hold"},
      {R"({"numbers": [{"phone": "1", "data": {"counters": {"24": -1}}}]})",
       "at \"numbers[0].data.counters.24\""},
      {R"({"numbers": [{"phone": "1", "data": {"numbers": []}}]})", "numbers[0].data.numbers"},
      {R"({"numbers": [{"phone": "1", "serial": 16777216}]})", "numbers[0].serial"},
      {R"({"seed": -1, "numbers": []})", "at \"seed\""},
  };
  for (const auto& [text, where] : bad) {
    MeterSetup setup;
    setup.base.pinParameter(9, 8.0f);
    try {
      loadSetupJson(setup, text);
      ADD_FAILURE() << "no error for " << text;
    } catch (const DataError& e) {
      EXPECT_NE(std::string(e.what()).find(where), std::string::npos) << e.what();
    }
    EXPECT_TRUE(setup.numbers.empty()) << text;
    EXPECT_EQ(setup.base.parameter(9), 8.0f) << text;
  }
}

TEST(SimNumberSetup, AHistoryOfItsOwnStillAddsUp) {
  MeterModel usual;
  MeterModel other;
  other.setHistorySeed(7);
  const double t1 = usual.archiveValue(RecordKind::Hourly, 1104080500, kTemperature1);
  const double t2 = other.archiveValue(RecordKind::Hourly, 1104080500, kTemperature1);
  EXPECT_NE(t1, t2);
  EXPECT_NEAR(t1, t2, 2.0);  // the same season and hour of the day
  // The integrators at the end of a day are those of the day before plus the day.
  const auto before = other.dayEndTotals(2011, 4, 7).value();
  const auto after = other.dayEndTotals(2011, 4, 8).value();
  const Amounts day = other.dayAmounts(2011, 4, 8);
  for (int q = 0; q < kTotalCount; ++q) {
    const auto i = static_cast<std::size_t>(q);
    EXPECT_EQ(after[i], before[i] + day.byQuantity(q)) << q;
  }
  EXPECT_NE(after, usual.dayEndTotals(2011, 4, 8).value());
}

// The source tree, from this file's place in it.
std::filesystem::path sourceTree() {
  return std::filesystem::path(__FILE__).parent_path().parent_path();
}

// tel_N and name_uN of a gsm_csd.ini, read plainly.
std::map<std::string, std::string> iniKeys(const std::filesystem::path& file) {
  std::map<std::string, std::string> keys;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    const auto eq = line.find('=');
    if (line.empty() || line[0] == ';' || eq == std::string::npos) continue;
    keys[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return keys;
}

TEST(SimNumberSetup, TheExampleRoundMatchesItsNodeFile) {
  MeterSetup setup;
  loadSetupFile(setup, (sourceTree() / "sim/examples/round.json").string());
  ASSERT_EQ(setup.numbers.size(), 6u);
  std::map<std::string, std::string> keys = iniKeys(sourceTree() / "sim/examples/gsm_csd.ini");
  EXPECT_EQ(keys["kol_uzlov"], "6");
  for (std::size_t i = 0; i < 6; ++i) {
    const std::string n = std::to_string(i + 1);
    EXPECT_EQ(dialledNumber(keys["tel_" + n]), dialledNumber(setup.numbers[i].number.phone)) << n;
    EXPECT_LE(keys["tel_" + n].size(), 15u) << "the tool sends at most 15 characters";
    EXPECT_FALSE(keys["name_u" + n].empty()) << n;
    EXPECT_EQ(setup.numbers[i].meter.parameter(0), 10001.0f + static_cast<float>(i));
  }
  const auto faultsOf = [&](std::size_t i) { return setup.numbers[i].number.faults; };
  for (std::size_t i = 0; i < 3; ++i) EXPECT_FALSE(faultsOf(i).any()) << i;
  EXPECT_EQ(faultsOf(3).busyCalls, 2u);
  EXPECT_EQ(faultsOf(4).noAnswerCalls, kEveryCall);
  EXPECT_EQ(faultsOf(5).noCarrierAfterMs, 45000);
  EXPECT_EQ(setup.numbers[1].meter.archiveValue(RecordKind::Hourly, 1104080500, kTemperature1),
            71.5);
}

// The program's command line with these options.
std::vector<std::string> simProgram(std::vector<std::string> options) {
  options.insert(options.begin(), VARDIS_METER_SIM_PATH);
  return options;
}

// The tool's end of the program's port.
class ProgramPort {
 public:
  explicit ProgramPort(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    EXPECT_GE(fd_, 0) << path;
  }
  ~ProgramPort() {
    if (fd_ >= 0) ::close(fd_);
  }
  ProgramPort(const ProgramPort&) = delete;
  ProgramPort& operator=(const ProgramPort&) = delete;

  void send(const std::string& bytes) {
    EXPECT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  std::string receive(std::size_t count) {
    std::string got;
    const auto deadline = Clock::now() + kPatience;
    while (got.size() < count && Clock::now() < deadline) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      char buffer[64];
      const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - got.size()));
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }

 private:
  int fd_ = -1;
};

TEST(SimNumberProgram, AnswersEachNumberWithItsMeterAndLogsTheCalls) {
  test::ChildProcess program(
      simProgram({"--modem", "--connect-delay", "20", "--verbose", "--number", "+79000000001",
                  "--number", "+79000000002:4711,busy=1", "--no-answer-delay", "30"}));
  const std::string path = program.nextLine().value_or("");
  ASSERT_EQ(path.rfind("/dev/", 0), 0u) << path;
  {
    ProgramPort port(path);
    port.send("ATD+79000000002\r");
    EXPECT_EQ(port.receive(kModemBusy.size()), kModemBusy);
    port.send("ATD+79000000009\r");
    EXPECT_EQ(port.receive(kModemNoAnswer.size()), kModemNoAnswer);
    port.send("ATD+79000000002\r");
    EXPECT_EQ(port.receive(kModemConnect.size()), kModemConnect);
    const Frame request = buildFrame(0, 5, 0, 0, 0);
    port.send(std::string(request.begin(), request.end()));
    const Frame reply = buildFrame(0, 5, 0, 0, bitsFromFloat(4711.0f));
    EXPECT_EQ(port.receive(kFrameLength), std::string(reply.begin(), reply.end()));
  }
  EXPECT_EQ(test::exitStatusOf(program.killWith(SIGTERM)), 0);
  const std::string log = program.errorText();
  for (const char* expected : {
           "busy -> \"\\r\\nBUSY\\r\\n\", command; call 1 to +79000000002",
           "no answer -> \"\\r\\nNO ANSWER\\r\\n\", command; call 2 to +79000000009 (not a number",
           "connect -> \"\\r\\nCONNECT 9600\\r\\n\", online; call 3 to +79000000002",
           "#1 read parameter [0 0] arg 0 (address 0) -> answered; number +79000000002, meter "
           "4711, call 3",
       }) {
    EXPECT_NE(log.find(expected), std::string::npos) << expected << "\n" << log;
  }
}

TEST(SimNumberProgram, TheFilesNumbersNeedTheModem) {
  test::ChildProcess program(
      simProgram({"--data", (sourceTree() / "sim/examples/round.json").string()}));
  EXPECT_EQ(test::exitStatusOf(program.wait()), 1);
  EXPECT_NE(program.errorText().find("the numbers need --modem"), std::string::npos);
}

}  // namespace
}  // namespace vardis::sim
