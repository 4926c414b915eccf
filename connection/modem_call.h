// The modem call of a connection: dialling a node, reading the modem's answer
// and hanging up. The window runs the waits between the steps itself
// (kDialWaitMs, kHangUpWaitMs); vardis-cli and the round wait here.
#pragma once

#include <optional>
#include <string>

#include "connection/connection.h"
#include "connection/modem_answer.h"
#include "link/modem.h"

namespace vardis {

class Connection;

// Sends the dial command and shows the connecting status ("Соединение ~30c").
void Dial(Connection& s, const std::string& dialTextUtf8);

// "Разорвать связь": sends "+++" and shows the hanging-up status. The front end
// then runs HangUpWaitElapsed after kHangUpWaitMs.
void StartHangUp(Connection& s);
// Sends "ATH" CR.
void HangUpWaitElapsed(Connection& s);

// How long the modem may take to answer a dial, and an init string.
inline constexpr int kModemAnswerWaitMs = 60000;
inline constexpr int kInitAnswerWaitMs = 5000;
// The longest the modem's stale text is read away before a dial.
inline constexpr int kDrainLimitMs = 1000;

// A call that did not connect: the modem's answer, or nothing when it said
// nothing within the wait (no answer).
class CallFailed : public UserError {
 public:
  CallFailed(std::optional<ModemAnswer> answer, const std::string& message)
      : UserError(message), answer_(answer) {}
  // BUSY, NO CARRIER, NO ANSWER, NO DIALTONE, ERROR, +CME/+CMS ERROR;
  // nothing: the modem was silent.
  std::optional<ModemAnswer> answer() const { return answer_; }

 private:
  std::optional<ModemAnswer> answer_;
};

// Reads away what the modem has said and nobody read (the "OK" to the last
// call's "ATH", a late "NO CARRIER"): short reads while text comes, for
// kDrainLimitMs at most; the first read that gets nothing ends it.
void DrainModemText(Connection& s);

// Sends the init string (when any) and waits for its "OK"; throws CallFailed
// (after "ATH") when the modem refuses it, naming the modem's line. Silence
// passes: a modem that keeps its result codes to itself may still dial.
void SendModemInit(Connection& s, const std::string& init);

// One dial and its answer, the same for the window (which polls from a timer)
// and for PlaceCall (which waits).
class DialStep {
 public:
  // Drains what the modem said before this dial, sends the init string when
  // any and awaits its "OK" (SendModemInit, which may throw CallFailed), sends
  // the dial text and shows "Соединение ~30c".
  void start(Connection& s, const std::string& init, const std::string& dialTextUtf8);
  // Reads what comes within `sliceMs`: the dial's answer once the modem gave
  // one. An "OK" is never taken for it. CONNECT: the call status shows the
  // modem's line. Any other answer: "ATH" CR at once, and the call status
  // shows the modem's line ("BUSY", "+CME ERROR: 30").
  std::optional<ModemAnswer> poll(Connection& s, int sliceMs);
  // The line of the dial's answer, as the modem sent it; "" before one.
  const std::string& answerLine() const { return answerLine_; }

 private:
  ModemAnswerReader reader_;
  std::string answerLine_;
};

// A call whose answer is awaited: the DialStep, polled until the modem
// answers. Returns on CONNECT (the call status shows the modem's line); any
// other answer, or none within `waitMs` ("ATH" CR then, and "NO ANSWER"
// shown), throws CallFailed naming the modem's line. A cancel ends the wait
// (CommandCancelled).
void PlaceCall(Connection& s, const std::string& init, const std::string& dialTextUtf8,
               int waitMs = kModemAnswerWaitMs);

// Ends a call at once and waits for nothing longer than the modem needs:
// `guardMs` of silence, "+++", the modem's "OK" (up to 2 * guardMs + 500 ms),
// "ATH" CR, its "OK" (up to 2 s); then the call status shows "Завершено".
// Not cancellable: the call must not stay up.
void HangUpCall(Connection& s, int guardMs);

// Before the first dial on a port: leaves the modem in command state with no
// call up, whatever an earlier program left behind: `guardMs` of silence,
// "+++", its "OK" (up to `guardMs` + 500 ms), "ATH" CR, its answer (up to
// 2 s), the drain. When "+++" got no "OK" a CR goes before "ATH": a modem in
// command state took "+++" for the start of a command line. Says in the trace
// what it found. A modem without a call costs about 2 * guardMs + 600 ms.
void QuietModem(Connection& s, int guardMs);

}  // namespace vardis
