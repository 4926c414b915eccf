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
#include "round/node_queue.h"

namespace vardis::round {

struct RoundOptions {
  int attempts = 3;
  int redialPauseMs = 60000;
  int answerWaitMs = 60000;
};

class RoundQueue final : public NodeQueue {
 public:
  RoundQueue(std::vector<RoundNode> nodes, RoundOptions options, std::size_t commandCount);

  // The next node to call at `nowMs`, or when to ask again; over when every
  // node is done. A node with another modem is never handed out.
  Turn take(std::int64_t nowMs);
  Turn next(std::int64_t nowMs, const std::string&) override { return take(nowMs); }
  // The attempt on node `i` ended at `nowMs` with this log (its attempts
  // counted): the node is done, or comes back after the redial pause.
  void attemptEnded(std::size_t i, const NodeLog& log, std::int64_t nowMs) override;
  // Node `i` is handed back without an attempt (its modem could not call):
  // it is free for another modem at once, its log unchanged.
  void handBack(std::size_t i) override;
  // Every node not yet done ends with this result and message, unattempted
  // ones keeping 0 attempts (the round stopped, or no modem is left).
  void endOpenNodes(NodeResult result, const std::string& message) override;

  // Waits until the queue changed or `maxWaitMs` of real time passed.
  void waitForChange(int maxWaitMs) override;

  const RoundNode& node(std::size_t i) const override { return nodes_[i]; }
  std::size_t size() const override { return nodes_.size(); }
  NodeLog log(std::size_t i) const override;
  std::vector<NodeLog> logs() const override;
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
