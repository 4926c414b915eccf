// The counters the tool must show, replayed from the simulator's own log: the
// tool resends the same frame after each failed check, and gives up after 11
// exchanges (13 for integrators, 16 for the clock).
#pragma once

#include <vector>

#include "link/meter_protocol.h"
#include "sim/simulator.h"

namespace vardis::test {

struct Predicted {
  int transactions = 0;
  ExchangeCounters counters;
  // For each transaction: its request and whether it ended on a good reply.
  std::vector<std::pair<Frame, bool>> outcomes;
};

inline int attemptsFor(const Frame& request) {
  if (request[2] == 1) return 16;
  if (request[2] == 12 && request[4] == 3) return 13;
  return 11;
}

inline Predicted predictCounters(const std::vector<sim::LogEntry>& log) {
  Predicted p;
  std::size_t i = 0;
  while (i < log.size()) {
    const Frame request = log[i].request;
    const int attempts = attemptsFor(request);
    ++p.transactions;
    ++p.counters.RequestCount;
    bool good = false;
    for (int n = 0; n < attempts && i < log.size(); ++n, ++i) {
      if (log[i].request != request) break;  // the log ended a transaction early
      // A reply later than the tool's wait fails the exchange; the drain of
      // the next one throws it away.
      if (log[i].replyPassesCheck() && log[i].delayMs < static_cast<int>(kReplyWaitMs)) {
        good = true;
        ++i;
        break;
      }
      ++p.counters.ErrorCount;
      ++p.counters.RequestCount;
      if (n + 1 == attempts) ++p.counters.TimeoutCount;
    }
    p.outcomes.emplace_back(request, good);
  }
  return p;
}

}  // namespace vardis::test
