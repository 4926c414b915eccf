// The nodes of a round and which one a free modem calls next. Several modems
// (threads) share one queue; a node is with one modem at a time. A node whose
// attempt failed comes back after the redial pause, until its attempts are
// used up. The queue never reads a clock itself: every call is told the time
// on the round's steady scale (PcClock::steadyMs), so it is tested without
// waiting.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
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

struct RoundOptions {
  int attempts = 3;
  int redialPauseMs = 60000;
  int answerWaitMs = 60000;
};

// What a free modem gets from the queue.
struct Turn {
  std::optional<std::size_t> node;  // the node to call now
  // Nothing to call now, but a paused node comes back at this time (steady ms).
  std::optional<std::int64_t> waitUntilMs;
  bool over() const { return !node && !waitUntilMs; }
};

class RoundQueue {
 public:
  RoundQueue(std::vector<RoundNode> nodes, RoundOptions options, std::size_t commandCount);

  // The next node to call at `nowMs`, or when to ask again; over when every
  // node is done. A node with another modem is never handed out.
  Turn take(std::int64_t nowMs);
  // The attempt on node `i` ended at `nowMs` with this log (its attempts
  // counted): the node is done, or comes back after the redial pause.
  void attemptEnded(std::size_t i, const NodeLog& log, std::int64_t nowMs);
  // Node `i` is handed back without an attempt (its modem could not call):
  // it is free for another modem at once, its log unchanged.
  void handBack(std::size_t i);
  // Every node not yet done ends with this result and message, unattempted
  // ones keeping 0 attempts (the round stopped, or no modem is left).
  void endOpenNodes(NodeResult result, const std::string& message);

  // Waits until the queue changed or `maxWaitMs` of real time passed.
  void waitForChange(int maxWaitMs);

  const RoundNode& node(std::size_t i) const { return nodes_[i]; }
  std::size_t size() const { return nodes_.size(); }
  NodeLog log(std::size_t i) const;
  std::vector<NodeLog> logs() const;
  const RoundOptions& options() const { return options_; }

 private:
  enum class State { Waiting, Calling, Done };

  std::vector<RoundNode> nodes_;
  RoundOptions options_;
  std::vector<NodeLog> logs_;
  std::vector<State> states_;
  std::vector<std::int64_t> notBefore_;
  std::uint64_t changes_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
};

}  // namespace vardis::round
