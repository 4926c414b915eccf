// The round's engine on a virtual clock: scripted modems for its timing and
// its hand-out of nodes, and a modem's session over a scripted GSM modem and
// meter for what a node's attempt says.
#include "round/round_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>

#include "archives/session.h"
#include "connection/data_dir.h"
#include "round/node_visit.h"
#include "support/fake_meter.h"
#include "support/temp_dir.h"

namespace vardis::round {
namespace {

// A clock several modems may read and move: a wait moves it forward.
class SharedVirtualClock final : public PcClock {
 public:
  LocalDateTime now() const override { return {2011, 4, 8, 9, 5, 7, 0}; }
  std::int64_t steadyMs() const override { return ms.load(); }
  void moveTo(std::int64_t t) {
    std::int64_t seen = ms.load();
    while (seen < t && !ms.compare_exchange_weak(seen, t)) {
    }
  }
  std::atomic<std::int64_t> ms{0};
};

// A modem that gives each node the results scripted for its attempts, one
// virtual second an attempt; "port" fails the port instead.
struct Script {
  std::map<int, std::vector<NodeResult>> results;   // by node number; missing: read
  std::vector<std::pair<int, std::int64_t>> calls;  // (node, time) of each attempt
  std::map<int, int> withModem;                     // attempts under way, by node
  int overlaps = 0;
  std::mutex mutex;
};

class ScriptedModem final : public RoundModem {
 public:
  ScriptedModem(Script& s, SharedVirtualClock& c, bool dead) : s_(s), c_(c), dead_(dead) {}
  AttemptEnd attempt(const RoundNode& node, NodeLog& log, std::string& why,
                     const StepShown&) override {
    if (dead_) {
      why = "no such device";
      return AttemptEnd::PortFailed;
    }
    {
      const std::lock_guard<std::mutex> lock(s_.mutex);
      s_.calls.push_back({node.number, c_.steadyMs()});
      if (++s_.withModem[node.number] > 1) ++s_.overlaps;
    }
    c_.moveTo(c_.steadyMs() + 1000);
    std::lock_guard<std::mutex> lock(s_.mutex);
    const auto& r = s_.results[node.number];
    log.result = static_cast<std::size_t>(log.attempts) < r.size()
                     ? r[static_cast<std::size_t>(log.attempts)]
                     : NodeResult::Read;
    log.attempts += 1;
    --s_.withModem[node.number];
    return AttemptEnd::Counted;
  }

 private:
  Script& s_;
  SharedVirtualClock& c_;
  bool dead_;
};

// A modem whose every attempt throws (a port text no line takes, say).
class ThrowingModem final : public RoundModem {
 public:
  AttemptEnd attempt(const RoundNode&, NodeLog& log, std::string&, const StepShown&) override {
    log.attempts += 1;  // half-way through: must not count
    throw std::runtime_error("the port 0 names no serial port");
  }
};

RoundNode node(int n) {
  RoundNode r;
  r.number = n;
  r.phone = "ATD" + std::to_string(n);
  return r;
}

struct Harness {
  SharedVirtualClock clock;
  Script script;
  RoundPlan plan;
  RoundEnvironment env;
  explicit Harness(int nodes, std::vector<std::string> ports = {"A"}) {
    for (int n = 1; n <= nodes; ++n) plan.nodes.push_back(node(n));
    plan.ports = std::move(ports);
    plan.options = {3, 60000, 60000};
    env.clock = &clock;
    env.modems = [this](const std::string& port) -> std::unique_ptr<RoundModem> {
      if (port == "gone") throw std::runtime_error("cannot open gone");
      if (port == "0") return std::make_unique<ThrowingModem>();
      return std::make_unique<ScriptedModem>(script, clock, port == "dead");
    };
    // A wait passes at once on the virtual clock.
    env.waitUntil = [this](NodeQueue&, std::int64_t until) { clock.moveTo(until); };
  }
  std::vector<std::int64_t> callTimes(int node) const {
    std::vector<std::int64_t> t;
    for (const auto& [n, at] : script.calls)
      if (n == node) t.push_back(at);
    return t;
  }
};

TEST(RoundEngine, AFailedNodeComesBackOnceItsRedialPauseIsOverUntilItsAttemptsAreUsed) {
  Harness h(2);
  h.script.results[1] = {NodeResult::Busy, NodeResult::Busy, NodeResult::Busy, NodeResult::Busy};
  h.script.results[2] = {NodeResult::NoAnswer};
  const RoundOutcome r = runRound(h.plan, h.env);
  // Node 1: three calls, each a whole pause after the end of the one before.
  EXPECT_EQ(h.callTimes(1), (std::vector<std::int64_t>{0, 61000, 122000}));
  EXPECT_EQ(h.callTimes(2), (std::vector<std::int64_t>{1000, 62000}));
  EXPECT_EQ(r.nodes[0].result, NodeResult::Busy);
  EXPECT_EQ(r.nodes[0].attempts, 3);
  EXPECT_EQ(r.nodes[1].result, NodeResult::Read);
  EXPECT_EQ(r.modemsUsed, std::vector<std::string>{"A"});
  EXPECT_TRUE(r.anyAttempted);
}

TEST(RoundEngine, AModemThatCannotBeUsedLeavesTheRoundAndCostsNoNodeAnAttempt) {
  Harness h(3, {"dead", "gone", "0", "A"});
  // One after another: the dead modem takes a node first and must give it back.
  h.env.parallel = [](const std::vector<std::function<void()>>& tasks) {
    for (const auto& t : tasks) t();
  };
  std::vector<std::string> failed;
  struct Observer : RoundObserver {
    std::vector<std::string>* failed;
    void nodeShown(std::size_t, const NodeLog&, const std::string&) override {}
    void modemFailed(const std::string& port, const std::string&) override {
      failed->push_back(port);
    }
  } observer;
  observer.failed = &failed;
  h.env.observer = &observer;
  const RoundOutcome r = runRound(h.plan, h.env);
  for (const auto& n : r.nodes) {
    EXPECT_EQ(n.result, NodeResult::Read) << n.node;
    EXPECT_EQ(n.attempts, 1) << n.node;
  }
  EXPECT_EQ(failed, (std::vector<std::string>{"dead", "gone", "0"}));
  EXPECT_EQ(r.modemsUsed, std::vector<std::string>{"A"});
  ASSERT_EQ(r.modemsFailed.size(), 3u);
  EXPECT_EQ(r.modemsFailed[0].why, "no such device");
  EXPECT_EQ(r.modemsFailed[2].why, "the port 0 names no serial port");
}

TEST(RoundEngine, WithNoModemAtAllNothingIsCountedAgainstAnyNode) {
  Harness h(2, {"dead", "gone"});
  const RoundOutcome r = runRound(h.plan, h.env);
  EXPECT_FALSE(r.anyAttempted);
  EXPECT_TRUE(r.modemsUsed.empty());
  for (const auto& n : r.nodes) {
    EXPECT_EQ(n.attempts, 0);
    EXPECT_EQ(n.result, NodeResult::Error);
  }
  EXPECT_TRUE(h.script.calls.empty());
}

TEST(RoundEngine, NodesReadEarlierOrWithoutADialTextAreNotCalled) {
  Harness h(3);
  h.plan.nodes[0].readEarlier = true;
  h.plan.nodes[2].refused = "no dial text";
  const RoundOutcome r = runRound(h.plan, h.env);
  ASSERT_EQ(h.script.calls.size(), 1u);
  EXPECT_EQ(h.script.calls[0].first, 2);
  EXPECT_EQ(r.nodes[0].result, NodeResult::Read);
  EXPECT_EQ(r.nodes[0].attempts, 0);
  EXPECT_EQ(r.nodes[2].result, NodeResult::Error);
  EXPECT_EQ(r.nodes[2].message, "no dial text");
}

// Four modems on threads of their own over one queue: a node is never with
// two at once, and every node gets exactly its attempts.
TEST(RoundEngine, ANodeIsWithOneModemAtATime) {
  Harness h(12, {"A", "B", "C", "D"});
  h.plan.options.redialPauseMs = 0;
  for (int n = 1; n <= 12; ++n) h.script.results[n] = {NodeResult::Busy, NodeResult::NoCarrier};
  h.env.waitUntil = [&h](NodeQueue& q, std::int64_t until) {
    q.waitForChange(1);
    h.clock.moveTo(until);
  };
  const RoundOutcome r = runRound(h.plan, h.env);
  EXPECT_EQ(h.script.overlaps, 0);
  EXPECT_EQ(h.script.calls.size(), 36u);
  for (const auto& n : r.nodes) EXPECT_EQ(n.result, NodeResult::Read) << n.node;
}

TEST(RoundQueue, ANodeWithAModemIsNotHandedOutAgain) {
  RoundQueue q({node(1), node(2)}, {3, 1000, 0}, 0);
  EXPECT_EQ(q.take(0).node, std::optional<std::size_t>(0));
  EXPECT_EQ(q.take(0).node, std::optional<std::size_t>(1));
  const Turn third = q.take(0);
  EXPECT_FALSE(third.node);
  EXPECT_FALSE(third.over());  // both may come back
  NodeLog failed = q.log(0);
  failed.attempts = 1;
  failed.result = NodeResult::Busy;
  q.attemptEnded(0, failed, 10);
  q.handBack(1);
  EXPECT_EQ(q.take(20).node, std::optional<std::size_t>(1));  // handed back: free at once
  EXPECT_EQ(q.take(1009).waitUntilMs, std::optional<std::int64_t>(1010));
  EXPECT_EQ(q.take(1010).node, std::optional<std::size_t>(0));
}

}  // namespace
}  // namespace vardis::round
