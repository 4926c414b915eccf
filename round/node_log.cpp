#include "round/node_log.h"

namespace vardis::round {

const char* resultText(NodeResult r) {
  switch (r) {
    case NodeResult::Read:
      return "read";
    case NodeResult::Partial:
      return "partial";
    case NodeResult::Busy:
      return "busy";
    case NodeResult::NoCarrier:
      return "no carrier";
    case NodeResult::NoAnswer:
      return "no answer";
    case NodeResult::NoDialtone:
      return "no dialtone";
    case NodeResult::Error:
      return "error";
    case NodeResult::NoMeter:
      return "no meter";
    case NodeResult::Stopped:
      break;
  }
  return "stopped";
}

const char* drainText(DrainUsed d) {
  switch (d) {
    case DrainUsed::Quick:
      return "quick";
    case DrainUsed::QuickThenFull:
      return "quick, then full";
    case DrainUsed::Full:
      break;
  }
  return "full";
}

bool finalResult(NodeResult r) {
  return r == NodeResult::Read || r == NodeResult::Stopped;
}

store::RoundNodeRow rowOf(const NodeLog& l, const std::vector<std::string>& commandNames) {
  store::RoundNodeRow row;
  row.node = l.node;
  row.name = l.name;
  row.phone = l.phone;
  row.serial = l.serial;
  row.result = resultText(l.result);
  row.attempts = l.attempts;
  row.connectedSeconds = l.connectedSeconds;
  row.transactions = l.transactions;
  row.errors = l.errors;
  row.timeouts = l.timeouts;
  for (std::size_t k = 0; k < l.done.size() && k < commandNames.size(); ++k) {
    if (l.done[k]) row.whatRead += (row.whatRead.empty() ? "" : " ") + commandNames[k];
  }
  row.reportFiles = l.reportFiles;
  row.port = l.port;
  row.message = l.message;
  row.drain = drainText(l.drain);
  return row;
}

}  // namespace vardis::round
