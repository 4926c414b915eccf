#include "round/round_engine.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>

namespace vardis::round {

namespace {

// What the modems of one round share.
class Run {
 public:
  Run(const RoundPlan& plan, const RoundEnvironment& env, NodeQueue& queue)
      : plan_(plan),
        env_(env),
        queue_(queue),
        used_(plan.ports.size(), false),
        alive_(plan.ports.size()) {}

  void modem(std::size_t m) {
    const std::string& port = plan_.ports[m];
    std::unique_ptr<RoundModem> modem;
    try {
      modem = env_.modems(port);
    } catch (const std::exception& e) {
      return failed(m, e.what());
    }
    for (;;) {
      if (stopped()) return;
      const Turn turn = queue_.next(now(), port);
      if (turn.over()) return;
      if (!turn.node) {
        wait(*turn.waitUntilMs);
        continue;
      }
      const std::size_t i = *turn.node;
      NodeLog log = queue_.log(i);
      std::string why;
      const auto step = [&](const std::string& state) {
        if (env_.observer) env_.observer->nodeShown(i, log, state);
      };
      AttemptEnd end = AttemptEnd::Counted;
      try {
        end = modem->attempt(queue_.node(i), log, why, step);
      } catch (const std::exception& e) {
        // Whatever went wrong is the modem's: its thread must not end the program.
        log = queue_.log(i);
        why = e.what();
        end = AttemptEnd::PortFailed;
      }
      if (end == AttemptEnd::PortFailed) {
        queue_.handBack(i);
        if (env_.observer) env_.observer->nodeShown(i, queue_.log(i), "waiting");
        return failed(m, why);
      }
      markUsed(m);
      queue_.attemptEnded(i, log, now());
      if (env_.observer) env_.observer->nodeShown(i, log, resultText(log.result));
    }
  }

  RoundOutcome outcome() {
    if (stopped()) queue_.endOpenNodes(NodeResult::Stopped, "the round was stopped");
    queue_.endOpenNodes(NodeResult::Error, "no modem was left to call it");
    RoundOutcome out;
    out.nodes = queue_.logs();
    for (std::size_t m = 0; m < plan_.ports.size(); ++m) {
      if (used_[m]) out.modemsUsed.push_back(plan_.ports[m]);
    }
    out.modemsFailed = failed_;
    out.anyAttempted = std::any_of(out.nodes.begin(), out.nodes.end(),
                                   [](const NodeLog& n) { return n.attempts > 0; });
    return out;
  }

 private:
  std::int64_t now() const { return env_.clock->steadyMs(); }
  bool stopped() const { return env_.stop && env_.stop->load(); }

  void wait(std::int64_t untilMs) {
    if (env_.waitUntil) return env_.waitUntil(queue_, untilMs);
    // Real time: woken by the queue, and now and then to see the stop flag.
    const auto left = std::clamp<std::int64_t>(untilMs - now(), 0, 200);
    queue_.waitForChange(static_cast<int>(left));
  }

  void markUsed(std::size_t m) {
    const std::lock_guard<std::mutex> lock(mutex_);
    used_[m] = true;
  }

  void failed(std::size_t m, const std::string& why) {
    bool last = false;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      failed_.push_back({plan_.ports[m], why});
      last = --alive_ == 0;
    }
    if (env_.observer) env_.observer->modemFailed(plan_.ports[m], why);
    // With no modem left, the nodes still open can be called by none.
    if (last) queue_.endOpenNodes(NodeResult::Error, "no modem was left to call it");
  }

  const RoundPlan& plan_;
  const RoundEnvironment& env_;
  NodeQueue& queue_;
  std::mutex mutex_;
  std::vector<bool> used_;
  std::size_t alive_;
  std::vector<FailedModem> failed_;
};

void onThreads(const std::vector<std::function<void()>>& tasks) {
  std::vector<std::thread> threads;
  threads.reserve(tasks.size());
  for (const auto& t : tasks) threads.emplace_back(t);
  for (auto& t : threads) t.join();
}

}  // namespace

RoundOutcome runRound(const RoundPlan& plan, const RoundEnvironment& env) {
  RoundQueue queue(plan.nodes, plan.options, plan.commandCount);
  return runRound(plan, env, queue);
}

RoundOutcome runRound(const RoundPlan& plan, const RoundEnvironment& env, NodeQueue& queue) {
  Run run(plan, env, queue);
  std::vector<std::function<void()>> tasks;
  for (std::size_t m = 0; m < plan.ports.size(); ++m) tasks.push_back([&run, m] { run.modem(m); });
  if (env.parallel) {
    env.parallel(tasks);
  } else {
    onThreads(tasks);
  }
  return run.outcome();
}

}  // namespace vardis::round
