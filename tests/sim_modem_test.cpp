// The GSM modem in front of the simulated meter: its command and data states
// with given moments, then the whole call on a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/frame.h"
#include "sim/meter_model.h"
#include "sim/modem.h"
#include "sim/simulator.h"
#include "support/pty_port.h"

namespace vardis::sim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kPatience{5000};  // far longer than anything here takes
constexpr int kDelayMs = 100;
constexpr int kGuardMs = 50;
const Clock::time_point t0 = Clock::time_point{} + std::chrono::hours(1);

ModemOptions testOptions() {
  ModemOptions o;
  o.enabled = true;
  o.connectDelayMs = kDelayMs;
  o.guardMs = kGuardMs;
  return o;
}

std::vector<ModemStep> feed(Modem& m, std::string_view bytes, Clock::time_point at) {
  return m.receive(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), at);
}

std::vector<ModemStep> feed(Modem& m, const Frame& f, Clock::time_point at) {
  return m.receive(f.data(), f.size(), at);
}

std::vector<ModemEvent> eventsOf(const std::vector<ModemStep>& steps) {
  std::vector<ModemEvent> out;
  for (const auto& s : steps) {
    if (s.event) out.push_back(*s.event);
  }
  return out;
}

std::string meterBytesOf(const std::vector<ModemStep>& steps) {
  std::string out;
  for (const auto& s : steps) out.append(s.toMeter.begin(), s.toMeter.end());
  return out;
}

std::string textOf(const Frame& f) {
  return std::string(f.begin(), f.end());
}

// The one event of these steps; fails the test when there is not exactly one.
ModemEvent onlyEvent(const std::vector<ModemStep>& steps) {
  const auto events = eventsOf(steps);
  EXPECT_EQ(events.size(), 1u);
  return events.empty() ? ModemEvent{} : events.front();
}

// A modem in a call that came up at `t0 + kDelayMs`.
Modem modemInCall() {
  Modem m(testOptions());
  feed(m, "ATD1\r", t0);
  EXPECT_EQ(onlyEvent(m.tick(t0 + milliseconds(kDelayMs))).kind, ModemEventKind::Connect);
  return m;
}
const Clock::time_point callUpAt = t0 + milliseconds(kDelayMs);

TEST(SimModem, DialCommandConnectsAfterTheDelay) {
  Modem m(testOptions());
  EXPECT_EQ(m.state(), ModemState::Command);
  EXPECT_FALSE(m.nextDeadline());

  const ModemEvent dial = onlyEvent(feed(m, "ATD+79000000000\r", t0));
  EXPECT_EQ(dial.kind, ModemEventKind::Dial);
  EXPECT_EQ(dial.receivedText(), "ATD+79000000000\r");
  EXPECT_EQ(dial.received.size(), 16u);
  EXPECT_EQ(dial.text, "ATD+79000000000");
  EXPECT_EQ(dial.answer, "");
  EXPECT_EQ(dial.state, ModemState::Dialling);
  EXPECT_EQ(dial.seq, 1u);
  ASSERT_TRUE(m.nextDeadline());
  EXPECT_EQ(*m.nextDeadline(), t0 + milliseconds(kDelayMs));

  EXPECT_TRUE(m.tick(t0 + milliseconds(kDelayMs - 1)).empty());
  EXPECT_EQ(m.state(), ModemState::Dialling);
  const ModemEvent connect = onlyEvent(m.tick(t0 + milliseconds(kDelayMs)));
  EXPECT_EQ(connect.kind, ModemEventKind::Connect);
  EXPECT_EQ(connect.answer, "\r\nCONNECT 9600\r\n");
  EXPECT_TRUE(connect.received.empty());
  EXPECT_EQ(connect.state, ModemState::Online);
  EXPECT_EQ(connect.seq, 2u);
  EXPECT_TRUE(m.callUp());
  EXPECT_FALSE(m.nextDeadline());
}

TEST(SimModem, ABareNumberOrAnyCaseOfAtdDialsToo) {
  for (const std::string_view line : {"+7900\r", "atd+7900\r", "AtDt 8-495-123-45-67\r",
                                      "  89001234567\r", "\n+7(900)123,,45\r"}) {
    Modem m(testOptions());
    const ModemEvent e = onlyEvent(feed(m, line, t0));
    EXPECT_EQ(e.kind, ModemEventKind::Dial) << e.describe();
    EXPECT_EQ(e.receivedText(), line);
    EXPECT_EQ(m.state(), ModemState::Dialling);
  }
  Modem m(testOptions());
  EXPECT_EQ(onlyEvent(feed(m, "+7900\r", t0)).text, "+7900");
  EXPECT_TRUE(isDialText("+79000000000"));
  EXPECT_TRUE(isDialText("8 W 123"));
  EXPECT_FALSE(isDialText(""));
  EXPECT_FALSE(isDialText("+++"));
  EXPECT_FALSE(isDialText("#"));
  EXPECT_FALSE(isDialText("7900x"));
}

TEST(SimModem, OtherCommandsAnswerOk) {
  Modem m(testOptions());
  for (const std::string_view line : {"AT\r", "ATE0V1\r", "at+cbst=7,0,1\r"}) {
    const ModemEvent e = onlyEvent(feed(m, line, t0));
    EXPECT_EQ(e.kind, ModemEventKind::Command) << line;
    EXPECT_EQ(e.answer, "\r\nOK\r\n");
    EXPECT_EQ(e.state, ModemState::Command);
  }
  const ModemEvent hangUp = onlyEvent(feed(m, "ATH\r", t0));
  EXPECT_EQ(hangUp.kind, ModemEventKind::HangUp);
  EXPECT_EQ(hangUp.answer, "\r\nOK\r\n");
  const ModemEvent online = onlyEvent(feed(m, "ATO\r", t0));
  EXPECT_EQ(online.kind, ModemEventKind::NoCarrier);
  EXPECT_EQ(online.answer, "\r\nNO CARRIER\r\n");
  EXPECT_EQ(m.state(), ModemState::Command);
}

TEST(SimModem, AMeterRequestInCommandStateGetsNoAnswer) {
  Modem m(testOptions());
  const Frame request = buildFrame(0, 5, 9, 0, 0);
  const auto steps = feed(m, request, t0);
  EXPECT_EQ(meterBytesOf(steps), "");
  const ModemEvent e = onlyEvent(steps);
  EXPECT_EQ(e.kind, ModemEventKind::Ignored);
  EXPECT_EQ(e.receivedText(), textOf(request));
  EXPECT_EQ(e.answer, "");
  EXPECT_EQ(m.state(), ModemState::Command);

  // A CR inside the frame (index 13) cuts it into two lines; neither is answered.
  const Frame withCr = buildFrame(0, 5, 13, 0, 0);
  const auto events = eventsOf(feed(m, withCr, t0));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].receivedText() + events[1].receivedText(), textOf(withCr));
  for (const auto& ev : events) {
    EXPECT_EQ(ev.kind, ModemEventKind::Ignored);
    EXPECT_EQ(ev.answer, "");
  }
  // An empty line is nothing either.
  EXPECT_EQ(onlyEvent(feed(m, "\r", t0)).kind, ModemEventKind::Ignored);
}

TEST(SimModem, BytesWithoutCrWaitForIt) {
  Modem m(testOptions());
  EXPECT_TRUE(feed(m, "ATD12", t0).empty());
  EXPECT_EQ(m.pendingLineBytes(), 5u);
  const ModemEvent e = onlyEvent(feed(m, "34\r", t0 + milliseconds(5)));
  EXPECT_EQ(e.receivedText(), "ATD1234\r");
  EXPECT_EQ(m.pendingLineBytes(), 0u);
}

TEST(SimModem, ALongLineIsCutButStillEndsAtItsCr) {
  Modem m(testOptions());
  const std::string line = "AT" + std::string(400, 'S') + "\r";
  const ModemEvent e = onlyEvent(feed(m, line, t0));
  EXPECT_EQ(e.kind, ModemEventKind::Command);
  EXPECT_EQ(e.received.size(), kModemLineLimit + 1);
  EXPECT_EQ(e.received.back(), '\r');
}

TEST(SimModem, AByteWhileDiallingAbandonsTheCall) {
  Modem m(testOptions());
  feed(m, "ATD1\r\n", t0);  // the LF after the CR does not count
  EXPECT_EQ(m.state(), ModemState::Dialling);
  const ModemEvent e = onlyEvent(feed(m, "#", t0 + milliseconds(10)));
  EXPECT_EQ(e.kind, ModemEventKind::NoCarrier);
  EXPECT_EQ(e.receivedText(), "#");
  EXPECT_EQ(e.answer, "\r\nNO CARRIER\r\n");
  EXPECT_EQ(m.state(), ModemState::Command);
  EXPECT_FALSE(m.nextDeadline());
  EXPECT_TRUE(m.tick(t0 + milliseconds(kDelayMs)).empty());
}

TEST(SimModem, InACallEveryByteGoesToTheMeter) {
  Modem m = modemInCall();
  const Frame request = buildFrame(0, 5, 13, 0, 0);
  const auto steps = feed(m, request, callUpAt + milliseconds(1));
  EXPECT_TRUE(eventsOf(steps).empty());
  EXPECT_EQ(meterBytesOf(steps), textOf(request));
  // Modem commands too: in data state they are the meter's business.
  const auto hangUp = feed(m, "ATH\r", callUpAt + milliseconds(500));
  EXPECT_TRUE(eventsOf(hangUp).empty());
  EXPECT_EQ(meterBytesOf(hangUp), "ATH\r");
  EXPECT_EQ(m.state(), ModemState::Online);
}

TEST(SimModem, EscapeNeedsAGuardTimeBeforeAndAfter) {
  Modem m = modemInCall();
  const auto plusAt = callUpAt + milliseconds(kGuardMs);
  const auto steps = feed(m, "+++", plusAt);
  EXPECT_TRUE(eventsOf(steps).empty());
  EXPECT_EQ(meterBytesOf(steps), "+++");  // passed on; the meter skips them
  ASSERT_TRUE(m.nextDeadline());
  EXPECT_EQ(*m.nextDeadline(), plusAt + milliseconds(kGuardMs));
  EXPECT_TRUE(m.tick(plusAt + milliseconds(kGuardMs - 1)).empty());

  const ModemEvent escape = onlyEvent(m.tick(plusAt + milliseconds(kGuardMs)));
  EXPECT_EQ(escape.kind, ModemEventKind::Escape);
  EXPECT_EQ(escape.receivedText(), "+++");
  EXPECT_EQ(escape.answer, "\r\nOK\r\n");
  EXPECT_EQ(escape.state, ModemState::OnlineCommand);
  EXPECT_TRUE(m.callUp());

  // In command state the call stands until ATH.
  const auto request = feed(m, buildFrame(0, 5, 9, 0, 0), plusAt + milliseconds(200));
  EXPECT_EQ(meterBytesOf(request), "");
  EXPECT_EQ(onlyEvent(request).kind, ModemEventKind::Ignored);
  const ModemEvent hangUp = onlyEvent(feed(m, "ATH\r", plusAt + milliseconds(300)));
  EXPECT_EQ(hangUp.kind, ModemEventKind::HangUp);
  EXPECT_EQ(hangUp.receivedText(), "ATH\r");
  EXPECT_EQ(hangUp.answer, "\r\nOK\r\n");
  EXPECT_EQ(hangUp.state, ModemState::Command);
  EXPECT_FALSE(m.callUp());
}

TEST(SimModem, PlusesSoonAfterDataAreData) {
  Modem m = modemInCall();
  const auto dataAt = callUpAt + milliseconds(500);
  feed(m, buildFrame(0, 5, 9, 0, 0), dataAt);
  feed(m, "+++", dataAt + milliseconds(kGuardMs - 1));
  EXPECT_FALSE(m.nextDeadline());
  EXPECT_TRUE(m.tick(dataAt + milliseconds(10 * kGuardMs)).empty());
  EXPECT_EQ(m.state(), ModemState::Online);
}

TEST(SimModem, AnythingWithinTheGuardTimeAfterThePlusesSpoilsTheEscape) {
  for (const std::string_view after : {"\r", "+", "A"}) {
    Modem m = modemInCall();
    const auto plusAt = callUpAt + milliseconds(kGuardMs);
    feed(m, "+++", plusAt);
    feed(m, after, plusAt + milliseconds(kGuardMs - 1));
    EXPECT_FALSE(m.nextDeadline()) << after;
    EXPECT_TRUE(m.tick(plusAt + milliseconds(10 * kGuardMs)).empty()) << after;
    EXPECT_EQ(m.state(), ModemState::Online) << after;
  }
}

TEST(SimModem, EachPlusMustFollowTheOneBeforeWithinTheGuardTime) {
  // Three pluses, each 30 ms after the one before: an escape.
  Modem spread = modemInCall();
  const auto first = callUpAt + milliseconds(kGuardMs);
  feed(spread, "+", first);
  feed(spread, "+", first + milliseconds(30));
  feed(spread, "+", first + milliseconds(60));
  EXPECT_EQ(onlyEvent(spread.tick(first + milliseconds(60 + kGuardMs))).kind,
            ModemEventKind::Escape);

  // A pause of a guard time after the second plus: the third starts afresh.
  Modem slow = modemInCall();
  feed(slow, "++", first);
  feed(slow, "+", first + milliseconds(kGuardMs));
  EXPECT_FALSE(slow.nextDeadline());
  EXPECT_EQ(slow.state(), ModemState::Online);
}

TEST(SimModem, AtoResumesTheCall) {
  Modem m = modemInCall();
  const auto plusAt = callUpAt + milliseconds(kGuardMs);
  feed(m, "+++", plusAt);
  m.tick(plusAt + milliseconds(kGuardMs));
  const auto steps =
      feed(m, std::string("ATO\r") + textOf(buildFrame(0, 5, 9, 0, 0)), plusAt + milliseconds(500));
  const ModemEvent online = onlyEvent(steps);
  EXPECT_EQ(online.kind, ModemEventKind::Online);
  EXPECT_EQ(online.answer, "\r\nCONNECT 9600\r\n");
  EXPECT_EQ(m.state(), ModemState::Online);
  // The bytes after the command line go to the meter, after the answer.
  ASSERT_EQ(steps.size(), 2u);
  EXPECT_TRUE(steps[0].event.has_value());
  EXPECT_EQ(meterBytesOf(steps), textOf(buildFrame(0, 5, 9, 0, 0)));
}

TEST(SimModem, DescribeShowsWhatCameAndWhatWentBack) {
  Modem m(testOptions());
  const ModemEvent dial = onlyEvent(feed(m, "ATD123\r", t0));
  EXPECT_EQ(dial.describe(), "modem #1 dial \"ATD123\\r\" (7 bytes), no answer, dialling");
  const ModemEvent connect = onlyEvent(m.tick(t0 + milliseconds(kDelayMs)));
  EXPECT_EQ(connect.describe(), "modem #2 connect -> \"\\r\\nCONNECT 9600\\r\\n\", online");
  Modem other(testOptions());
  const ModemEvent ignored = onlyEvent(feed(other, std::string("#\0\x05\r", 4), t0));
  EXPECT_EQ(ignored.describe(),
            "modem #1 ignored \"#\\x00\\x05\\r\" (4 bytes), no answer, command");
}

using Port = test::PtyPort;

std::unique_ptr<Simulator> startModemMeter(FaultOptions faults = {}) {
  SimulatorOptions options;
  options.faults = faults;
  options.modem = testOptions();
  auto sim = std::make_unique<Simulator>(MeterModel{}, options);
  sim->start();
  return sim;
}

std::vector<ModemEventKind> kindsOf(const std::vector<ModemEvent>& log) {
  std::vector<ModemEventKind> out;
  for (const auto& e : log) out.push_back(e.kind);
  return out;
}

TEST(SimModemLine, TheWholeCallOnThePseudoTerminal) {
  // The meter's turnaround keeps the line quiet for longer than the guard time
  // between the last request and "+++".
  FaultOptions faults;
  faults.turnaroundMs = 2 * kGuardMs;
  auto sim = startModemMeter(faults);
  Port port(sim->portPath());
  const Frame request = buildFrame(0, 5, 0, 0, 0);
  const Frame reply = buildFrame(0, 5, 0, 0, bitsFromFloat(12345.0f));

  // Before the call the modem takes the request for a command line it does not know.
  port.send(request);
  ASSERT_TRUE(sim->waitForModemEvent(ModemEventKind::Ignored, 1, kPatience));
  EXPECT_FALSE(port.hasInput());
  EXPECT_EQ(sim->stats().framesReceived, 0u);
  EXPECT_EQ(sim->stats().modemBytes, kFrameLength);

  const auto dialledAt = Clock::now();
  port.send("ATD+79000000000\r");
  EXPECT_EQ(port.receive(16), "\r\nCONNECT 9600\r\n");
  EXPECT_GE(Clock::now() - dialledAt, milliseconds(kDelayMs));
  ASSERT_TRUE(sim->waitForModemEvent(ModemEventKind::Connect, 1, kPatience));
  EXPECT_EQ(sim->modemState(), ModemState::Online);

  port.send(request);
  EXPECT_EQ(port.receive(kFrameLength), textOf(reply));

  const auto escapedAt = Clock::now();
  port.send("+++");
  EXPECT_EQ(port.receive(6), "\r\nOK\r\n");
  EXPECT_GE(Clock::now() - escapedAt, milliseconds(kGuardMs));
  ASSERT_TRUE(sim->waitForModemEvent(ModemEventKind::Escape, 1, kPatience));
  EXPECT_EQ(sim->modemState(), ModemState::OnlineCommand);

  port.send(request);
  ASSERT_TRUE(sim->waitForModemEvent(ModemEventKind::Ignored, 2, kPatience));
  EXPECT_FALSE(port.hasInput());

  port.send("ATH\r");
  EXPECT_EQ(port.receive(6), "\r\nOK\r\n");
  ASSERT_TRUE(sim->waitForModemEvent(ModemEventKind::HangUp, 1, kPatience));
  EXPECT_EQ(sim->modemState(), ModemState::Command);

  const auto log = sim->modemLog();
  using K = ModemEventKind;
  EXPECT_EQ(kindsOf(log),
            (std::vector<K>{K::Ignored, K::Dial, K::Connect, K::Escape, K::Ignored, K::HangUp}));
  EXPECT_EQ(log[1].receivedText(), "ATD+79000000000\r");
  EXPECT_EQ(log[3].receivedText(), "+++");
  EXPECT_EQ(log[5].receivedText(), "ATH\r");
  // One request reached the meter: the one in the call.
  ASSERT_TRUE(sim->waitForLog(1, kPatience));
  EXPECT_EQ(sim->log().size(), 1u);
  EXPECT_EQ(sim->stats().framesReceived, 1u);
  // Command bytes: two requests, the dial line and ATH; the pluses went to the meter.
  EXPECT_EQ(sim->stats().modemBytes, 2 * kFrameLength + 16 + 4);
}

TEST(SimModemLine, TheMeterFaultsApplyBehindTheModemButNotToIt) {
  FaultOptions faults;
  faults.silent = true;
  auto sim = startModemMeter(faults);
  Port port(sim->portPath());
  port.send("+7900\r");
  EXPECT_EQ(port.receive(16), "\r\nCONNECT 9600\r\n");
  port.send(buildFrame(0, 5, 0, 0, 0));
  ASSERT_TRUE(sim->waitForLog(1, kPatience));
  EXPECT_EQ(sim->log().front().outcome, Outcome::Silent);
  EXPECT_FALSE(port.hasInput());
}

TEST(SimModemLine, WithoutTheModemModemTextIsLineNoise) {
  SimulatorOptions options;
  Simulator sim(MeterModel{}, options);
  sim.start();
  Port port(sim.portPath());
  port.send("ATD+79000000000\r");
  port.send(buildFrame(0, 5, 0, 0, 0));
  EXPECT_EQ(port.receive(kFrameLength), textOf(buildFrame(0, 5, 0, 0, bitsFromFloat(12345.0f))));
  EXPECT_TRUE(sim.modemLog().empty());
  EXPECT_EQ(sim.stats().modemBytes, 0u);
  EXPECT_EQ(sim.stats().bytesSkipped, 16u);
}

}  // namespace
}  // namespace vardis::sim
