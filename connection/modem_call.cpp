#include "connection/modem_call.h"

#include <algorithm>
#include <cstdint>

#include "connection/connection.h"
#include "connection/modem_answer.h"

namespace vardis {

void Dial(Connection& s, const std::string& dialTextUtf8) {
  s.link.sendRaw(dialCommandBytes(dialTextUtf8));
  s.showCallStatus("Соединение ~30c");
}

void StartHangUp(Connection& s) {
  s.link.sendRaw("+++");
  s.showCallStatus("Разрыв  ~5c ");
}

void HangUpWaitElapsed(Connection& s) {
  s.showCallStatus("Завершено");
  s.link.sendRaw("ATH\r");
}

namespace {

constexpr int kDrainReadMs = 50;       // one read of the drain
constexpr int kHangUpAnswerMs = 2000;  // the wait for the "OK" to "ATH"

// What the modem says within `ms`, read to the end of that time: a silence
// kept on the line.
std::string readFor(Connection& s, int ms) {
  std::string text;
  const std::int64_t until = s.clock().steadyMs() + ms;
  for (std::int64_t left = ms; left > 0; left = until - s.clock().steadyMs()) {
    text += s.link.receiveRaw(static_cast<int>(std::min<std::int64_t>(left, kBreatheSliceMs)));
  }
  return text;
}

// Waits up to `waitMs` for the modem's "OK", passing over its other answers.
bool awaitOk(Connection& s, int waitMs) {
  ModemAnswerReader reader;
  const std::int64_t until = s.clock().steadyMs() + waitMs;
  for (std::int64_t left = waitMs; left > 0; left = until - s.clock().steadyMs()) {
    if (awaitModemAnswer(s, static_cast<int>(left), reader, false) == ModemAnswer::Ok) return true;
  }
  return false;
}

}  // namespace

void DrainModemText(Connection& s) {
  const std::int64_t until = s.clock().steadyMs() + kDrainLimitMs;
  while (s.clock().steadyMs() < until && !s.link.receiveRaw(kDrainReadMs).empty()) {
  }
}

void SendModemInit(Connection& s, const std::string& init) {
  if (init.empty()) return;
  s.link.sendRaw(init + "\r");
  ModemAnswerReader reader;
  const auto a = awaitModemAnswer(s, kInitAnswerWaitMs, reader);
  if (!a || *a == ModemAnswer::Ok) return;
  s.link.sendRaw("ATH\r");
  s.showCallStatus(reader.answerLine());
  throw CallFailed(a, "the modem refused " + init + ": " + reader.answerLine());
}

void DialStep::start(Connection& s, const std::string& init, const std::string& dialTextUtf8) {
  // An empty dial text would go as a bare CR, and the wait for its answer would be for nothing.
  if (dialTextUtf8.empty()) throw UserError("no number to dial; nothing was sent to the modem");
  reader_ = ModemAnswerReader();
  answerLine_.clear();
  DrainModemText(s);
  SendModemInit(s, init);
  Dial(s, dialTextUtf8);
}

std::optional<ModemAnswer> DialStep::poll(Connection& s, int sliceMs) {
  auto a = reader_.feed(s.link.receiveRaw(std::max(1, sliceMs)));
  while (a == ModemAnswer::Ok) a = reader_.feed({});  // an "OK" is no answer to a dial
  if (!a) return std::nullopt;
  answerLine_ = reader_.answerLine();
  if (*a != ModemAnswer::Connect) s.link.sendRaw("ATH\r");
  s.showCallStatus(answerLine_);
  return a;
}

void PlaceCall(Connection& s, const std::string& init, const std::string& dialTextUtf8,
               int waitMs) {
  DialStep step;
  step.start(s, init, dialTextUtf8);
  const std::int64_t until = s.clock().steadyMs() + waitMs;
  for (std::int64_t left = waitMs; left > 0; left = until - s.clock().steadyMs()) {
    if (s.cancelRequested()) {
      s.link.sendRaw("ATH\r");  // a byte ends the dial: no call comes up after the stop
      throw CommandCancelled();
    }
    const int slice = static_cast<int>(std::min<std::int64_t>(kBreatheSliceMs, left));
    if (const auto a = step.poll(s, slice)) {
      if (*a == ModemAnswer::Connect) return;
      throw CallFailed(a, "dialled " + dialTextUtf8 + ": " + step.answerLine());
    }
    s.breatheNow();
  }
  s.link.sendRaw("ATH\r");
  s.showCallStatus(modemAnswerText(ModemAnswer::NoAnswer));
  throw CallFailed(std::nullopt,
                   "dialled " + dialTextUtf8 + ": the modem said nothing (no answer)");
}

void HangUpCall(Connection& s, int guardMs) {
  readFor(s, guardMs);
  s.link.sendRaw("+++");
  ModemAnswerReader escaped;
  awaitModemAnswer(s, 2 * guardMs + 500, escaped, false);
  s.link.sendRaw("ATH\r");
  ModemAnswerReader hungUp;
  awaitModemAnswer(s, kHangUpAnswerMs, hungUp, false);
  s.showCallStatus("Завершено");
}

void QuietModem(Connection& s, int guardMs) {
  readFor(s, guardMs);
  s.link.sendRaw("+++");
  // A call up answers the escape with "OK" once the modem's guard time has
  // passed; a modem without one says nothing (or "NO CARRIER" to a dial the
  // "+" ended).
  const bool callWasUp = awaitOk(s, guardMs + 500);
  // Without a call the modem took "+++" for the start of a command line: CR ends it.
  if (!callWasUp) s.link.sendRaw("\r");
  s.link.sendRaw("ATH\r");
  ModemAnswerReader hungUp;
  const auto a = awaitModemAnswer(s, kHangUpAnswerMs, hungUp, false);
  DrainModemText(s);
  s.link.traceNote(std::string("modem before the first dial: ") +
                   (callWasUp ? "a call was up, hung up" : "no call was up") +
                   " (ATH: " + (a ? hungUp.answerLine() : std::string("no answer")) + ")");
}

}  // namespace vardis
