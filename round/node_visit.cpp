#include "round/node_visit.h"

#include <cctype>

#include "archives/session.h"
#include "connection/modem_call.h"
#include "connection/report_naming.h"
#include "params/identification.h"

namespace vardis::round {

namespace {

std::string causeText(ModemAnswer a) {
  switch (a) {
    case ModemAnswer::Busy:
      return "busy";
    case ModemAnswer::NoCarrier:
      return "no carrier";
    case ModemAnswer::NoAnswer:
      return "no answer";
    case ModemAnswer::NoDialtone:
      return "no dialtone";
    default:
      return "error";
  }
}

// The silence the modem wants around "+++": its guard time, register S12 in
// fiftieths of a second (1 s unless the init string sets it), and a little more.
int escapeGuardMs(const std::string& init) {
  std::string upper;
  for (char c : init) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::size_t at = upper.find("S12=");
  if (at == std::string::npos) return kEscapeGuardMs;
  int fiftieths = 0;
  std::size_t i = at + 4;
  for (; i < upper.size() && i < at + 7 && std::isdigit(static_cast<unsigned char>(upper[i]));
       ++i) {
    fiftieths = fiftieths * 10 + (upper[i] - '0');
  }
  return i == at + 4 ? kEscapeGuardMs : fiftieths * 20 + 100;
}

// After the guard time of silence, "+++"; the modem's "OK" says it is back in
// command state, and "ATH" ends the call. Nothing is waited for longer than
// the modem needs.
void hangUpAtOnce(Session& s, int guardMs) {
  s.link.receiveRaw(guardMs);
  s.link.sendRaw("+++");
  ModemAnswerReader escaped;
  awaitModemAnswer(s, 2 * guardMs + 500, escaped, false);
  s.link.sendRaw("ATH\r");
  ModemAnswerReader hungUp;
  awaitModemAnswer(s, 2000, hungUp, false);
  s.showCallStatus("Завершено");
}

// While the call is up: the identification and the commands.
std::string connectedVisit(Session& s, const VisitCommands& commands, store::RoundNodeRow& log) {
  DialWaitElapsed(s);
  if (!s.reports.ReportFilesOpen) return "no meter";
  log.serial = serialNumber(s.params.values[0]);
  log.reportFiles = s.shown().reportBaseName;
  const bool whole = commands(s, log);
  return whole ? "read" : "partial";
}

}  // namespace

void visitNode(Session& s, const ConnectionChoice& line, const RoundNode& node,
               const RoundOptions& options, const VisitCommands& commands, store::RoundNodeRow& log,
               const StepShown& step) {
  log.attempts += 1;
  log.port = line.portText;
  log.message.clear();
  s.link.endOnLinkFault = true;
  std::int64_t connectedAt = -1;
  try {
    step("dialling");
    s.openLine(line);
    PlaceCall(s, node.init, node.phone, options.answerWaitMs);
    connectedAt = s.clock().steadyMs();
    step("reading");
    log.result = connectedVisit(s, commands, log);
  } catch (const CallFailed& e) {
    log.result = causeText(e.answer().value_or(ModemAnswer::NoAnswer));
    log.message = e.what();
  } catch (const CommandCancelled&) {
    log.result = "stopped";
  } catch (const LineLost&) {
    log.result = s.link.carrierLost() ? "no carrier" : "partial";
    log.message = "the meter stopped answering";
  } catch (const std::exception& e) {
    log.result = "error";
    log.message = e.what();
  }
  // A call the modem reported lost needs no hang-up: the modem is back in command state.
  if (connectedAt >= 0 && !s.link.carrierLost()) {
    step("hanging up");
    try {  // also when the round was stopped: the call must not stay up
      hangUpAtOnce(s, escapeGuardMs(node.init));
    } catch (const std::exception&) {
    }
  }
  if (connectedAt >= 0) {
    log.connectedSeconds += (s.clock().steadyMs() - connectedAt) / 1000.0;
  }
  const auto& n = s.link.counters;
  log.transactions += n.TransactionCount;
  log.errors += n.ErrorCount;
  log.timeouts += n.TimeoutCount;
}

}  // namespace vardis::round
