// The dial and its answer on a scripted modem: stale text before the dial is
// not its answer, an "OK" is passed over, a GSM error ends the dial at once, a
// chattering modem does not hold the dial up; the hang-ups before and after.
#include <gtest/gtest.h>

#include <map>

#include "connection/modem_call.h"
#include "support/fake_line.h"

namespace vardis {
namespace {

using test::Chunk;
using test::FakeLine;
using test::VirtualClock;

constexpr const char* kNumber = "+79000000005";

std::vector<std::uint8_t> bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

struct DialFixture : ::testing::Test {
  VirtualClock clock;
  FakeLine line{clock};
  Connection s{line, clock, SessionConfig{}};
  // What the modem says to each text it is sent, `delayMs` later.
  std::map<std::string, std::string> answers;
  std::int64_t delayMs = 200;

  // The trace's own lines (not the modem's bytes), without their time stamps.
  std::vector<std::string> notes;

  void SetUp() override {
    s.setTrace([this](const std::string& l) {
      const auto text = l.substr(l.find(' ') + 1);
      if (text.rfind("modem ", 0) == 0 && text.find("->") == std::string::npos &&
          text.find("<-") == std::string::npos)
        notes.push_back(text);
    });
    line.responder = [this](const std::vector<std::uint8_t>& sent) -> std::vector<Chunk> {
      const auto it = answers.find(std::string(sent.begin(), sent.end()));
      if (it == answers.end()) return {};
      return {Chunk{delayMs, bytes(it->second)}};
    };
  }
  std::vector<std::string> sentTexts() const {
    std::vector<std::string> out;
    for (const auto& b : line.sent) out.emplace_back(b.begin(), b.end());
    return out;
  }
};

TEST_F(DialFixture, StaleOkAndNoCarrierBeforeTheDialAreNotItsAnswer) {
  line.inject(0, bytes("\r\nOK\r\n\r\nNO CARRIER\r\n"));
  answers[std::string(kNumber) + "\r"] = "\r\nCONNECT 9600\r\n";
  PlaceCall(s, "", kNumber);
  EXPECT_EQ(s.shown().callStatus, "CONNECT 9600");
  EXPECT_EQ(sentTexts(), std::vector<std::string>{std::string(kNumber) + "\r"});
}

TEST_F(DialFixture, AnOkBeforeConnectIsPassedOverInTheWindowsPolls) {
  answers["AT&F\r"] = "\r\nOK\r\n";
  answers[std::string(kNumber) + "\r"] = "\r\nOK\r\n\r\nCONNECT 9600\r\n";
  DialStep step;
  step.start(s, "AT&F", kNumber);
  EXPECT_EQ(s.shown().callStatus, "Соединение ~30c");
  std::optional<ModemAnswer> a;
  for (int i = 0; i < 100 && !a; ++i) a = step.poll(s, 10);
  EXPECT_EQ(a, ModemAnswer::Connect);
  EXPECT_EQ(step.answerLine(), "CONNECT 9600");
  EXPECT_EQ(s.shown().callStatus, "CONNECT 9600");
  EXPECT_EQ(sentTexts(), (std::vector<std::string>{"AT&F\r", std::string(kNumber) + "\r"}));
}

TEST_F(DialFixture, AGsmErrorEndsTheDialAtOnceWithTheModemsLine) {
  answers[std::string(kNumber) + "\r"] = "\r\n+CME ERROR: 30\r\n";
  try {
    PlaceCall(s, "", kNumber);
    FAIL() << "the dial connected";
  } catch (const CallFailed& e) {
    EXPECT_EQ(e.answer(), ModemAnswer::DeviceError);
    EXPECT_STREQ(e.what(), "dialled +79000000005: +CME ERROR: 30");
  }
  EXPECT_LT(clock.ms, 1000);  // not the 60 s answer wait
  EXPECT_EQ(s.shown().callStatus, "+CME ERROR: 30");
  EXPECT_EQ(sentTexts().back(), "ATH\r");
}

TEST_F(DialFixture, ASilentModemFailsAfterTheWaitWithNoAnswer) {
  try {
    PlaceCall(s, "", kNumber, 3000);
    FAIL() << "the dial connected";
  } catch (const CallFailed& e) {
    EXPECT_EQ(e.answer(), std::nullopt);
    EXPECT_STREQ(e.what(), "dialled +79000000005: the modem said nothing (no answer)");
  }
  EXPECT_GE(clock.ms, 3000);
  EXPECT_EQ(s.shown().callStatus, "NO ANSWER");
  EXPECT_EQ(sentTexts().back(), "ATH\r");
}

TEST_F(DialFixture, TheDrainOfAQuietLineIsOneShortRead) {
  DrainModemText(s);
  EXPECT_EQ(line.receiveCalls, 1);
  EXPECT_LE(clock.ms, 50);
}

TEST_F(DialFixture, AChatteringModemDoesNotHoldTheDialUp) {
  for (std::int64_t t = 0; t < 100000; t += 20) line.inject(t, bytes("\r\nRING\r\n"));
  answers[std::string(kNumber) + "\r"] = "\r\nCONNECT 9600\r\n";
  DialStep step;
  step.start(s, "", kNumber);
  EXPECT_LE(clock.ms, kDrainLimitMs + 100);
  EXPECT_EQ(sentTexts(), std::vector<std::string>{std::string(kNumber) + "\r"});
}

TEST_F(DialFixture, TheHangUpWaitsOnlyForTheModemsOks) {
  answers["+++"] = "\r\nOK\r\n";
  answers["ATH\r"] = "\r\nOK\r\n";
  HangUpCall(s, 600);
  EXPECT_EQ(sentTexts(), (std::vector<std::string>{"+++", "ATH\r"}));
  EXPECT_EQ(s.shown().callStatus, "Завершено");
  EXPECT_GE(clock.ms, 600);   // the guard time before "+++"
  EXPECT_LT(clock.ms, 1500);  // not the 1.7 s and 2 s the two waits allow
}

TEST_F(DialFixture, QuietingAModemWithACallHangsItUp) {
  answers["+++"] = "\r\nOK\r\n";
  answers["ATH\r"] = "\r\nOK\r\n";
  QuietModem(s, 600);
  EXPECT_EQ(sentTexts(), (std::vector<std::string>{"+++", "ATH\r"}));
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0], "modem before the first dial: a call was up, hung up (ATH: OK)");
}

TEST_F(DialFixture, QuietingAModemWithoutACallCostsAFewSeconds) {
  answers["ATH\r"] = "\r\nOK\r\n";  // "+++" in command state gets no answer
  QuietModem(s, kEscapeGuardMs);
  EXPECT_EQ(sentTexts(), (std::vector<std::string>{"+++", "\r", "ATH\r"}));
  EXPECT_LT(clock.ms, 3500);  // two guard times and a little: not the 2 s wait for ATH on top
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0], "modem before the first dial: no call was up (ATH: OK)");
}

TEST(EscapeGuard, TheInitStringsS12InFiftiethsOfASecond) {
  EXPECT_EQ(escapeGuardMs("ATS12=25"), 600);
  EXPECT_EQ(escapeGuardMs("at&fs12=5e0"), 200);
  EXPECT_EQ(escapeGuardMs("ATS12=2550"), 255 * 20 + 100);  // three digits at most
  EXPECT_EQ(escapeGuardMs("AT&F"), kEscapeGuardMs);
  EXPECT_EQ(escapeGuardMs("ATS12="), kEscapeGuardMs);
}

}  // namespace
}  // namespace vardis
