// The modem call of a connection: dialling a node and hanging up. The front
// end runs the waits between the steps (kDialWaitMs, kHangUpWaitMs).
#pragma once

#include <optional>
#include <string>

#include "connection/connection.h"
#include "connection/modem_answer.h"
#include "link/modem.h"

namespace vardis {

class Connection;

// "Соединится": sends the dial command and shows the connecting status. The
// front end then runs DialWaitElapsed after kDialWaitMs.
void Dial(Connection& s, const std::string& dialTextUtf8);

// "Разорвать связь": sends "+++" and shows the hanging-up status. The front end
// then runs HangUpWaitElapsed after kHangUpWaitMs.
void StartHangUp(Connection& s);
// Sends "ATH" CR.
void HangUpWaitElapsed(Connection& s);

// How long the modem may take to answer a dial, and an init string.
inline constexpr int kModemAnswerWaitMs = 60000;
inline constexpr int kInitAnswerWaitMs = 5000;

// A call that did not connect: the modem's answer, or nothing when it said
// nothing within the wait (no answer).
class CallFailed : public UserError {
 public:
  CallFailed(std::optional<ModemAnswer> answer, const std::string& message)
      : UserError(message), answer_(answer) {}
  // BUSY, NO CARRIER, NO ANSWER, NO DIALTONE, ERROR; nothing: the modem was silent.
  std::optional<ModemAnswer> answer() const { return answer_; }

 private:
  std::optional<ModemAnswer> answer_;
};

// Sends the init string (when any) and waits for its "OK"; throws CallFailed
// (after "ATH") when the modem refuses it. Silence passes: a modem that keeps
// its result codes to itself may still dial.
void SendModemInit(Connection& s, const std::string& init);

// The modem answered the dial while the window's dial wait runs: true on
// CONNECT (the call status shows the modem's line; the identification
// follows at once); any other answer hangs up at once and shows it.
bool DialAnswered(Connection& s, ModemAnswer answer, const std::string& line);

// A call whose answer is read: the init string (when any, its "OK" awaited),
// the dial text, and the modem's answer. Returns on CONNECT (the call status
// shows the modem's line); any other answer, or none within `waitMs`, hangs
// up at once ("ATH") and throws CallFailed.
void PlaceCall(Connection& s, const std::string& init, const std::string& dialTextUtf8,
               int waitMs = kModemAnswerWaitMs);

}  // namespace vardis
