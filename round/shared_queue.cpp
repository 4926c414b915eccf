#include "round/shared_queue.h"

#include <algorithm>
#include <chrono>

namespace vardis::round {

namespace {

std::string doneText(const std::vector<bool>& done) {
  std::string s;
  for (const bool d : done) s += d ? '1' : '0';
  return s;
}

}  // namespace

SharedQueue::SharedQueue(store::SharedRoundStore& store, store::SharedRound round,
                         SharedIdentity me, RoundOptions options,
                         std::vector<std::string> commandNames, Stamp stamp, Note problem)
    : store_(store),
      round_(std::move(round)),
      me_(std::move(me)),
      options_(options),
      names_(std::move(commandNames)),
      stamp_(std::move(stamp)),
      problem_(std::move(problem)) {
  options_.attempts = round_.attempts;
  options_.redialPauseMs = round_.redialPauseSeconds * 1000;
  for (const auto& n : round_.nodes) {
    RoundNode node;
    node.number = n.node;
    node.name = n.name;
    node.phone = n.phone;
    node.init = n.init;
    node.quickDrain = n.quickDrain;
    nodes_.push_back(node);
    NodeLog l;
    l.node = n.node;
    l.name = n.name;
    l.phone = n.phone;
    l.done.assign(names_.size(), false);
    logs_.push_back(l);
  }
  called_.assign(nodes_.size(), false);
  holding_.assign(nodes_.size(), false);
  renewer_ = std::thread([this] { renewLoop(); });
}

SharedQueue::~SharedQueue() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  renewer_.join();
}

void SharedQueue::lose(const std::string& why) {
  if (lost_) return;
  lost_ = true;
  if (problem_) problem_(why + "; this host calls no further node of the shared round");
}

void SharedQueue::changed() {
  ++changes_;
  changed_.notify_all();
}

Turn SharedQueue::next(std::int64_t nowMs, const std::string& port) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (lost_ || ended_) return {};
  try {
    if (const auto c = store_.claim(round_.id, me_.holder, me_.host, port, me_.leaseSeconds)) {
      const auto at = std::find_if(nodes_.begin(), nodes_.end(),
                                   [&](const RoundNode& n) { return n.number == c->node; });
      const auto i = static_cast<std::size_t>(at - nodes_.begin());
      if (at == nodes_.end()) {
        lose("the shared round holds a node " + std::to_string(c->node) + " it did not list");
        return {};
      }
      NodeLog& l = logs_[i];
      l.attempts = c->attempts;
      for (std::size_t k = 0; k < l.done.size() && k < c->done.size(); ++k) {
        l.done[k] = l.done[k] || c->done[k] == '1';
      }
      called_[i] = true;
      holding_[i] = true;
      return {i, std::nullopt};
    }
    const store::QueueState s = store_.state(round_.id);
    if (s.over()) {
      finishedHere_ = store_.finishIfDone(round_, stamp_());
      ended_ = true;
      return {};
    }
    // Another host may free or fail a node at any moment: asked again soon.
    const auto wait =
        std::clamp<std::int64_t>(static_cast<std::int64_t>(*s.nextInSeconds * 1000), 50, 1000);
    return {std::nullopt, nowMs + wait};
  } catch (const store::StoreError& e) {
    lose(e.what());
    return {};
  }
}

void SharedQueue::attemptEnded(std::size_t i, const NodeLog& log, std::int64_t) {
  const std::lock_guard<std::mutex> lock(mutex_);
  logs_[i] = log;
  holding_[i] = false;
  changed();
  if (lost_) return;
  try {
    if (log.result == NodeResult::Stopped) {
      // This host stops: the node goes back to the others, the call not counted.
      store_.release(round_.id, nodes_[i].number, me_.holder);
      return;
    }
    std::optional<store::RoundNodeRow> row;
    if (finalResult(log.result) || log.attempts >= options_.attempts) {
      row = rowOf(log, names_);
      row->host = me_.host;
    }
    store_.attemptEnded(round_, nodes_[i].number, me_.holder, log.attempts, doneText(log.done),
                        row);
  } catch (const store::StoreError& e) {
    lose(e.what());
  }
}

void SharedQueue::handBack(std::size_t i) {
  const std::lock_guard<std::mutex> lock(mutex_);
  holding_[i] = false;
  changed();
  if (lost_) return;
  try {
    store_.release(round_.id, nodes_[i].number, me_.holder);
  } catch (const store::StoreError& e) {
    lose(e.what());
  }
}

void SharedQueue::endOpenNodes(NodeResult result, const std::string& message) {
  const std::lock_guard<std::mutex> lock(mutex_);
  for (std::size_t i = 0; i < logs_.size(); ++i) {
    if (called_[i] && logs_[i].attempts == 0) {
      logs_[i].result = result;
      logs_[i].message = message;
    }
  }
  ended_ = true;  // this host takes no further node
  changed();
}

void SharedQueue::waitForChange(int maxWaitMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  const std::uint64_t seen = changes_;
  changed_.wait_for(lock, std::chrono::milliseconds(std::max(0, maxWaitMs)),
                    [&] { return changes_ != seen; });
}

NodeLog SharedQueue::log(std::size_t i) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return logs_[i];
}

std::vector<NodeLog> SharedQueue::logs() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return logs_;
}

std::vector<NodeLog> SharedQueue::calledHere() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::vector<NodeLog> out;
  for (std::size_t i = 0; i < logs_.size(); ++i) {
    if (called_[i]) out.push_back(logs_[i]);
  }
  return out;
}

bool SharedQueue::endedHere() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return finishedHere_;
}

void SharedQueue::renewLoop() {
  const auto every = std::chrono::milliseconds(std::max(1, me_.leaseSeconds) * 1000 / 3);
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    changed_.wait_for(lock, every, [&] { return stopping_; });
    if (stopping_ || lost_) continue;
    if (std::none_of(holding_.begin(), holding_.end(), [](bool h) { return h; })) continue;
    try {
      store_.renew(round_.id, me_.holder, me_.leaseSeconds);
    } catch (const store::StoreError& e) {
      lose(e.what());
    }
  }
}

}  // namespace vardis::round
