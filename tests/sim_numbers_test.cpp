// A modem with a list of numbers: the dial picks the number and its meter,
// and each number's calls meet their faults (busy, no answer, a silent modem,
// a carrier lost in the call); first with given moments, then on a
// pseudo-terminal with a meter behind each number.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <set>
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
using K = ModemEventKind;

constexpr milliseconds kPatience{5000};  // far longer than anything here takes
constexpr int kDelayMs = 60;
constexpr int kNoAnswerMs = 80;
constexpr int kGuardMs = 40;
constexpr int kLossMs = 300;
const Clock::time_point t0 = Clock::time_point{} + std::chrono::hours(1);

// Three numbers: a good one, one busy for two calls, one that drops its calls.
ModemOptions numberedOptions() {
  ModemOptions o;
  o.enabled = true;
  o.connectDelayMs = kDelayMs;
  o.noAnswerDelayMs = kNoAnswerMs;
  o.guardMs = kGuardMs;
  o.numbers = {{"+79000000001", {}},
               {"+7 900 000-00-02", {.busyCalls = 2}},
               {"ATD+79000000003", {.noCarrierAfterMs = kLossMs}}};
  return o;
}

std::vector<ModemEvent> eventsOf(const std::vector<ModemStep>& steps) {
  std::vector<ModemEvent> out;
  for (const auto& s : steps) {
    if (s.event) out.push_back(*s.event);
  }
  return out;
}

std::vector<K> kindsOf(const std::vector<ModemEvent>& events) {
  std::vector<K> out;
  for (const auto& e : events) out.push_back(e.kind);
  return out;
}

std::vector<ModemEvent> feed(Modem& m, std::string_view bytes, Clock::time_point at) {
  return eventsOf(m.receive(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), at));
}

ModemEvent onlyEvent(const std::vector<ModemEvent>& events) {
  EXPECT_EQ(events.size(), 1u);
  return events.empty() ? ModemEvent{} : events.front();
}

std::string textOf(const Frame& f) {
  return std::string(f.begin(), f.end());
}

TEST(SimNumbers, TheDialledNumberIsTheDigitsAndPlusAfterAtd) {
  EXPECT_EQ(dialledNumber("ATD+79001234567"), "+79001234567");
  EXPECT_EQ(dialledNumber("ATDT123"), "123");
  EXPECT_EQ(dialledNumber("atdp 8 (900) 123-45-67"), "89001234567");
  EXPECT_EQ(dialledNumber("  +7 900,,1;"), "+79001");
  EXPECT_EQ(dialledNumber("ATD"), "");
}

TEST(SimNumbers, TheDialPicksTheNumber) {
  Modem m(numberedOptions());
  auto at = t0;
  for (const auto& [line, index] : std::vector<std::pair<std::string, int>>{
           {"ATD+79000000001\r", 0}, {"atdt +7(900)000-00-03\r", 2}, {"+79000000001\r", 0}}) {
    const ModemEvent dial = onlyEvent(feed(m, line, at));
    EXPECT_EQ(dial.kind, K::Dial);
    EXPECT_EQ(dial.numberIndex, index) << line;
    const ModemEvent connect = onlyEvent(eventsOf(m.tick(at + milliseconds(kDelayMs))));
    EXPECT_EQ(connect.kind, K::Connect);
    EXPECT_EQ(connect.call, dial.call);
    EXPECT_EQ(connect.numberIndex, index);
    feed(m, "+++", at + milliseconds(kDelayMs + kGuardMs));
    EXPECT_EQ(onlyEvent(eventsOf(m.tick(at + milliseconds(kDelayMs + 2 * kGuardMs)))).kind,
              K::Escape);
    const ModemEvent hangUp = onlyEvent(feed(m, "ATH\r", at + milliseconds(200)));
    EXPECT_EQ(hangUp.kind, K::HangUp);
    EXPECT_EQ(hangUp.call, dial.call);
    at += std::chrono::seconds(1);
  }
  EXPECT_EQ(m.calls(), 3u);
}

TEST(SimNumbers, BusyForTheFirstCallsThenTheCallConnects) {
  Modem m(numberedOptions());
  for (std::uint64_t call = 1; call <= 2; ++call) {
    const auto events = feed(m, "ATD+79000000002\r", t0);
    ASSERT_EQ(kindsOf(events), (std::vector<K>{K::Dial, K::Busy})) << call;
    EXPECT_EQ(events[1].answer, "\r\nBUSY\r\n");
    EXPECT_EQ(events[1].state, ModemState::Command);
    EXPECT_EQ(events[1].call, call);
    EXPECT_EQ(events[1].number, "+79000000002");
    EXPECT_FALSE(m.nextDeadline());
  }
  EXPECT_EQ(onlyEvent(feed(m, "ATD+79000000002\r", t0)).kind, K::Dial);
  EXPECT_EQ(onlyEvent(eventsOf(m.tick(t0 + milliseconds(kDelayMs)))).kind, K::Connect);
  EXPECT_TRUE(m.callUp());
}

TEST(SimNumbers, AnUnknownNumberRingsUntilNoAnswer) {
  Modem m(numberedOptions());
  const ModemEvent dial = onlyEvent(feed(m, "ATD+79999999999\r", t0));
  EXPECT_EQ(dial.numberIndex, -1);
  EXPECT_EQ(dial.describe(),
            "modem #1 dial \"ATD+79999999999\\r\" (16 bytes), no answer, dialling; call 1 to "
            "+79999999999 (not a number of this modem)");
  ASSERT_TRUE(m.nextDeadline());
  EXPECT_EQ(*m.nextDeadline(), t0 + milliseconds(kNoAnswerMs));
  EXPECT_TRUE(m.tick(t0 + milliseconds(kNoAnswerMs - 1)).empty());
  const ModemEvent noAnswer = onlyEvent(eventsOf(m.tick(t0 + milliseconds(kNoAnswerMs))));
  EXPECT_EQ(noAnswer.kind, K::NoAnswer);
  EXPECT_EQ(noAnswer.answer, "\r\nNO ANSWER\r\n");
  EXPECT_EQ(noAnswer.state, ModemState::Command);
  EXPECT_FALSE(m.nextDeadline());
  // A dial without digits reaches no number either.
  EXPECT_EQ(onlyEvent(feed(m, "ATD\r", t0)).number, "(none)");
}

TEST(SimNumbers, ANumberThatNeverAnswersWaitsTheConnectDelayByDefault) {
  ModemOptions o = numberedOptions();
  o.noAnswerDelayMs = -1;
  o.numbers[0].faults.noAnswerCalls = kEveryCall;
  Modem m(o);
  for (int call = 0; call < 3; ++call) {
    feed(m, "ATD+79000000001\r", t0);
    ASSERT_TRUE(m.nextDeadline());
    EXPECT_EQ(*m.nextDeadline(), t0 + milliseconds(kDelayMs));
    EXPECT_EQ(onlyEvent(eventsOf(m.tick(t0 + milliseconds(kDelayMs)))).kind, K::NoAnswer);
  }
}

TEST(SimNumbers, ASilentModemSaysNothingAndABytePutsItBack) {
  ModemOptions o = numberedOptions();
  o.numbers[0].faults.silentCalls = 1;
  Modem m(o);
  const auto events = feed(m, "ATD+79000000001\r", t0);
  ASSERT_EQ(kindsOf(events), (std::vector<K>{K::Dial, K::Silent}));
  EXPECT_EQ(events[1].answer, "");
  EXPECT_EQ(events[1].state, ModemState::Dialling);
  EXPECT_FALSE(m.nextDeadline());
  EXPECT_TRUE(m.tick(t0 + std::chrono::hours(1)).empty());
  // The tool gives up; its next byte ends the call without a word.
  const ModemEvent abandoned = onlyEvent(feed(m, "A", t0 + std::chrono::hours(1)));
  EXPECT_EQ(abandoned.kind, K::NoCarrier);
  EXPECT_EQ(abandoned.answer, "");
  EXPECT_EQ(abandoned.state, ModemState::Command);
  // The next call to the number connects.
  feed(m, "ATD+79000000001\r", t0 + std::chrono::hours(2));
  EXPECT_EQ(onlyEvent(eventsOf(m.tick(t0 + std::chrono::hours(2) + milliseconds(kDelayMs)))).kind,
            K::Connect);
}

TEST(SimNumbers, TheCarrierGoesAfterItsTimeInTheCall) {
  Modem m(numberedOptions());
  feed(m, "ATD+79000000003\r", t0);
  const auto upAt = t0 + milliseconds(kDelayMs);
  m.tick(upAt);
  ASSERT_TRUE(m.nextDeadline());
  EXPECT_EQ(*m.nextDeadline(), upAt + milliseconds(kLossMs));
  EXPECT_TRUE(m.tick(upAt + milliseconds(kLossMs - 1)).empty());
  const ModemEvent lost = onlyEvent(eventsOf(m.tick(upAt + milliseconds(kLossMs))));
  EXPECT_EQ(lost.kind, K::CarrierLost);
  EXPECT_EQ(lost.answer, "\r\nNO CARRIER\r\n");
  EXPECT_EQ(lost.state, ModemState::Command);
  EXPECT_EQ(lost.describe(),
            "modem #3 carrier lost -> \"\\r\\nNO CARRIER\\r\\n\", command; call 1 to +79000000003");
  EXPECT_FALSE(m.callUp());
  // What comes after it is a command line again.
  EXPECT_EQ(onlyEvent(feed(m, "AT\r", upAt + milliseconds(kLossMs + 1))).kind, K::Command);
}

TEST(SimNumbers, BytesAfterTheCarrierWentAreNoLongerTheMeters) {
  Modem m(numberedOptions());
  feed(m, "ATD+79000000003\r", t0);
  const auto upAt = t0 + milliseconds(kDelayMs);
  m.tick(upAt);
  const std::string request = textOf(buildFrame(0, 5, 0, 0, 0));
  const auto steps = m.receive(reinterpret_cast<const std::uint8_t*>(request.data()),
                               request.size(), upAt + milliseconds(kLossMs + 5));
  ASSERT_FALSE(steps.empty());
  ASSERT_TRUE(steps.front().event);
  EXPECT_EQ(steps.front().event->kind, K::CarrierLost);
  for (const auto& s : steps) EXPECT_TRUE(s.toMeter.empty());
}

TEST(SimNumbers, WithoutAListEveryDialConnectsAsBefore) {
  ModemOptions o = numberedOptions();
  o.numbers.clear();
  Modem m(o);
  const ModemEvent dial = onlyEvent(feed(m, "ATD+79999999999\r", t0));
  EXPECT_EQ(dial.number, "");
  EXPECT_EQ(dial.call, 1u);
  EXPECT_EQ(onlyEvent(eventsOf(m.tick(t0 + milliseconds(kDelayMs)))).kind, K::Connect);
}

// --- on a pseudo-terminal --------------------------------------------------------

using Port = test::PtyPort;

constexpr std::string_view kConnect = "\r\nCONNECT 9600\r\n";
constexpr std::string_view kOk = "\r\nOK\r\n";

// numberedOptions() with calls to the third number that stand until hung up.
ModemOptions lineOptions() {
  ModemOptions o = numberedOptions();
  o.numbers[2].faults = {};
  return o;
}

// Meters with serial numbers 101, 102, ... behind the numbers, each with a
// history of its own; replies come two guard times after the request, so
// "+++" may follow at once.
std::unique_ptr<Simulator> startNumberedMeters(ModemOptions modem = lineOptions()) {
  std::vector<NumberedMeter> meters;
  for (std::size_t i = 0; i < modem.numbers.size(); ++i) {
    MeterModel meter;
    meter.pinParameter(0, static_cast<float>(101 + i));
    meter.setHistorySeed(i + 1);
    meters.push_back({modem.numbers[i], std::move(meter)});
  }
  SimulatorOptions options;
  options.modem = modem;
  options.faults.turnaroundMs = 2 * kGuardMs;
  auto sim = std::make_unique<Simulator>(std::move(meters), options);
  sim->start();
  return sim;
}

// Reads parameter 0 (the serial number) in the call.
float readSerial(Port& port) {
  port.send(buildFrame(0, 5, 0, 0, 0));
  const std::string reply = port.receive(kFrameLength);
  if (reply.size() != kFrameLength) return -1.0f;
  Frame f{};
  std::copy(reply.begin(), reply.end(), f.begin());
  return floatFromBits(getU32(&f[5]));
}

void hangUp(Port& port) {
  port.send("+++");
  EXPECT_EQ(port.receive(kOk.size()), kOk);
  port.send("ATH\r");
  EXPECT_EQ(port.receive(kOk.size()), kOk);
}

TEST(SimNumbersLine, EachCallReachesTheMeterOfItsNumber) {
  auto sim = startNumberedMeters();
  Port port(sim->portPath());
  for (const std::string_view dial : {"ATD+79000000001\r", "ATD+79000000003\r"}) {
    port.send(dial);
    EXPECT_EQ(port.receive(kConnect.size()), kConnect);
    port.send(buildFrame(0, 11, kTemperature1, 0, 1104080500));  // an hour's supply temperature
    EXPECT_EQ(port.receive(kFrameLength).size(), kFrameLength);
    EXPECT_EQ(readSerial(port), dial == "ATD+79000000001\r" ? 101.0f : 103.0f);
    hangUp(port);
  }
  const auto log = sim->log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[0].number, "+79000000001");
  EXPECT_EQ(log[0].serial, 101u);
  EXPECT_EQ(log[0].call, 1u);
  EXPECT_EQ(log[3].number, "+79000000003");
  EXPECT_EQ(log[3].serial, 103u);
  EXPECT_EQ(log[3].call, 2u);
  // Each meter counts its own requests; the histories differ.
  EXPECT_EQ(log[2].seq, 1u);
  EXPECT_NE(log[0].reply, log[2].reply);
  EXPECT_NE(log[3].describe().find("; number +79000000003, meter 103, call 2"), std::string::npos)
      << log[3].describe();
  EXPECT_EQ(sim->stats().requests, 4u);
  EXPECT_EQ(sim->meterCount(), 3u);
  EXPECT_EQ(sim->withMeter(1, [](MeterModel& m) { return m.parameter(0); }), 102.0f);
}

TEST(SimNumbersLine, TheCarrierGoesInTheMiddleOfTheReading) {
  auto sim = startNumberedMeters(numberedOptions());
  Port port(sim->portPath());
  port.send("ATD+79000000003\r");
  EXPECT_EQ(port.receive(kConnect.size()), kConnect);
  EXPECT_EQ(readSerial(port), 103.0f);
  EXPECT_EQ(port.receive(kModemNoCarrier.size()), kModemNoCarrier);
  ASSERT_TRUE(sim->waitForModemEvent(K::CarrierLost, 1, kPatience));
  // The next request meets the modem in command state: no reply.
  port.send(buildFrame(0, 5, 0, 0, 0));
  ASSERT_TRUE(sim->waitForModemEvent(K::Ignored, 1, kPatience));
  EXPECT_EQ(sim->log().size(), 1u);
  // A new call to the same number is lost again, just as late.
  port.send("ATD+79000000003\r");
  EXPECT_EQ(port.receive(kConnect.size()), kConnect);
  EXPECT_EQ(port.receive(kModemNoCarrier.size()), kModemNoCarrier);
  const auto log = sim->modemLog();
  ASSERT_EQ(log.back().kind, K::CarrierLost);
  EXPECT_GE(log.back().at - log[log.size() - 2].at, milliseconds(kLossMs));
}

}  // namespace
}  // namespace vardis::sim
