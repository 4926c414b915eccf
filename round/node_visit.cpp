#include "round/node_visit.h"

#include <algorithm>

#include "archives/session.h"
#include "connection/modem_call.h"
#include "connection/report_naming.h"
#include "link/modem.h"
#include "params/identification.h"

namespace vardis::round {

namespace {

NodeResult resultOf(std::optional<ModemAnswer> a) {
  switch (a.value_or(ModemAnswer::NoAnswer)) {
    case ModemAnswer::Busy:
      return NodeResult::Busy;
    case ModemAnswer::NoCarrier:
      return NodeResult::NoCarrier;
    case ModemAnswer::NoAnswer:
      return NodeResult::NoAnswer;
    case ModemAnswer::NoDialtone:
      return NodeResult::NoDialtone;
    default:
      return NodeResult::Error;
  }
}

class SessionModem final : public RoundModem {
 public:
  SessionModem(const SessionModems& setup, const std::string& port)
      : setup_(setup),
        port_(port),
        line_(setup.line()),
        session_(*line_, *setup.clock, setup.config),
        runner_(setup.runner(session_, port)) {
    session_.setBreathe([this] {
      if (setup_.stop && setup_.stop->load()) session_.requestCancel();
    });
  }

  AttemptEnd attempt(const RoundNode& node, NodeLog& log, std::string& why,
                     const StepShown& step) override {
    const NodeLog before = log;
    step("dialling");
    try {
      session_.openLine({setup_.address, port_, setup_.speedIndex, true});
    } catch (const PortError& e) {
      const std::string reason = line_->openFailure(port_);
      why = reason.empty() ? e.what() : reason;
      return AttemptEnd::PortFailed;
    } catch (const UserError& e) {  // a port or address text no line can take
      why = e.what();
      return AttemptEnd::PortFailed;
    }
    log.attempts += 1;
    log.port = port_;
    log.message.clear();
    callAndVisit(node, log, step);
    try {
      session_.StopConnection();
    } catch (const std::exception& e) {
      log.message = e.what();
    }
    session_.clearCancel();
    if (!line_->lastSendWent()) {
      // The port went away under the attempt: the node was not at fault.
      log = before;
      why = "the port " + port_ + " went away";
      return AttemptEnd::PortFailed;
    }
    return AttemptEnd::Counted;
  }

 private:
  void callAndVisit(const RoundNode& node, NodeLog& log, const StepShown& step) {
    Session& s = session_;
    s.link.endOnLinkFault = true;
    // The attempts of a node append to the report files its first one made.
    s.keepReportBase = log.reportFiles;
    s.link.quickDrain = node.quickDrain;
    std::int64_t connectedAt = -1;
    try {
      if (!quiet_) {
        // Whatever an earlier program left on this modem, no call is up now.
        QuietModem(s, kEscapeGuardMs);
        quiet_ = true;
      }
      PlaceCall(s, node.init, node.phone, setup_.options.answerWaitMs);
      connectedAt = s.clock().steadyMs();
      step("reading");
      log.result = connectedVisit(log);
    } catch (const CallFailed& e) {
      log.result = resultOf(e.answer());
      log.message = e.what();
    } catch (const CommandCancelled&) {
      log.result = NodeResult::Stopped;
    } catch (const LineLost&) {
      log.result = s.link.carrierLost() ? NodeResult::NoCarrier : NodeResult::Partial;
      log.message = "the meter stopped answering";
    } catch (const std::exception& e) {
      log.result = NodeResult::Error;
      log.message = e.what();
    }
    // A call the modem reported lost needs no hang-up: the modem is back in command state.
    if (connectedAt >= 0 && !s.link.carrierLost()) {
      step("hanging up");
      try {  // also when the round was stopped: the call must not stay up
        HangUpCall(s, escapeGuardMs(node.init));
      } catch (const std::exception&) {
      }
    }
    if (connectedAt >= 0) log.connectedSeconds += (s.clock().steadyMs() - connectedAt) / 1000.0;
    if (s.link.quickDrainEnded()) {
      log.drain = DrainUsed::QuickThenFull;
    } else if (node.quickDrain && log.drain == DrainUsed::Full) {
      log.drain = DrainUsed::Quick;
    }
    const auto& n = s.link.counters;
    log.transactions += n.TransactionCount;
    log.errors += n.ErrorCount;
    log.timeouts += n.TimeoutCount;
  }

  // While the call is up: the identification and the commands.
  NodeResult connectedVisit(NodeLog& log) {
    Session& s = session_;
    try {
      DialWaitElapsed(s);
    } catch (const NoMeterAnswer& e) {
      log.message = e.what();
      return NodeResult::NoMeter;
    } catch (const LineLost&) {
      if (s.link.carrierLost()) throw;
      log.message = "no meter answered the identification";
      return NodeResult::NoMeter;
    }
    if (!s.reports.ReportFilesOpen) return NodeResult::NoMeter;
    log.serial = serialNumber(s.params.values[0]);
    log.reportFiles = s.shown().reportBaseName;
    runner_->run(s, log.done);
    const bool whole = std::all_of(log.done.begin(), log.done.end(), [](bool d) { return d; });
    return whole ? NodeResult::Read : NodeResult::Partial;
  }

  const SessionModems& setup_;
  std::string port_;
  std::unique_ptr<SerialLine> line_;
  Session session_;
  std::unique_ptr<VisitRunner> runner_;
  bool quiet_ = false;
};

}  // namespace

ModemFactory sessionModemFactory(SessionModems setup) {
  auto shared = std::make_shared<const SessionModems>(std::move(setup));
  return [shared](const std::string& port) -> std::unique_ptr<RoundModem> {
    return std::make_unique<SessionModem>(*shared, port);
  };
}

}  // namespace vardis::round
