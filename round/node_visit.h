// A modem of the round on a session of its own: "Старт" on the modem's port,
// the init string, the dial and the modem's answer, the identification, the
// visit's commands, and the hang-up as soon as they end.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "connection/connection.h"
#include "link/pc_clock.h"
#include "link/serial_line.h"
#include "round/round_engine.h"

namespace vardis {
class Session;
}  // namespace vardis

namespace vardis::round {

// The commands of a visit, run while the call is up, after the identification.
class VisitRunner {
 public:
  virtual ~VisitRunner() = default;
  // Sets done[k] for each command k that completed with every value read.
  // Throws what the session throws (LineLost, CommandCancelled, ...).
  virtual void run(Session& s, std::vector<bool>& done) = 0;
};

// What every modem of the round is made of.
struct SessionModems {
  std::function<std::unique_ptr<SerialLine>()> line;  // a line of its own for each modem
  const PcClock* clock = nullptr;
  SessionConfig config;
  std::string address = "0";  // the meters' address, as typed
  int speedIndex = 8;
  RoundOptions options;
  const std::atomic<bool>* stop = nullptr;
  // What runs the commands on that modem's session (and sets its trace).
  std::function<std::unique_ptr<VisitRunner>(Session& s, const std::string& port)> runner;
};

// The factory of the engine: modems on sessions over real (or fake) lines.
ModemFactory sessionModemFactory(SessionModems setup);

}  // namespace vardis::round
