// What the modem says to a dial or an init command: the result codes of a
// Hayes modem, and those of a GSM modem's errors, read off the line line by line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vardis {

class Connection;

enum class ModemAnswer {
  Connect,      // "CONNECT", "CONNECT 9600": the call is up, the meter is on the line
  Ok,           // "OK": a command (an init string) was taken
  Busy,         // "BUSY"
  NoCarrier,    // "NO CARRIER"
  NoAnswer,     // "NO ANSWER", and nothing at all within the wait
  NoDialtone,   // "NO DIALTONE", "NO DIAL TONE"
  Error,        // "ERROR"
  DeviceError,  // "+CME ERROR: 30", "+CMS ERROR: 500": the GSM part refused (no network, no SIM)
};

// The modem's words for an answer ("BUSY", "NO CARRIER", "+CME ERROR"); the
// line it came in (ModemAnswerReader::answerLine) says more.
const char* modemAnswerText(ModemAnswer a);

// Collects the bytes the modem sends and picks the result codes out of them,
// one per feed; echoes and other lines are passed over.
class ModemAnswerReader {
 public:
  // Reads on through what is left of earlier bytes, then `bytes`: the first
  // result code, if any. The bytes after its line are kept for the next feed
  // (feed({}) reads on through them).
  std::optional<ModemAnswer> feed(std::string_view bytes);
  // The line the last answer came in, as sent but for blanks around it
  // ("CONNECT 9600", "+CME ERROR: 30").
  const std::string& answerLine() const { return answerLine_; }

 private:
  std::string unread_;   // bytes after the last answer, not looked at yet
  std::string pending_;  // the line so far
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
