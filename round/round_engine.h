// The round's engine: the nodes of a plan called over every modem of the
// plan, each modem on a thread of its own, sharing one queue. What a modem
// does with a node comes from a factory (a session on a serial line in the
// program, a scripted modem in tests); the time comes from the PcClock and
// every wait goes through the environment, so the engine runs on a virtual
// clock as well as on the real one.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/pc_clock.h"
#include "round/round_queue.h"

namespace vardis::round {

// How a modem's attempt at a node ended.
enum class AttemptEnd {
  Counted,     // the attempt counts: its result is in the node's log
  PortFailed,  // the modem's port could not be opened or went away: nothing counted
};

// One modem of the round, made and used on its own thread.
class RoundModem {
 public:
  virtual ~RoundModem() = default;
  using StepShown = std::function<void(const std::string& step)>;
  // One attempt at the node, its figures added to `log` (attempts counted),
  // each step told ("dialling", "reading", "hanging up"). PortFailed leaves
  // `log` as it was and puts the port's reason in `why`; an exception out of
  // it counts as PortFailed with its message.
  virtual AttemptEnd attempt(const RoundNode& node, NodeLog& log, std::string& why,
                             const StepShown& step) = 0;
};

using ModemFactory = std::function<std::unique_ptr<RoundModem>(const std::string& port)>;

// Told what the round does; called from the modems' threads.
class RoundObserver {
 public:
  virtual ~RoundObserver() = default;
  // Node `i` is in `state` ("dialling", "reading", "hanging up", or its result).
  virtual void nodeShown(std::size_t i, const NodeLog& log, const std::string& state) = 0;
  // A modem left the round (named once), with the reason.
  virtual void modemFailed(const std::string& port, const std::string& why) = 0;
};

struct RoundPlan {
  std::vector<RoundNode> nodes;
  std::vector<std::string> ports;  // the modems, each once
  std::size_t commandCount = 0;    // the commands of a visit
  RoundOptions options;
};

struct RoundEnvironment {
  const PcClock* clock = nullptr;
  ModemFactory modems;
  RoundObserver* observer = nullptr;
  // Set: every modem ends after its current exchange (and hangs up).
  const std::atomic<bool>* stop = nullptr;
  // Runs the tasks side by side and returns when all are over; unset: a
  // std::thread each.
  std::function<void(const std::vector<std::function<void()>>& tasks)> parallel;
  // Waits until the clock reads `untilMs` or the queue changes; unset: real
  // waits on the queue.
  std::function<void(NodeQueue& queue, std::int64_t untilMs)> waitUntil;
};

struct FailedModem {
  std::string port;
  std::string why;
};

struct RoundOutcome {
  std::vector<NodeLog> nodes;
  std::vector<std::string> modemsUsed;  // the ports that took part, in plan order
  std::vector<FailedModem> modemsFailed;
  bool anyAttempted = false;  // a dial (or a try at one) counted against a node
};

RoundOutcome runRound(const RoundPlan& plan, const RoundEnvironment& env);
// The same on a queue of another's: the plan's nodes are the queue's.
RoundOutcome runRound(const RoundPlan& plan, const RoundEnvironment& env, NodeQueue& queue);

}  // namespace vardis::round
