// The queue a round's modems take their nodes from: one process's own
// (round_queue.h) or a round shared by several hosts in the store
// (shared_queue.h). Every call may come from any modem's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "round/node_log.h"

namespace vardis::round {

struct RoundNode {
  int number = 0;  // in the node directory, from 1
  std::string name;
  std::string phone;  // the dial text
  std::string init;   // the modem init string, "" for none
  // A round of today read it with the same commands, address and speed: not called.
  bool readEarlier = false;
  // Set: the node cannot be called (no dial text); the reason, as logged.
  std::string refused;
  // Its calls use the quick drain (the node file's quick, or --quick-drain).
  bool quickDrain = false;
};

// What a free modem gets from the queue.
struct Turn {
  std::optional<std::size_t> node;  // the node to call now
  // Nothing to call now, but a paused node comes back at this time (steady ms).
  std::optional<std::int64_t> waitUntilMs;
  bool over() const { return !node && !waitUntilMs; }
};

class NodeQueue {
 public:
  virtual ~NodeQueue() = default;
  // The next node for the modem on `port` at `nowMs` (the round's steady
  // scale), or when to ask again; over when every node is done.
  virtual Turn next(std::int64_t nowMs, const std::string& port) = 0;
  // The attempt on node `i` ended with this log (its attempts counted).
  virtual void attemptEnded(std::size_t i, const NodeLog& log, std::int64_t nowMs) = 0;
  // Node `i` goes back without an attempt (its modem could not call).
  virtual void handBack(std::size_t i) = 0;
  // Every node this queue still holds open ends with this result and
  // message, unattempted ones keeping 0 attempts.
  virtual void endOpenNodes(NodeResult result, const std::string& message) = 0;
  // Waits until the queue changed or `maxWaitMs` of real time passed.
  virtual void waitForChange(int maxWaitMs) = 0;

  virtual const RoundNode& node(std::size_t i) const = 0;
  virtual std::size_t size() const = 0;
  virtual NodeLog log(std::size_t i) const = 0;
  virtual std::vector<NodeLog> logs() const = 0;
};

}  // namespace vardis::round
