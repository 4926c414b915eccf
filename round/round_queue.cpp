#include "round/round_queue.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace vardis::round {

RoundQueue::RoundQueue(std::vector<RoundNode> nodes, RoundOptions options, std::size_t commandCount)
    : nodes_(std::move(nodes)),
      options_(options),
      logs_(nodes_.size()),
      states_(nodes_.size(), State::Waiting),
      notBefore_(nodes_.size(), std::numeric_limits<std::int64_t>::min()) {
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    NodeLog& l = logs_[i];
    l.node = nodes_[i].number;
    l.name = nodes_[i].name;
    l.phone = nodes_[i].phone;
    l.done.assign(commandCount, false);
    if (nodes_[i].readEarlier) {
      l.result = NodeResult::Read;
      l.message = "read earlier today";
      states_[i] = State::Done;
    } else if (!nodes_[i].refused.empty()) {
      l.result = NodeResult::Error;
      l.message = nodes_[i].refused;
      states_[i] = State::Done;
    }
  }
}

Turn RoundQueue::take(std::int64_t nowMs) {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::optional<std::int64_t> earliest;
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    if (states_[i] == State::Done) continue;
    // A node with another modem may come back, no sooner than its redial pause.
    const std::int64_t at =
        states_[i] == State::Calling ? nowMs + options_.redialPauseMs : notBefore_[i];
    if (states_[i] == State::Waiting && at <= nowMs) {
      states_[i] = State::Calling;
      return {i, std::nullopt};
    }
    earliest = std::min(earliest.value_or(at), at);
  }
  return {std::nullopt, earliest};
}

void RoundQueue::attemptEnded(std::size_t i, const NodeLog& log, std::int64_t nowMs) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    logs_[i] = log;
    const bool done = finalResult(log.result) || log.attempts >= options_.attempts;
    states_[i] = done ? State::Done : State::Waiting;
    notBefore_[i] = nowMs + options_.redialPauseMs;
    ++changes_;
  }
  changed_.notify_all();
}

void RoundQueue::handBack(std::size_t i) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (states_[i] == State::Calling) states_[i] = State::Waiting;
    ++changes_;
  }
  changed_.notify_all();
}

void RoundQueue::endOpenNodes(NodeResult result, const std::string& message) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      if (states_[i] == State::Done) continue;
      // A node that was tried keeps what its last attempt said.
      if (logs_[i].attempts == 0) {
        logs_[i].result = result;
        logs_[i].message = message;
      }
      states_[i] = State::Done;
    }
    ++changes_;
  }
  changed_.notify_all();
}

void RoundQueue::waitForChange(int maxWaitMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  const std::uint64_t seen = changes_;
  changed_.wait_for(lock, std::chrono::milliseconds(std::max(0, maxWaitMs)),
                    [&] { return changes_ != seen; });
}

NodeLog RoundQueue::log(std::size_t i) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return logs_[i];
}

std::vector<NodeLog> RoundQueue::logs() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return logs_;
}

}  // namespace vardis::round
