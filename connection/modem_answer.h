// What the modem says to a dial or an init command: the result codes of a
// Hayes modem, read off the line line by line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vardis {

class Connection;

enum class ModemAnswer {
  Connect,     // "CONNECT", "CONNECT 9600": the call is up, the meter is on the line
  Ok,          // "OK": a command (an init string) was taken
  Busy,        // "BUSY"
  NoCarrier,   // "NO CARRIER"
  NoAnswer,    // "NO ANSWER", and nothing at all within the wait
  NoDialtone,  // "NO DIALTONE", "NO DIAL TONE"
  Error,       // "ERROR"
};

// The modem's own words for an answer ("BUSY", "NO CARRIER", ...).
const char* modemAnswerText(ModemAnswer a);

// Collects the bytes the modem sends and picks the first result code out of
// them; echoes and other lines are passed over.
class ModemAnswerReader {
 public:
  std::optional<ModemAnswer> feed(std::string_view bytes);
  // The line the answer came in, as sent ("CONNECT 9600").
  const std::string& answerLine() const { return answerLine_; }

 private:
  std::string pending_;
  std::string answerLine_;
};

// Reads what arrived within `sliceMs` into the reader: the answer once one is
// complete.
std::optional<ModemAnswer> pollModemAnswer(Connection& s, ModemAnswerReader& reader,
                                           int sliceMs = 50);

// Waits up to `waitMs` for the modem's answer, letting the window breathe;
// nothing when the modem said nothing. A cancel ends the wait
// (CommandCancelled) unless it is not `cancellable` (the hang-up).
std::optional<ModemAnswer> awaitModemAnswer(Connection& s, int waitMs, ModemAnswerReader& reader,
                                            bool cancellable = true);

}  // namespace vardis
