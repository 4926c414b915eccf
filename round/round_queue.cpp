#include "round/round_queue.h"

#include <algorithm>

namespace vardis::round {

bool finalResult(const std::string& result) {
  return result == "read" || result == "stopped";
}

RoundQueue::RoundQueue(std::vector<RoundNode> nodes, RoundOptions options)
    : nodes_(std::move(nodes)),
      options_(options),
      logs_(nodes_.size()),
      states_(nodes_.size(), State::Waiting),
      notBefore_(nodes_.size(), Clock::now()) {
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    logs_[i].node = nodes_[i].number;
    logs_[i].name = nodes_[i].name;
    logs_[i].phone = nodes_[i].phone;
    logs_[i].result = "stopped";  // until an attempt says otherwise
  }
}

std::optional<std::size_t> RoundQueue::take(const std::atomic<bool>& cancel) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (cancel.load()) return std::nullopt;
    const auto now = Clock::now();
    auto earliest = Clock::time_point::max();
    bool open = false;
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      if (states_[i] == State::Done) continue;
      open = true;
      if (states_[i] != State::Waiting) continue;
      if (notBefore_[i] <= now) {
        states_[i] = State::Calling;
        return i;
      }
      earliest = std::min(earliest, notBefore_[i]);
    }
    if (!open) return std::nullopt;
    // Woken by a node coming back or ending, by its pause running out, and
    // now and then to see the cancel flag.
    const auto wake = std::min(earliest, now + std::chrono::milliseconds(200));
    changed_.wait_until(lock, wake);
  }
}

void RoundQueue::attemptEnded(std::size_t i) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    const bool done = finalResult(logs_[i].result) || logs_[i].attempts >= options_.attempts;
    states_[i] = done ? State::Done : State::Waiting;
    notBefore_[i] = Clock::now() + std::chrono::milliseconds(options_.redialPauseMs);
  }
  changed_.notify_all();
}

store::RoundNodeRow RoundQueue::log(std::size_t i) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return logs_[i];
}

void RoundQueue::setLog(std::size_t i, const store::RoundNodeRow& row) {
  const std::lock_guard<std::mutex> lock(mutex_);
  logs_[i] = row;
}

std::vector<store::RoundNodeRow> RoundQueue::logs() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return logs_;
}

}  // namespace vardis::round
