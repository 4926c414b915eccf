// The GSM connection end to end: the real serial line on QSerialPort, the
// tool's modem commands, and the simulated meter behind its simulated modem on
// a pseudo-terminal. The modem's log tells which bytes the tool sent it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "archives/session.h"
#include "cli/cli_app.h"
#include "connection/data_dir.h"
#include "connection/modem_call.h"
#include "link/frame.h"
#include "link/meter_protocol.h"
#include "link/pc_clock.h"
#include "link/qt_serial_line.h"
#include "params/identification.h"
#include "sim/simulator.h"
#include "support/pty_meter.h"
#include "support/temp_dir.h"
#include "values/current_values_read.h"

namespace vardis {
namespace {

using Clock = std::chrono::steady_clock;
using sim::ModemEventKind;
using std::chrono::milliseconds;

constexpr int kConnectDelayMs = 100;
constexpr int kGuardMs = 25;
// The tool sends "+++" as soon as its last exchange is over. The meter's
// turnaround keeps the line quiet for at least the guard time between the last
// request and the escape.
constexpr int kTurnaroundMs = 30;
static_assert(kTurnaroundMs >= kGuardMs);
constexpr milliseconds kPatience{10000};

// What the current-value reading asks: float values 0..30, counters 0..25, the clock.
constexpr std::size_t kCurrentValueRequests = 31 + 26 + 1;
constexpr std::size_t kIdentificationRequests = 8;

void breathe() {
  QCoreApplication::processEvents();
}

// The simulated meter behind its simulated modem.
struct ModemMeter {
  explicit ModemMeter(const std::function<void(sim::MeterModel&)>& setUp = {}) {
    sim::MeterModel model;
    if (setUp) setUp(model);
    sim::SimulatorOptions options;
    options.speed = 115200;
    options.faults.turnaroundMs = kTurnaroundMs;
    options.modem.enabled = true;
    options.modem.connectDelayMs = kConnectDelayMs;
    options.modem.guardMs = kGuardMs;
    simulator = std::make_unique<sim::Simulator>(std::move(model), options);
    simulator->start();
  }
  ~ModemMeter() { simulator->stop(); }

  std::string port() const { return simulator->portPath(); }

  // Requests the meter took.
  std::vector<sim::LogEntry> requests() const {
    std::vector<sim::LogEntry> out;
    for (const auto& e : simulator->log()) {
      if (e.seq != 0) out.push_back(e);
    }
    return out;
  }

  // Waits, letting Qt run, until the modem logged `count` events of `kind`.
  bool waitFor(ModemEventKind kind, std::size_t count = 1) const {
    const auto deadline = Clock::now() + kPatience;
    while (Clock::now() < deadline) {
      if (simulator->waitForModemEvent(kind, count, milliseconds(20))) return true;
      breathe();
    }
    return false;
  }

  std::vector<ModemEventKind> kinds() const {
    std::vector<ModemEventKind> out;
    for (const auto& e : simulator->modemLog()) out.push_back(e.kind);
    return out;
  }

  std::unique_ptr<sim::Simulator> simulator;
};

std::string hexOf(std::string_view bytes) {
  return hexBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

struct ModemE2E : ::testing::Test {
  void SetUp() override { std::filesystem::create_directories(dir.path() / "arc"); }

  void expectReportFiles(const std::string& base) const {
    for (const char* suffix : {"_par.txt", "_chas.txt", "_sut.txt", "_mes.txt"}) {
      EXPECT_TRUE(std::filesystem::exists(dir.path() / "arc" / (base + suffix))) << base << suffix;
    }
  }

  test::TempDir dir;
  std::unique_ptr<PcClock> clock = makeFixedClock({2011, 4, 8, 9, 5, 0, 0});
};

TEST_F(ModemE2E, DialIdentifyReadValuesAndHangUpOverTheCall) {
  ModemMeter meter([](sim::MeterModel& m) {
    m.pinFloatValue(4, 71.25f);
    m.pinCounter(24, 4096);
  });
  QtSerialLine line;
  SessionConfig cfg;
  cfg.dataDir = dir.path();
  Session s(line, *clock, cfg);
  s.setBreathe(breathe);
  std::vector<std::string> trace;
  s.setTrace([&trace](const std::string& l) { trace.push_back(l); });

  StartConnection(s, {"0", meter.port(), 8, true});
  EXPECT_FALSE(s.reports.ReportFilesOpen);

  // A dial text longer than 15 characters is cut; CR follows.
  Dial(s, "ATD+79000000000123");
  EXPECT_EQ(s.shown().callStatus, "Соединение ~30c");
  ASSERT_TRUE(meter.waitFor(ModemEventKind::Dial));
  {
    // The dial command is the first thing the modem got: "Старт" sent nothing.
    const auto log = meter.simulator->modemLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].receivedText(), "ATD+79000000000\r");
    EXPECT_EQ(log[0].received.size(), 16u);
    EXPECT_EQ(log[0].text, "ATD+79000000000");
    EXPECT_EQ(meter.simulator->stats().bytesReceived, 16u);
  }

  // The tool never reads the modem's answers; instead of its 35 s the test
  // waits until CONNECT is on the line.
  ASSERT_TRUE(meter.waitFor(ModemEventKind::Connect));
  trace.clear();
  DialWaitElapsed(s);

  ASSERT_TRUE(meter.simulator->waitForLog(kIdentificationRequests, kPatience));
  EXPECT_EQ(meter.requests().size(), kIdentificationRequests);
  EXPECT_EQ(s.link.counters.RequestCount, 8);
  EXPECT_EQ(s.link.counters.ErrorCount, 0);
  EXPECT_EQ(s.link.counters.TimeoutCount, 0);
  EXPECT_EQ(s.link.LinkFault, 0);
  EXPECT_TRUE(s.reports.ReportFilesOpen);
  EXPECT_EQ(s.shown().reportBaseName, "12345D2011_04_08_09_05");
  expectReportFiles("12345D2011_04_08_09_05");
  // The drain of the first exchange threw the modem's CONNECT away.
  ASSERT_FALSE(trace.empty());
  EXPECT_NE(trace.front().find("drain<- [" + hexOf(sim::kModemConnect) + "]"), std::string::npos)
      << trace.front();

  ReadCurrentValues(s);
  ASSERT_TRUE(
      meter.simulator->waitForLog(kIdentificationRequests + kCurrentValueRequests, kPatience));
  EXPECT_EQ(meter.requests().size(), kIdentificationRequests + kCurrentValueRequests);
  EXPECT_EQ(s.values.floats[4], 71.25);
  EXPECT_EQ(s.values.counters[24], 4096.0);
  EXPECT_EQ(s.link.counters.RequestCount,
            static_cast<int>(kIdentificationRequests + kCurrentValueRequests));
  EXPECT_EQ(s.link.counters.ErrorCount, 0);
  EXPECT_EQ(s.link.LinkFault, 0);

  StartHangUp(s);
  EXPECT_EQ(s.shown().callStatus, "Разрыв  ~5c ");
  // The modem takes "+++" once the guard time after it has passed in silence.
  ASSERT_TRUE(meter.waitFor(ModemEventKind::Escape));
  EXPECT_EQ(meter.simulator->modemState(), sim::ModemState::OnlineCommand);

  HangUpWaitElapsed(s);
  EXPECT_EQ(s.shown().callStatus, "Завершено");
  ASSERT_TRUE(meter.waitFor(ModemEventKind::HangUp));
  EXPECT_EQ(meter.simulator->modemState(), sim::ModemState::Command);

  const auto log = meter.simulator->modemLog();
  EXPECT_EQ(meter.kinds(),
            (std::vector<ModemEventKind>{ModemEventKind::Dial, ModemEventKind::Connect,
                                         ModemEventKind::Escape, ModemEventKind::HangUp}));
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[2].receivedText(), "+++");
  EXPECT_EQ(log[3].receivedText(), "ATH\r");
  EXPECT_EQ(log[3].answer, "\r\nOK\r\n");
  // Every byte the tool sent is accounted for: the dial command, the requests,
  // three pluses and "ATH" CR; only the dial and ATH were modem commands.
  const sim::SimulatorStats stats = meter.simulator->stats();
  EXPECT_EQ(stats.bytesReceived,
            16 + (kIdentificationRequests + kCurrentValueRequests) * kFrameLength + 3 + 4);
  EXPECT_EQ(stats.modemBytes, 16u + 4u);
  s.StopConnection();
}

TEST_F(ModemE2E, AShortDialTextGoesWholeWithItsCr) {
  ModemMeter meter;
  test::LineSession ls(meter.port(), dir.path(), *clock);  // a GSM line: no identification
  Dial(*ls.session, "+7900");
  ASSERT_TRUE(meter.waitFor(ModemEventKind::Dial));
  const auto log = meter.simulator->modemLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].receivedText(), "+7900\r");
  EXPECT_EQ(log[0].received.size(), 6u);
  EXPECT_EQ(meter.simulator->stats().bytesReceived, 6u);
  // A bare number dials as well as "ATD" and a number.
  ASSERT_TRUE(meter.waitFor(ModemEventKind::Connect));
  EXPECT_EQ(meter.simulator->modemState(), sim::ModemState::Online);
}

TEST_F(ModemE2E, AMeterRequestBeforeDiallingGetsNoAnswer) {
  ModemMeter meter;
  test::LineSession ls(meter.port(), dir.path(), *clock);
  Session& s = *ls.session;
  // One exchange shows it: the command is cancelled after its first failed exchange.
  s.setBreathe([&s] {
    breathe();
    s.requestCancel();
  });
  s.link.addr.valueIndex = 9;
  EXPECT_THROW(s.link.ReadParameterTransaction(), CommandCancelled);
  EXPECT_EQ(s.link.counters.RequestCount, 2);
  EXPECT_EQ(s.link.counters.ErrorCount, 1);
  EXPECT_EQ(s.link.counters.TimeoutCount, 0);

  // The modem took the request for a command line it does not know and kept quiet.
  ASSERT_TRUE(meter.waitFor(ModemEventKind::Ignored));
  const Frame request = buildFrame(0, static_cast<std::uint8_t>(Command::ReadParameter), 9, 0, 0);
  std::string received;
  for (const auto& e : meter.simulator->modemLog()) {
    EXPECT_EQ(e.kind, ModemEventKind::Ignored) << e.describe();
    EXPECT_EQ(e.answer, "");
    received += e.receivedText();
  }
  EXPECT_EQ(received, std::string(request.begin(), request.end()));
  const sim::SimulatorStats stats = meter.simulator->stats();
  EXPECT_EQ(stats.framesReceived, 0u);
  EXPECT_EQ(stats.bytesSent, 0u);
  EXPECT_TRUE(meter.simulator->log().empty());
  EXPECT_EQ(meter.simulator->modemState(), sim::ModemState::Command);
}

TEST_F(ModemE2E, CommandLineDialsReadsAndHangsUp) {
  ModemMeter meter;
  std::string error;
  const auto options = cli::parseArguments(
      {"--gsm", "--port", meter.port(), "--data-dir", dir.path().string(), "--fake-pc-time",
       "2011-04-08 09:05", "--test-dial-wait-ms", "600", "--test-hangup-wait-ms", "600", "dial",
       "ATD+79000000000", "values", "summary", "hangup"},
      error);
  ASSERT_TRUE(options) << error;
  QtSerialLine line;
  std::ostringstream out;
  std::ostringstream err;
  const int status = cli::run(*options, line, *clock, out, err, false, breathe);
  EXPECT_EQ(status, cli::kExitOk) << err.str();
  EXPECT_EQ(err.str(), "");

  const std::string text = out.str();
  EXPECT_EQ(text.rfind("dialled ATD+79000000000; waiting up to 0.6 s for the modem's answer\n"
                       "modem: CONNECT 9600\n",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("meter 12345 identified; reports in " + reportDir(dir.path()).string() +
                      "/12345D2011_04_08_09_05_{par,chas,sut,mes}.txt\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find(std::string("[") + valuePages().front().tab + "] "), std::string::npos)
      << text;
  const std::string requests = std::to_string(kIdentificationRequests + kCurrentValueRequests);
  EXPECT_NE(text.find("transactions: " + requests + " (requests " + requests +
                      ", errors 0, time-outs 0, link fault clear)"),
            std::string::npos)
      << text;
  EXPECT_GE(text.size(), std::string("hung up\n").size());
  EXPECT_EQ(text.substr(text.size() - 8), "hung up\n") << text;
  expectReportFiles("12345D2011_04_08_09_05");

  ASSERT_TRUE(meter.waitFor(ModemEventKind::HangUp));
  EXPECT_EQ(meter.kinds(),
            (std::vector<ModemEventKind>{ModemEventKind::Dial, ModemEventKind::Connect,
                                         ModemEventKind::Escape, ModemEventKind::HangUp}));
  const auto log = meter.simulator->modemLog();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].receivedText(), "ATD+79000000000\r");
  EXPECT_EQ(log[2].receivedText(), "+++");
  EXPECT_EQ(log[3].receivedText(), "ATH\r");
  EXPECT_EQ(meter.requests().size(), kIdentificationRequests + kCurrentValueRequests);
}

}  // namespace
}  // namespace vardis
