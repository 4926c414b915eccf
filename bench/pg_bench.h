// The store on a PostgreSQL server: one of the benchmark's own, started with
// tests/support/pg-server for the whole part and stopped at its end, reached
// over TCP on this machine's loopback with the password. Each measurement
// runs in a database of its own:
//  - storing an hourly reading with a meter-year in the store, and reading the
//    year's history back (store_bench.cpp's readings);
//  - 32 worker threads, each with a connection of its own, claiming the 10,000
//    nodes of one shared round's queue; then claiming and ending each attempt;
//  - a round of 60 simulated nodes shared by three vardis-cli hosts of two
//    modems each, against the same nodes over one modem (round_bench.cpp).
#pragma once

#include <string>

#include "bench/options.h"
#include "bench/round_bench.h"
#include "bench/store_bench.h"

namespace vardis::bench {

inline constexpr int kClaimWorkers = 32;
inline constexpr int kClaimNodes = 10000;

// The workers claiming every node of a queue, each node counted over them.
struct ClaimRun {
  bool endAttempts = false;  // each claim followed by attemptEnded, the node done
  double queueMs = 0;        // openRound making the queue of kClaimNodes
  double wallMs = 0;         // the workers let go to the last one's last call
  long long claims = 0;
  int claimedOnce = 0;
  int claimedTwice = 0;  // nodes more than one claim got
  int neverClaimed = 0;
  long long strange = 0;       // claims of a node not in the queue
  long long storedRows = -1;   // the round's rows in the store after attemptEnded; -1: not asked
  long long storedNodes = -1;  // the distinct nodes among them
  std::string problem;         // what a worker's connection or call threw
  double perSecond() const {
    return wallMs > 0 ? 1000.0 * static_cast<double>(claims) / wallMs : 0;
  }
};

struct PostgresResult {
  std::string serverVersion;
  std::string address;  // "127.0.0.1:PORT"
  double startSeconds = 0;
  StoreTimes roundTrip;  // one statement to the server and back
  StoreResult store;
  double storeSeconds = 0;
  ClaimRun claims;
  ClaimRun cycles;
  double claimSeconds = 0;
  SharedRoundResult round;
  double roundSeconds = 0;
};

// Throws std::runtime_error when the server, a simulated modem or vardis-cli
// does not start, and vardis::store::StoreError when the store cannot be used.
PostgresResult measurePostgres(const Options& o);

void printPostgres(const PostgresResult& r);

}  // namespace vardis::bench
