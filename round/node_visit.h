// One attempt at a node of a round, on the session of one modem: "Старт" on
// the modem's port, the init string, the dial and the modem's answer, the
// identification, the visit's commands, and the hang-up as soon as they end.
#pragma once

#include <functional>
#include <string>

#include "connection/connection.h"
#include "round/round_queue.h"

namespace vardis {
class Session;
}

namespace vardis::round {

// The commands of a visit, run while the call is up; they add what they read
// to the log's whatRead. False when one of them did not complete, or read
// values without a good reply.
using VisitCommands = std::function<bool(Session& s, store::RoundNodeRow& log)>;

// Told each step of the attempt ("dialling", "reading", "hanging up", ...).
using StepShown = std::function<void(const std::string& step)>;

// Carries out one attempt and writes its result, the link figures and the
// connected seconds into `log` (attempts counted). Stopped by the session's
// cancel flag after the current exchange, still hanging up.
// `line` is the modem's port, speed and the meter address, as at "Старт".
void visitNode(Session& s, const ConnectionChoice& line, const RoundNode& node,
               const RoundOptions& options, const VisitCommands& commands, store::RoundNodeRow& log,
               const StepShown& step);

}  // namespace vardis::round
