// What a round knows of one node: the typed result of its last attempt and
// the figures of all of them. Texts are made only where the log leaves the
// round (the live table, the log files, the store).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/reading_store.h"

namespace vardis::round {

enum class NodeResult {
  Read,        // every command of the visit completed
  Partial,     // the meter was identified, but not every command completed
  Busy,        // the modem said BUSY
  NoCarrier,   // NO CARRIER: to the dial, or the call went down
  NoAnswer,    // NO ANSWER, or the modem said nothing to the dial
  NoDialtone,  // NO DIALTONE
  Error,       // ERROR, +CME ERROR, or a fault of the tool's side
  NoMeter,     // the call stood, but no meter answered the identification
  Stopped,     // stopped by the user before it ended
};

// "read", "partial", "busy", "no carrier", "no answer", "no dialtone",
// "error", "no meter", "stopped": the words of the log files and the store.
const char* resultText(NodeResult r);

// Results that end a node for good: read, or stopped by the user.
bool finalResult(NodeResult r);

// The drain the node's calls had before each request.
enum class DrainUsed {
  Full,           // the full drain time-out every time
  Quick,          // the quick drain, never ended
  QuickThenFull,  // the quick drain, ended by an exchange without a good reply
};

// "full", "quick", "quick, then full": the words of the log files.
const char* drainText(DrainUsed d);

struct NodeLog {
  int node = 0;
  std::string name;
  std::string phone;
  std::optional<long long> serial;
  NodeResult result = NodeResult::Stopped;  // until an attempt says otherwise
  int attempts = 0;
  double connectedSeconds = 0;
  long long transactions = 0;
  long long errors = 0;
  long long timeouts = 0;
  // done[k]: command k of the visit completed in one of the attempts.
  std::vector<bool> done;
  std::string reportFiles;  // the base name of the node's report files
  std::string port;         // the modem that took the last attempt
  std::string message;      // why the last attempt failed
  DrainUsed drain = DrainUsed::Full;
};

// The log row of a node; whatRead names the commands that completed, each
// once, in the order of the visit.
store::RoundNodeRow rowOf(const NodeLog& log, const std::vector<std::string>& commandNames);

}  // namespace vardis::round
