// The nodes of a round and which one a free modem calls next. Several modems
// (threads) share one queue; a node is with one modem at a time. A node whose
// attempt failed comes back after the redial pause, until its attempts are
// used up.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "store/reading_store.h"

namespace vardis::round {

struct RoundNode {
  int number = 0;  // in the node directory, from 1
  std::string name;
  std::string phone;  // the dial text
  std::string init;   // the modem init string, "" for none
};

struct RoundOptions {
  int attempts = 3;
  int redialPauseMs = 60000;
  int answerWaitMs = 60000;
};

// Results that end a node for good: read, or stopped by the user.
bool finalResult(const std::string& result);

class RoundQueue {
 public:
  RoundQueue(std::vector<RoundNode> nodes, RoundOptions options);

  // The next node to call: one whose pause is over, waiting while the others
  // are paused or with other modems. Nothing when every node is done, or the
  // cancel flag is set.
  std::optional<std::size_t> take(const std::atomic<bool>& cancel);
  // The attempt on node `i` ended with the result in its log: the node is
  // done, or comes back after the redial pause.
  void attemptEnded(std::size_t i);

  const RoundNode& node(std::size_t i) const { return nodes_[i]; }
  // The log of node `i`, and its update by the modem that took it.
  store::RoundNodeRow log(std::size_t i) const;
  void setLog(std::size_t i, const store::RoundNodeRow& row);
  std::vector<store::RoundNodeRow> logs() const;
  const RoundOptions& options() const { return options_; }

 private:
  using Clock = std::chrono::steady_clock;
  enum class State { Waiting, Calling, Done };

  std::vector<RoundNode> nodes_;
  RoundOptions options_;
  std::vector<store::RoundNodeRow> logs_;
  std::vector<State> states_;
  std::vector<Clock::time_point> notBefore_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
};

}  // namespace vardis::round
