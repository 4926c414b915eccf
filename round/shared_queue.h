// The queue of a round shared by several hosts: its nodes, states, attempts
// and redial times are in the store (store/shared_round.h); this host's
// modems claim nodes from it under leases that a thread of the queue renews
// while the calls last. The logs kept here are of the calls this host made.
// A store that fails is named once; this host then takes no further node,
// and the calls in progress end as they would.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "round/node_queue.h"
#include "round/round_queue.h"
#include "store/shared_round.h"

namespace vardis::round {

struct SharedIdentity {
  std::string host;    // as `rounds` shows it
  std::string holder;  // this process's own: host, process and a random number
  int leaseSeconds = 120;
};

class SharedQueue final : public NodeQueue {
 public:
  using Note = std::function<void(const std::string& message)>;
  using Stamp = std::function<std::string()>;  // the PC time as the store keeps times

  SharedQueue(store::SharedRoundStore& store, store::SharedRound round, SharedIdentity me,
              RoundOptions options, std::vector<std::string> commandNames, Stamp stamp,
              Note problem);
  ~SharedQueue() override;
  SharedQueue(const SharedQueue&) = delete;
  SharedQueue& operator=(const SharedQueue&) = delete;

  Turn next(std::int64_t nowMs, const std::string& port) override;
  void attemptEnded(std::size_t i, const NodeLog& log, std::int64_t nowMs) override;
  void handBack(std::size_t i) override;
  void endOpenNodes(NodeResult result, const std::string& message) override;
  void waitForChange(int maxWaitMs) override;

  const RoundNode& node(std::size_t i) const override { return nodes_[i]; }
  std::size_t size() const override { return nodes_.size(); }
  NodeLog log(std::size_t i) const override;
  std::vector<NodeLog> logs() const override;

  // The logs of the nodes this host called, in node order.
  std::vector<NodeLog> calledHere() const;
  // Whether this host ended the round in the store (every node done).
  bool endedHere() const;

 private:
  void renewLoop();
  void lose(const std::string& why);  // with mutex_ held
  void changed();

  store::SharedRoundStore& store_;
  store::SharedRound round_;
  SharedIdentity me_;
  RoundOptions options_;
  std::vector<std::string> names_;
  Stamp stamp_;
  Note problem_;
  std::vector<RoundNode> nodes_;
  std::vector<NodeLog> logs_;
  std::vector<bool> called_;   // this host called it
  std::vector<bool> holding_;  // under this host's lease now
  bool lost_ = false;
  bool ended_ = false;  // this host takes no further node
  bool finishedHere_ = false;
  bool stopping_ = false;
  std::uint64_t changes_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::thread renewer_;
};

}  // namespace vardis::round
