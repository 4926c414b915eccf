#include "connection/modem_call.h"

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

[[noreturn]] void callFailed(Connection& s, std::optional<ModemAnswer> answer,
                             const std::string& what) {
  DialAnswered(s, answer.value_or(ModemAnswer::NoAnswer), "");
  throw CallFailed(
      answer.value_or(ModemAnswer::NoAnswer),
      what + ": " + (answer ? modemAnswerText(*answer) : "the modem said nothing (no answer)"));
}

}  // namespace

bool DialAnswered(Connection& s, ModemAnswer answer, const std::string& line) {
  if (answer == ModemAnswer::Connect) {
    s.showCallStatus(line.empty() ? modemAnswerText(answer) : line);
    return true;
  }
  s.link.sendRaw("ATH\r");
  s.showCallStatus(modemAnswerText(answer));
  return false;
}

void SendModemInit(Connection& s, const std::string& init) {
  if (init.empty()) return;
  s.link.sendRaw(init + "\r");
  ModemAnswerReader reader;
  const auto a = awaitModemAnswer(s, kInitAnswerWaitMs, reader);
  if (a && *a != ModemAnswer::Ok) callFailed(s, a, "the modem refused " + init);
}

void PlaceCall(Connection& s, const std::string& init, const std::string& dialTextUtf8,
               int waitMs) {
  // What the modem said to the last call's hang-up must not pass for this call's answer.
  for (int i = 0; i < 20 && !s.link.receiveRaw(50).empty(); ++i) {
  }
  SendModemInit(s, init);
  Dial(s, dialTextUtf8);
  ModemAnswerReader reader;
  const std::int64_t until = s.clock().steadyMs() + waitMs;
  std::optional<ModemAnswer> a;
  do {  // an "OK" is no answer to a dial
    a = awaitModemAnswer(s, static_cast<int>(until - s.clock().steadyMs()), reader);
  } while (a == ModemAnswer::Ok && s.clock().steadyMs() < until);
  if (!a || *a != ModemAnswer::Connect) callFailed(s, a, "dialled " + dialTextUtf8);
  DialAnswered(s, *a, reader.answerLine());
}

}  // namespace vardis
